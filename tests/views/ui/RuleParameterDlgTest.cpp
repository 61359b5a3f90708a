// Configure rule in the window: the parameter editor every module's
// EditRule opens (values, defaults, checks, OK and Cancel), reached by the
// ribbon command, the context menu and a double click, and what reaches the
// saved file.

#include "TestSupport.h"

#include "ConcreteVTRRule.h"
#include "RuleEditor.h"
#include "app/AppContext.h"
#include "app/CommandTable.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/RuleParameters.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/RuleParameterDlg.h"
#include "views/ui/RuleParameterEditor.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <functional>
#include <memory>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

class RuleParameterDlgTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<AppContext> m_app;
    std::unique_ptr<CRuleParameterEditor> m_editor;
    const QString kRule = QStringLiteral("SM - Minimum Hole Diameter");

    struct Open
    {
        std::unique_ptr<CVTRRuleBuilderDoc> doc;
        std::unique_ptr<CVTRRuleBuilderView> view;
        ~Open()
        {
            if (doc)
                doc->OnCloseDocument();
            view.reset();
        }
        int Row(const QString& name) const
        {
            RuleListModel* model = view->Controller()->Model();
            for (int r = 0; r < model->RowCount(); ++r)
                if (model->RuleAt(r)->GetRuleName() == name)
                    return r;
            return -1;
        }
    };
    // A rule file in inches holding the sheet metal hole rule, opened in a view.
    std::unique_ptr<Open> OpenInches(const QString& name, const QStringList& moreRules = {})
    {
        const QString path = m_env->Path(name);
        QStringList args { "new", path, "--rule", kRule, "--units", "3,0" };
        for (const QString& rule : moreRules)
            args << QStringLiteral("--rule") << rule;
        QProcess p;
        p.start(BinDir() + QStringLiteral("/vtrpro-rules"), args);
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return nullptr;
        auto o = std::make_unique<Open>();
        o->doc = std::make_unique<CVTRRuleBuilderDoc>();
        if (!o->doc->OnOpenDocument(path))
            return nullptr;
        o->view = std::make_unique<CVTRRuleBuilderView>(o->doc.get(), nullptr);
        o->view->resize(1000, 700);
        o->view->show();
        o->view->OnInitialUpdate();
        return o;
    }
    // Runs check on the parameter editor once it is shown, then presses a button.
    void WhenEditorOpens(
        std::function<void(CRuleParameterDlg*)> check, QDialogButtonBox::StandardButton press, bool* opened)
    {
        *opened = false;
        QTimer::singleShot(0, this, [=] {
            auto* dlg = qobject_cast<CRuleParameterDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            *opened = true;
            check(dlg);
            dlg->findChild<QDialogButtonBox*>()->button(press)->click();
        });
    }
    static int ParameterRow(QTableWidget* table, const QString& key)
    {
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, CRuleParameterDlg::NameColumn)->text() == key)
                return r;
        return -1;
    }
    static QString ValueOf(CVtrRule* rule, const QString& key)
    {
        const RuleParameterEdit edit(*rule);
        QString error;
        const int i = edit.Find(key, error);
        return i < 0 ? QString() : edit.Text(i, ParameterField::Value);
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_messages = std::make_unique<ScriptedMessages>();
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        QVERIFY(m_app->Modules().loadedRuleModules.GetSize() > 0);
        m_editor = std::make_unique<CRuleParameterEditor>(m_app->Modules(), [] { return nullptr; });
        VtrSetRuleEditor(m_editor.get());
    }
    void cleanupTestCase()
    {
        VtrSetRuleEditor(nullptr);
        m_editor.reset();
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }

    void aValueChangedInTheEditorReachesTheSavedFileInTheDocumentsUnits()
    {
        auto o = OpenInches(QStringLiteral("inches.vtr"));
        QVERIFY(o);
        const int row = o->Row(kRule);
        QVERIFY(row >= 0);
        QVERIFY(o->view->Controller()->Model()->IsChecked(row));
        QVERIFY(!o->doc->IsModified());
        o->view->ListCtrl()->selectRow(row);

        bool opened = false;
        m_messages->shown.clear();
        WhenEditorOpens(
            [&](CRuleParameterDlg* dlg) {
                QCOMPARE(dlg->findChild<QLabel*>("ruleName")->text(), kRule);
                QVERIFY(!dlg->findChild<QLabel*>("ruleSummary")->text().isEmpty());
                QCOMPARE(dlg->CriticalityCombo()->currentText(), QStringLiteral("High"));
                QTableWidget* table = dlg->Table();
                const int p = ParameterRow(table, QStringLiteral("Minimum hole diameter"));
                QVERIFY(p >= 0);
                QCOMPARE(table->item(p, CRuleParameterDlg::OperatorColumn)->text(), QStringLiteral(">="));
                QCOMPARE(table->item(p, CRuleParameterDlg::UnitColumn)->text(), QStringLiteral("inches"));
                // The module's default, 1.5 mm, shown in inches beside the value.
                const double inches = 1.5 / 25.4;
                QCOMPARE(table->item(p, CRuleParameterDlg::DefaultValueColumn)->text(), QStringLiteral("0.0590551"));
                QVERIFY(table->item(p, CRuleParameterDlg::ValueColumn)->toolTip().contains(
                    QString::number(inches, 'g', 12)));
                QTableWidgetItem* value = table->item(p, CRuleParameterDlg::ValueColumn);
                const QString shown = value->text();
                QCOMPARE(shown, QStringLiteral("0.0590551")); // six significant digits
                QCOMPARE(value->data(Qt::UserRole).toBool(), false);
                CVtrRule* listed = o->view->Controller()->Model()->RuleAt(row);
                const QString full = ValueOf(listed, QStringLiteral("Minimum hole diameter"));

                value->setText(QStringLiteral("abc"));
                QCOMPARE(m_messages->shown.size(), size_t(1));
                QVERIFY(m_messages->shown[0].text.contains(QStringLiteral("needs a number, not \"abc\"")));
                QCOMPARE(table->item(p, CRuleParameterDlg::ValueColumn)->text(), shown);
                // The cell shows six digits; its tip holds the full value.
                QVERIFY(table->item(p, CRuleParameterDlg::ValueColumn)->toolTip().contains(full));

                table->item(p, CRuleParameterDlg::ValueColumn)->setText(QStringLiteral("0.125"));
                QCOMPARE(table->item(p, CRuleParameterDlg::ValueColumn)->data(Qt::UserRole).toBool(), true);
                QVERIFY(table->item(p, CRuleParameterDlg::ValueColumn)->font().bold());
                dlg->CriticalityCombo()->setCurrentIndex(0);
                CVtrRule* rule = o->view->Controller()->Model()->RuleAt(row);
                QVERIFY(ValueOf(rule, QStringLiteral("Minimum hole diameter")) != QStringLiteral("0.125"));
            },
            QDialogButtonBox::Ok, &opened);
        o->view->OnConfigureRule();
        QVERIFY(opened);

        CVtrRule* rule = o->view->Controller()->Model()->RuleAt(row);
        QCOMPARE(ValueOf(rule, QStringLiteral("Minimum hole diameter")), QStringLiteral("0.125"));
        QCOMPARE(o->view->Controller()->Model()->CellText(row, RuleListModel::CriticalityColumn),
            QStringLiteral("Critical"));
        QVERIFY2(o->doc->IsModified(), "the rule is ticked");
        QVERIFY(o->doc->GetTitle().endsWith('*'));
        QCOMPARE(m_app->EditInProgress(), 0);

        QVERIFY(o->doc->OnSaveDocument(o->doc->GetPathName()));
        QFile f(o->doc->GetPathName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        const qsizetype at = text.indexOf(QStringLiteral("<Rule Name=\"") + kRule);
        QVERIFY(at >= 0);
        const QString element = text.mid(at, text.indexOf(QStringLiteral("</Rule>"), at) - at);
        QVERIFY2(element.contains(QStringLiteral("LinearUnit=\"3\"")), qPrintable(element));
        QVERIFY2(element.contains(QStringLiteral("<Value>0.125</Value>")), qPrintable(element));
        QVERIFY(element.contains(QStringLiteral("Severity=\"1\"")));
    }

    void cancelWritesNothingAndAnUntickedRuleLeavesTheDocumentUnmodified()
    {
        auto o = OpenInches(QStringLiteral("cancel.vtr"));
        QVERIFY(o);
        const int row = o->Row(QStringLiteral("SM - Minimum Flange Width"));
        QVERIFY(row >= 0);
        QVERIFY(!o->view->Controller()->Model()->IsChecked(row));
        CVtrRule* rule = o->view->Controller()->Model()->RuleAt(row);
        const QString before = ValueOf(rule, QStringLiteral("Minimum flange width"));
        o->view->ListCtrl()->selectRow(row);

        // Cancel: the typed value is dropped.
        bool opened = false;
        WhenEditorOpens(
            [](CRuleParameterDlg* dlg) {
                dlg->Table()->item(0, CRuleParameterDlg::ValueColumn)->setText(QStringLiteral("9"));
            },
            QDialogButtonBox::Cancel, &opened);
        emit o->view->ListCtrl()->ConfigureRequested(); // the context menu's "Configure Rule"
        QVERIFY(opened);
        QCOMPARE(ValueOf(rule, QStringLiteral("Minimum flange width")), before);

        // OK on a rule that is not ticked: the rule changes, the document does not.
        WhenEditorOpens(
            [](CRuleParameterDlg* dlg) {
                dlg->Table()->item(0, CRuleParameterDlg::ValueColumn)->setText(QStringLiteral("0.25"));
            },
            QDialogButtonBox::Ok, &opened);
        const QRect cell = o->view->ListCtrl()->visualRect(o->view->ListCtrl()->model()->index(row, 1));
        QTest::mouseDClick(o->view->ListCtrl()->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(opened);
        QCOMPARE(ValueOf(rule, QStringLiteral("Minimum flange width")), QStringLiteral("0.25"));
        QVERIFY(!o->doc->IsModified());
    }

    void theRibbonCommandReachesTheActiveView()
    {
        QSettings profile(m_env->Path(QStringLiteral("profile.ini")), QSettings::IniFormat);
        CMainFrame frame(*m_app, &profile, QStringLiteral("VTRPro Rule Manager"));
        QVERIFY(frame.Create());
        frame.show();
        auto* doc = new CVTRRuleBuilderDoc;
        doc->OnNewDocument();
        CChildFrame* child = frame.AddDocument(doc);
        CVTRRMListCtrlEx* list = child->View()->ListCtrl();
        QVERIFY(!frame.Action(CmdId::ID_CONFIGURE_RULE)->isEnabled());
        list->selectRow(0);
        QApplication::processEvents();
        frame.UpdateCommandUI();
        QVERIFY(frame.Action(CmdId::ID_CONFIGURE_RULE)->isEnabled());
        bool opened = false;
        WhenEditorOpens([](CRuleParameterDlg*) {}, QDialogButtonBox::Cancel, &opened);
        frame.OnCommand(CmdId::ID_CONFIGURE_RULE);
        QVERIFY(opened);
        list->selectAll();
        QApplication::processEvents();
        frame.UpdateCommandUI();
        QVERIFY(!frame.Action(CmdId::ID_CONFIGURE_RULE)->isEnabled());
        child->CloseAnswered();
        QApplication::processEvents();
    }

    void aRefusedValueGivesTheKeyboardBackToItsCell()
    {
        auto o = OpenInches(QStringLiteral("refused.vtr"));
        QVERIFY(o);
        o->view->ListCtrl()->selectRow(o->Row(kRule));
        bool opened = false;
        bool checked = false;
        WhenEditorOpens(
            [&](CRuleParameterDlg* dlg) {
                QTableWidget* table = dlg->Table();
                const int p = ParameterRow(table, QStringLiteral("Minimum hole diameter"));
                QVERIFY(p >= 0);
                QTableWidgetItem* cell = table->item(p, CRuleParameterDlg::ValueColumn);
                const QString shown = cell->text();
                // The message box takes the keyboard while it is shown.
                m_messages->onShow = [dlg](const ScriptedMessages::Shown&) { dlg->CriticalityCombo()->setFocus(); };
                table->setFocus();
                table->setCurrentItem(cell);
                table->editItem(cell);
                auto* editor = table->viewport()->findChild<QLineEdit*>();
                QVERIFY(editor);
                editor->setText(QStringLiteral("-1"));
                QTest::keyClick(editor, Qt::Key_Return);
                // The editor hands its text over from the event loop; the
                // focus comes back on the turn after.
                QApplication::processEvents();
                QApplication::processEvents();
                m_messages->onShow = nullptr;
                QVERIFY(!m_messages->shown.empty());
                QVERIFY2(m_messages->shown.back().text.contains(QStringLiteral("cannot be negative")),
                    qPrintable(m_messages->shown.back().text));
                QCOMPARE(cell->text(), shown);
                QCOMPARE(dlg->focusWidget(), static_cast<QWidget*>(table));
                QCOMPARE(table->currentItem(), cell);
                checked = true;
            },
            QDialogButtonBox::Cancel, &opened);
        o->view->OnConfigureRule();
        QVERIFY(opened);
        QVERIFY(checked);
    }

    void onlyAChangeMarksTheDocumentModified()
    {
        auto o = OpenInches(QStringLiteral("unchanged.vtr"));
        QVERIFY(o);
        const int row = o->Row(kRule);
        QVERIFY(o->view->Controller()->Model()->IsChecked(row));
        o->view->ListCtrl()->selectRow(row);
        const struct
        {
            const char* what;
            QString typed; // empty: nothing typed
            QDialogButtonBox::StandardButton press;
            bool modified;
        } cases[] = {
            { "Cancel with nothing typed", QString(), QDialogButtonBox::Cancel, false },
            { "Cancel after typing", QStringLiteral("0.2"), QDialogButtonBox::Cancel, false },
            { "OK with nothing typed", QString(), QDialogButtonBox::Ok, false },
            { "OK after typing the shown text again", QStringLiteral("0.0590551"), QDialogButtonBox::Ok, false },
            { "OK after a change", QStringLiteral("0.2"), QDialogButtonBox::Ok, true },
        };
        for (const auto& c : cases) {
            bool opened = false;
            const QString typed = c.typed;
            WhenEditorOpens(
                [typed](CRuleParameterDlg* dlg) {
                    if (typed.isEmpty())
                        return;
                    QTableWidget* table = dlg->Table();
                    table->item(ParameterRow(table, QStringLiteral("Minimum hole diameter")),
                             CRuleParameterDlg::ValueColumn)
                        ->setText(typed);
                },
                c.press, &opened);
            o->view->OnConfigureRule();
            QVERIFY2(opened, c.what);
            QVERIFY2(o->doc->IsModified() == c.modified, c.what);
            QVERIFY2(o->doc->GetTitle().endsWith('*') == c.modified, c.what);
        }
    }

    void valuesAreShownShortAndKeptWholeUnlessEdited()
    {
        auto o = OpenInches(QStringLiteral("precision.vtr"));
        QVERIFY(o);
        const int row = o->Row(kRule);
        CVtrRule* rule = o->view->Controller()->Model()->RuleAt(row);
        const QString full = ValueOf(rule, QStringLiteral("Minimum hole diameter"));
        QVERIFY2(full.size() > 12, qPrintable(full)); // 1.5 mm in inches
        o->view->ListCtrl()->selectRow(row);
        bool opened = false;
        WhenEditorOpens(
            [&](CRuleParameterDlg* dlg) {
                QTableWidget* table = dlg->Table();
                const int p = ParameterRow(table, QStringLiteral("Minimum hole diameter"));
                for (int column : { CRuleParameterDlg::ValueColumn, CRuleParameterDlg::DefaultValueColumn,
                         CRuleParameterDlg::RecommendedColumn, CRuleParameterDlg::AlertColumn }) {
                    const QString text = table->item(p, column)->text();
                    QVERIFY2(text.size() <= 9, qPrintable(text));
                }
                // Another parameter is edited; this one keeps its stored text.
                const int other = ParameterRow(table, QStringLiteral("Hole diameter to thickness ratio"));
                table->item(other, CRuleParameterDlg::ValueColumn)->setText(QStringLiteral("1.5"));
                // Each default column says which value's default it holds.
                QStringList titles;
                for (int c = 0; c < CRuleParameterDlg::ColumnCount; ++c)
                    titles << table->horizontalHeaderItem(c)->text();
                QCOMPARE(titles.removeDuplicates(), qsizetype(0));
                QVERIFY(table->horizontalHeaderItem(CRuleParameterDlg::DefaultValueColumn)->text().contains("value"));
                QVERIFY(table->horizontalHeaderItem(CRuleParameterDlg::DefaultRecommendedColumn)
                            ->text()
                            .contains("recommended"));
                QVERIFY(table->horizontalHeaderItem(CRuleParameterDlg::DefaultAlertColumn)->text().contains("alert"));
            },
            QDialogButtonBox::Ok, &opened);
        o->view->OnConfigureRule();
        QVERIFY(opened);
        QCOMPARE(ValueOf(rule, QStringLiteral("Minimum hole diameter")), full);
        QCOMPARE(ValueOf(rule, QStringLiteral("Hole diameter to thickness ratio")), QStringLiteral("1.5"));
    }

    void areasAndVolumesShowTheirUnitAndEveryColumnStaysInView()
    {
        auto o = OpenInches(QStringLiteral("area.vtr"), { QStringLiteral("Minimum Face Area") });
        QVERIFY(o);
        o->view->ListCtrl()->selectRow(o->Row(QStringLiteral("Minimum Face Area")));
        bool opened = false;
        WhenEditorOpens(
            [&](CRuleParameterDlg* dlg) {
                QTableWidget* table = dlg->Table();
                const int p = ParameterRow(table, QStringLiteral("Minimum face area"));
                QVERIFY(p >= 0);
                QCOMPARE(table->item(p, CRuleParameterDlg::UnitColumn)->text(), QStringLiteral("square inches"));
                // With the vertical scroll bar shown, as a long list shows
                // it, the last column still ends inside the table.
                for (Qt::ScrollBarPolicy policy : { Qt::ScrollBarAsNeeded, Qt::ScrollBarAlwaysOn }) {
                    table->setVerticalScrollBarPolicy(policy);
                    QApplication::processEvents();
                    int last = CRuleParameterDlg::ColumnCount - 1;
                    while (last > 0 && table->isColumnHidden(last))
                        --last;
                    QCOMPARE(last, int(CRuleParameterDlg::DefaultAlertColumn));
                    QVERIFY2(table->columnViewportPosition(last) + table->columnWidth(last)
                            <= table->viewport()->width(),
                        qPrintable(QStringLiteral("%1 + %2 > %3")
                                       .arg(table->columnViewportPosition(last))
                                       .arg(table->columnWidth(last))
                                       .arg(table->viewport()->width())));
                    QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
                }
            },
            QDialogButtonBox::Cancel, &opened);
        o->view->OnConfigureRule();
        QVERIFY(opened);
    }

    // Writes the parameter editor's screenshot for the documentation when
    // VTRPRO_EDITOR_SCREENSHOT names a file.
    void screenshot()
    {
        const QString target = qEnvironmentVariable("VTRPRO_EDITOR_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("VTRPRO_EDITOR_SCREENSHOT not set");
        auto o = OpenInches(QStringLiteral("shot.vtr"));
        QVERIFY(o);
        const int row = o->Row(kRule);
        o->view->ListCtrl()->selectRow(row);
        bool opened = false;
        bool saved = false;
        WhenEditorOpens(
            [&](CRuleParameterDlg* dlg) {
                QTableWidget* table = dlg->Table();
                table
                    ->item(ParameterRow(table, QStringLiteral("Minimum hole diameter")), CRuleParameterDlg::ValueColumn)
                    ->setText(QStringLiteral("0.125"));
                dlg->resize(980, 360);
                QApplication::processEvents();
                QDir().mkpath(QFileInfo(target).absolutePath());
                saved = dlg->grab().save(target);
            },
            QDialogButtonBox::Cancel, &opened);
        o->view->OnConfigureRule();
        QVERIFY(opened);
        QVERIFY(saved);
    }
};

QTEST_MAIN(RuleParameterDlgTest)
#include "RuleParameterDlgTest.moc"
