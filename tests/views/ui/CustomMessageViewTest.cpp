// Custom messages in the rule list view: editing column 4 in place, and the
// Export and Import commands through the spreadsheet helper and the product
// database.

#include "TestSupport.h"

#include "PLQSettingUtil.h"
#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageTransfer.h"
#include "custommsg/SpreadsheetHelper.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>

class CustomMessageViewTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<ScriptedFileDialogs> m_dialogs;
    std::unique_ptr<AppContext> m_app;
    std::unique_ptr<CVTRRuleBuilderDoc> m_doc;
    std::unique_ptr<CVTRRuleBuilderView> m_view;
    int m_warnings = 0;
    bool m_warningAnswer = true;
    QStringList m_errorLogs;

    CVTRRMListCtrlEx* List() const { return m_view->ListCtrl(); }
    RuleListModel* Model() const { return m_view->Controller()->Model(); }
    static vtr_db::IDatabaseCollector* Db() { return vtr_db::VTRDataHelper::getInstance()->GetCollector(); }
    QString Cell(int row) const { return Model()->CellText(row, RuleListModel::CustomMessageColumn); }
    QString Stored(int row) const
    {
        const CVtrRule* r = Model()->RuleAt(row);
        QString message;
        Db()->GetCustomMessage(r->GetHelpId(), r->GetRuleName(), r->GetRuleCategory(), message);
        return message;
    }
    // The first row whose rule's module name is module.
    int RowOfModule(const QString& module) const
    {
        for (int row = 0; row < Model()->RowCount(); ++row)
            if (Model()->RuleAt(row)->GetRuleModuleName() == module)
                return row;
        return -1;
    }
    // The first row of a rule that may carry a custom message, with rows above and below it.
    int OrdinaryRow() const
    {
        for (int row = 1; row + 1 < Model()->RowCount(); ++row)
            if (!Model()->RuleAt(row)->GetRuleModuleName().startsWith(QLatin1String("Manual Check"))
                && !Model()->RuleAt(row + 1)->GetRuleModuleName().startsWith(QLatin1String("Manual Check")))
                return row;
        return -1;
    }
    void DoubleClickMessage(int row)
    {
        List()->scrollTo(Model()->index(row, RuleListModel::CustomMessageColumn));
        const QRect r = List()->visualRect(Model()->index(row, RuleListModel::CustomMessageColumn));
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, r.center());
    }
    void Type(Qt::Key key) { QTest::keyClick(List()->MessageEditor(), key); }
    QStringList UsageLines() const
    {
        QFile f(m_env->DataSettings() + QStringLiteral("UsageEvents.log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        return lines;
    }
    QStringList Texts() const
    {
        QStringList texts;
        for (const auto& s : m_messages->shown)
            texts << s.text;
        return texts;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_env->Set("VTRPRO_FILE_OPENER", QStringLiteral("true"));
        m_env->Set("TMPDIR", m_env->Path(QStringLiteral("tmp")));
        QDir().mkpath(m_env->Path(QStringLiteral("tmp")));
        m_messages = std::make_unique<ScriptedMessages>();
        m_dialogs = std::make_unique<ScriptedFileDialogs>();
        m_app = std::make_unique<AppContext>();
        // The list and the view report usage events to their own hooks.
        CPLQSettingUtil::InitializePLQSettingsFromFile();
        QVERIFY(CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(73), true)));
        LoadAllModules(m_app->Modules());
        QVERIFY(Db());
        QVERIFY(Db()->IsConnected());
    }
    void init()
    {
        m_doc = std::make_unique<CVTRRuleBuilderDoc>();
        m_doc->OnNewDocument();
        m_view = std::make_unique<CVTRRuleBuilderView>(m_doc.get(), nullptr);
        m_view->resize(1000, 700);
        m_view->show();
        m_view->OnInitialUpdate();
        m_warnings = 0;
        m_warningAnswer = true;
        m_errorLogs.clear();
        m_view->SetCustomMessageWarning([this] { return ++m_warnings, m_warningAnswer; });
        m_view->SetCustomMessageErrors([this](const QString& log) { m_errorLogs << log; });
        m_messages->shown.clear();
        m_app->SetCentralDatabaseWarning(true);
    }
    void cleanup()
    {
        m_doc->OnCloseDocument();
        m_view.reset();
        m_doc.reset();
    }
    void cleanupTestCase()
    {
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }

    void editingInPlaceStoresOnEnterAndAsksTheWarningOnce()
    {
        const int row = OrdinaryRow();
        QVERIFY(row >= 0);
        DoubleClickMessage(row);
        QLineEdit* editor = List()->MessageEditor();
        QVERIFY(List()->IsEditingMessage());
        QCOMPARE(m_view->focusWidget(), editor);
        QCOMPARE(editor->maxLength(), 256);
        const QRect cell = List()->visualRect(Model()->index(row, RuleListModel::CustomMessageColumn));
        QCOMPARE(editor->geometry(), cell.adjusted(0, -2, 0, 2));
        editor->setText(QStringLiteral("Ask the shop first"));
        Type(Qt::Key_Return);
        QVERIFY(!List()->IsEditingMessage());
        QCOMPARE(Cell(row), QStringLiteral("Ask the shop first"));
        QCOMPARE(Stored(row), QStringLiteral("Ask the shop first"));
        QCOMPARE(m_warnings, 1);
        QVERIFY(!m_app->CentralDatabaseWarning());
        const QString name = Model()->RuleAt(row)->GetRuleName();
        QVERIFY(UsageLines().contains(QStringLiteral("37\t11\t") + name));

        // Enter on the same text, or on a change of letter case only, stores nothing.
        for (const QString& text : { QStringLiteral("Ask the shop first"), QStringLiteral("ASK THE SHOP FIRST") }) {
            DoubleClickMessage(row);
            List()->MessageEditor()->setText(text);
            Type(Qt::Key_Enter);
            QCOMPARE(Cell(row), QStringLiteral("Ask the shop first"));
            QCOMPARE(Stored(row), QStringLiteral("Ask the shop first"));
        }
        QCOMPARE(m_warnings, 1);
        QVERIFY(m_messages->shown.empty());
    }

    void escapeAndScrollingHideTheEditBoxWithoutStoring()
    {
        const int row = OrdinaryRow();
        const QString before = Stored(row);
        DoubleClickMessage(row);
        List()->MessageEditor()->setText(QStringLiteral("not kept"));
        Type(Qt::Key_Escape);
        QVERIFY(!List()->IsEditingMessage());

        DoubleClickMessage(row);
        List()->MessageEditor()->setText(QStringLiteral("not kept either"));
        QScrollBar* bar = List()->verticalScrollBar();
        bar->setValue(bar->value() == bar->minimum() ? bar->value() + 3 : bar->minimum());
        QVERIFY(!List()->IsEditingMessage());
        QCOMPARE(Cell(row), before);
        QCOMPARE(Stored(row), before);
        QCOMPARE(m_warnings, 0);
    }

    void enterAndEscapeLeaveTheCurrentRowWhereItWas()
    {
        // With the window active the edit box really holds the focus, as in use.
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        const int row = OrdinaryRow();
        for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Escape }) {
            // A real double click's first press makes the message cell current.
            List()->setCurrentIndex(Model()->index(row, RuleListModel::CustomMessageColumn));
            DoubleClickMessage(row);
            QVERIFY(List()->MessageEditor()->hasFocus());
            const int scrolled = List()->horizontalScrollBar()->value();
            List()->MessageEditor()->setText(QStringLiteral("stays on its row"));
            Type(key);
            QVERIFY(!List()->IsEditingMessage());
            QVERIFY(List()->hasFocus());
            QCOMPARE(List()->currentIndex().row(), row);
            QCOMPARE(List()->horizontalScrollBar()->value(), scrolled);
        }
        QCOMPARE(Cell(row), QStringLiteral("stays on its row"));
    }

    void arrowKeysCommitAndMoveTheEditBox()
    {
        const int row = OrdinaryRow();
        DoubleClickMessage(row);
        List()->MessageEditor()->setText(QStringLiteral("down"));
        Type(Qt::Key_Down);
        QCOMPARE(Cell(row), QStringLiteral("down"));
        QVERIFY(List()->IsEditingMessage());
        QCOMPARE(List()->MessageEditor()->maxLength(), 260);
        List()->MessageEditor()->setText(QStringLiteral("next"));
        Type(Qt::Key_Up);
        QCOMPARE(Cell(row + 1), QStringLiteral("next"));
        QCOMPARE(List()->MessageEditor()->text(), QStringLiteral("down"));
        Type(Qt::Key_Escape);

        // Up on the first row commits (here: nothing changed) and edits nothing further.
        DoubleClickMessage(0);
        QVERIFY(List()->IsEditingMessage());
        Type(Qt::Key_Up);
        QVERIFY(!List()->IsEditingMessage());
        QVERIFY(m_messages->shown.empty());
    }

    void manualCheckRulesKeepTheirMessage()
    {
        const int row = RowOfModule(QStringLiteral("Manual Check Rules"));
        if (row < 0)
            QSKIP("no manual-check rule module is built");
        const QString before = Cell(row);
        DoubleClickMessage(row);
        List()->MessageEditor()->setText(QStringLiteral("refused"));
        Type(Qt::Key_Return);
        QCOMPARE(Texts(), QStringList { QStringLiteral("Custom Message is not supported for Manual Check Rule.") });
        QCOMPARE(Cell(row), before);
        QCOMPARE(Stored(row), before);
        QCOMPARE(m_warnings, 0);
    }

    void cancellingTheWarningStoresNothing()
    {
        const int row = OrdinaryRow();
        const QString before = Cell(row);
        m_warningAnswer = false;
        DoubleClickMessage(row);
        List()->MessageEditor()->setText(before + QStringLiteral(" (changed)"));
        Type(Qt::Key_Return);
        QCOMPARE(m_warnings, 1);
        QVERIFY(m_app->CentralDatabaseWarning());
        QCOMPARE(Cell(row), before);
        QCOMPARE(Stored(row), before);
    }

    void withoutAConnectedDatabaseEditingDoesNotStart()
    {
        // A database folder that cannot exist: the collector cannot connect.
        const QByteArray saved = qgetenv("VTR_PRO_DATABASE_DIR");
        qputenv("VTR_PRO_DATABASE_DIR", "/dev/null/none");
        Db()->Release();
        // Two rows selected: the double click then configures nothing either.
        List()->selectionModel()->select(
            Model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        List()->selectionModel()->select(Model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        emit List()->CellDoubleClicked(0, RuleListModel::CustomMessageColumn);
        qputenv("VTR_PRO_DATABASE_DIR", saved);
        Db()->Release();
        QVERIFY(!List()->IsEditingMessage());
        QCOMPARE(
            Texts(), QStringList { QStringLiteral("Database is not connected. Please configure database properly") });
    }

    void exportWritesTheListedRowsAndReadsBackUnchanged()
    {
        // The frame routes the ribbon's Export and Import to these slots by name.
        QVERIFY(m_view->metaObject()->indexOfMethod("OnExportCustomMessage()") >= 0);
        QVERIFY(m_view->metaObject()->indexOfMethod("OnImportCustomMessage()") >= 0);
        const QString path = m_env->Path(QStringLiteral("Export.xlsx"));
        m_dialogs->Answer(path);
        m_view->OnExportCustomMessage();
        QVERIFY(m_messages->shown.empty());
        const auto& asked = m_dialogs->asked.back();
        QVERIFY(!asked.open);
        QCOMPARE(asked.title, QStringLiteral("Export Custom Message"));
        QCOMPARE(asked.initialName, QStringLiteral("CustomMessageTemplate.xlsx"));
        QCOMPARE(asked.filter, QStringLiteral("Excel Files (*.xls;*.xlsx)|*.xls;*.xlsx|"));

        QList<QStringList> table;
        const SpreadsheetOutcome read = SpreadsheetHelper::Read(path, table);
        QVERIFY2(read.ok, qPrintable(read.error));
        const QList<QStringList> rows = CustomMessageTransfer::ExportTable(ModelMessageRows(*Model()));
        QCOMPARE(rows.size(), Model()->RowCount() + 1);
        QCOMPARE(table.size(), 4);
        for (int c = 0; c < 4; ++c) {
            QStringList column;
            for (const QStringList& r : rows)
                column << r[c];
            // A reader stops at a column's last non-empty cell.
            while (column.size() > table[c].size() && column.last().isEmpty())
                column.removeLast();
            QCOMPARE(table[c], column);
        }

        // Cancel writes nothing and says nothing.
        const qsizetype before = m_dialogs->asked.size();
        m_view->OnExportCustomMessage();
        QCOMPARE(m_dialogs->asked.size(), before + 1);
        QVERIFY(m_messages->shown.empty());
    }

    void importStoresLogsAndShowsTheErrorDialogForFlags()
    {
        const int row = OrdinaryRow();
        const CVtrRule* rule = Model()->RuleAt(row);
        const QString id = QString::number(rule->GetHelpId());
        const QString sheet = m_env->Path(QStringLiteral("Messages.xlsx"));
        const QList<QStringList> rows { { "help id", "RULE NAME", "Rule Category", "custom message" },
            { id, rule->GetRuleName(), rule->GetRuleCategory(), "imported" },
            { id, rule->GetRuleName(), rule->GetRuleCategory(), "second row loses" },
            { "999999", "Nobody", "None", "x" } };
        QVERIFY(SpreadsheetHelper::Export(sheet, rows).ok);

        m_dialogs->Answer(sheet);
        m_view->OnImportCustomMessage();
        QCOMPARE(m_dialogs->asked.back().filter, QStringLiteral("XLS Files (*.xls;*.xlsx)|*.xls; *.xlsx|"));
        QVERIFY(m_dialogs->asked.back().open);
        QCOMPARE(m_warnings, 1);
        QCOMPARE(Cell(row), QStringLiteral("imported"));
        QCOMPARE(Stored(row), QStringLiteral("imported"));
        QVERIFY(UsageLines().contains(QStringLiteral("56\t11\t") + rule->GetRuleName()));
        // Flags raised: the error dialog, not the success message.
        const QString log = QDir::tempPath() + QStringLiteral("/VTRProTemp/Messages_log.txt");
        QCOMPARE(m_errorLogs, QStringList { log });
        QVERIFY(m_messages->shown.empty());
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY(text.startsWith(QStringLiteral("Duplicate Help ID List\n") + id + QStringLiteral("\t : ")));
        QVERIFY(text.contains(QStringLiteral("Wrong And Missing Help ID List\n999999\t : Nobody\n")));
        QCOMPARE(static_cast<int>(QFileInfo(QFileInfo(log).absolutePath()).permissions()) & 0x0077, 0);

        // A clean sheet says it was imported; the warning is not asked again.
        const QString clean = m_env->Path(QStringLiteral("Clean.xlsx"));
        QVERIFY(
            SpreadsheetHelper::Export(clean, { rows[0], { id, rule->GetRuleName(), rule->GetRuleCategory(), "clean" } })
                .ok);
        m_dialogs->Answer(clean);
        m_view->OnImportCustomMessage();
        QCOMPARE(m_warnings, 1);
        QCOMPARE(Texts(), QStringList { QStringLiteral("Custom Message imported successfully.") });
        QCOMPARE(Cell(row), QStringLiteral("clean"));
        QCOMPARE(Stored(row), QStringLiteral("clean"));
    }

    void cancelledWarningAndHostileSheetsStoreNothing()
    {
        const int row = OrdinaryRow();
        const CVtrRule* rule = Model()->RuleAt(row);
        const QString before = Stored(row);
        const QString sheet = m_env->Path(QStringLiteral("Cancelled.xlsx"));
        QVERIFY(SpreadsheetHelper::Export(sheet,
            { { "Help ID", "Rule Name", "Rule Category", "Custom Message" },
                { QString::number(rule->GetHelpId()), rule->GetRuleName(), rule->GetRuleCategory(), "never" } })
                    .ok);
        m_warningAnswer = false;
        m_dialogs->Answer(sheet);
        m_view->OnImportCustomMessage();
        QCOMPARE(m_warnings, 1);
        QCOMPARE(Stored(row), before);
        QVERIFY(m_errorLogs.isEmpty());
        QVERIFY(m_messages->shown.empty());

        // Not a zip: a clear message, nothing asked, nothing stored.
        m_dialogs->Answer(TestData(QStringLiteral("spreadsheet/not-a-zip.xlsx")));
        m_view->OnImportCustomMessage();
        QCOMPARE(m_messages->shown.size(), 1u);
        QVERIFY(!m_messages->shown[0].text.isEmpty());
        QCOMPARE(m_warnings, 1);
        QCOMPARE(Stored(row), before);
    }
};

QTEST_MAIN(CustomMessageViewTest)
#include "CustomMessageViewTest.moc"
