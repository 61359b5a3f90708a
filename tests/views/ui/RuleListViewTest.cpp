// The rule list view with the shipped modules: columns, check boxes drawn
// with the state icons, mouse and keys, the summary pane, the context menu,
// Ctrl+L, and the search window.

#include "TestSupport.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "settings/ui/SearchDlg.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QtTest>

class ViewRuleListTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<ScriptedFileDialogs> m_dialogs;
    std::unique_ptr<AppContext> m_app;

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
    };
    std::unique_ptr<Open> NewView()
    {
        auto o = std::make_unique<Open>();
        o->doc = std::make_unique<CVTRRuleBuilderDoc>();
        o->doc->OnNewDocument();
        o->view = std::make_unique<CVTRRuleBuilderView>(o->doc.get(), nullptr);
        o->view->resize(1000, 700);
        o->view->show();
        o->view->OnInitialUpdate();
        return o;
    }
    static QPoint IconPoint(CVTRRMListCtrlEx* list, int row)
    {
        const QRect r = list->visualRect(list->model()->index(row, 0));
        return QPoint(r.left() + 10, r.center().y());
    }
    static bool Checked(CVTRRMListCtrlEx* list, int row)
    {
        return list->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_messages = std::make_unique<ScriptedMessages>();
        m_dialogs = std::make_unique<ScriptedFileDialogs>();
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        QVERIFY(m_app->Modules().loadedRuleModules.GetSize() > 0);
    }
    void cleanupTestCase()
    {
        DestroySearchDialog();
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }

    void listsEveryModuleRuleWithTheFiveColumns()
    {
        auto o = NewView();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        QVERIFY(list->model()->rowCount() > 100);
        const QStringList headers { "Rule", "Category", "Module", "Criticality", "Custom Message" };
        for (int c = 0; c < 5; ++c)
            QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
        QCOMPARE(o->view->Controller()->SortState(), 1);
        QCOMPARE(m_app->StatusText(), QStringLiteral("Rules selected: 0, listed: %1").arg(list->model()->rowCount()));
        QVERIFY(!QFileInfo(m_app->LastAllRulesFile()).fileName().isEmpty());
        QVERIFY(QFileInfo::exists(m_app->LastAllRulesFile()));
    }

    void clickingTheIconTicksTheRowButShiftClickDoesNot()
    {
        auto o = NewView();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, IconPoint(list, 2));
        QVERIFY(Checked(list, 2));
        QVERIFY(o->doc->IsModified());
        QVERIFY(o->doc->GetTitle().endsWith('*'));
        QCOMPARE(o->view->Controller()->SelectedCount(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, IconPoint(list, 5));
        QVERIFY(!Checked(list, 5));
        QCOMPARE(list->SelectedRows(), (QList<int> { 2, 3, 4, 5 }));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, IconPoint(list, 2));
        QVERIFY(!Checked(list, 2));
        QCOMPARE(o->view->Controller()->SelectedCount(), 0);
    }

    void spaceGivesEverySelectedRowTheFocusedRowsNewState()
    {
        auto o = NewView();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        list->model()->setData(list->model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        QItemSelectionModel* sel = list->selectionModel();
        sel->setCurrentIndex(
            list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        sel->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        sel->select(list->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(Checked(list, 0) && Checked(list, 1) && Checked(list, 2));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!Checked(list, 0) && !Checked(list, 1) && !Checked(list, 2));
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->SelectedRows().size(), list->model()->rowCount());
        QVERIFY(!m_app->ConfigureRuleEnabled());
        // Every row at once takes the focused row's new state.
        QTest::keyClick(list, Qt::Key_Space);
        const int rows = list->model()->rowCount();
        for (int r = 0; r < rows; ++r)
            QVERIFY(Checked(list, r));
        QCOMPARE(m_app->StatusText(), QStringLiteral("Rules selected: %1, listed: %1").arg(rows));
    }

    void theSelectedRowFollowsItsRuleWhenSorted()
    {
        auto o = NewView();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        RuleListModel* model = o->view->Controller()->Model();
        const int row = model->RowCount() / 2;
        CVtrRule* rule = model->RuleAt(row);
        list->selectRow(row);
        // Ascending, then descending: the rule cannot keep its row both times.
        QSet<int> rowsSeen;
        for (int round = 0; round < 2; ++round) {
            o->view->Controller()->SortByColumn(RuleListModel::CategoryColumn);
            const QModelIndex current = list->selectionModel()->currentIndex();
            QVERIFY(current.isValid());
            QCOMPARE(model->RuleAt(current.row()), rule);
            QCOMPARE(list->SelectedRows(), QList<int> { current.row() });
            rowsSeen.insert(current.row());
        }
        // The rule moved at least once, so the checks above mean something.
        QVERIFY(rowsSeen != QSet<int> { row });
    }

    void theSummaryPaneShowsTheOneSelectedRule()
    {
        auto o = NewView();
        CVTRRMListCtrlEx* list = o->view->ListCtrl();
        int row = 0;
        while (row < list->model()->rowCount() && o->view->Controller()->Model()->RuleAt(row)->GetSummary().size() < 40)
            ++row;
        QVERIFY(row < list->model()->rowCount());
        list->selectRow(row);
        QVERIFY(m_app->ConfigureRuleEnabled());
        QListWidget* pane = o->view->SummaryPane();
        QVERIFY(pane->count() >= 1);
        QString joined;
        for (int i = 0; i < pane->count(); ++i)
            joined += pane->item(i)->text() + ' ';
        QCOMPARE(joined.simplified(), o->view->Controller()->Model()->RuleAt(row)->GetSummary().simplified());
        list->selectAll();
        QCOMPARE(pane->count(), 0);
    }

    void ctrlLProtectsAndSavesAnUnprotectedDocument()
    {
        auto o = NewView();
        const QString path = m_env->Path(QStringLiteral("locked-by-password.vtr"));
        SetPasswordPrompt([](QString& typed) {
            typed = QStringLiteral("pw");
            return true;
        });
        m_dialogs->Answer(path);
        QTest::keyClick(o->view->ListCtrl(), Qt::Key_L, Qt::ControlModifier);
        SetPasswordPrompt({});
        QVERIFY(o->doc->IsPasswordConfirmed());
        QVERIFY(o->doc->IsPasswordProtected());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("Password=\""));
        // Protected now: Ctrl+L does nothing more.
        const size_t asked = m_dialogs->asked.size();
        QTest::keyClick(o->view->ListCtrl(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(m_dialogs->asked.size(), asked);
    }

    void ctrlLAsksForThePasswordTwiceAndSavesOnlyWhenBothAgree()
    {
        auto o = NewView();
        const QString path = m_env->Path(QStringLiteral("typo-in-password.vtr"));
        QStringList entries = { QStringLiteral("Secret"), QStringLiteral("Secrte"), QStringLiteral("Secret"),
            QStringLiteral("Secret") };
        SetNewPasswordPrompt([&entries](QString& typed, QString& repeated) {
            if (entries.size() < 2)
                return false;
            typed = entries.takeFirst();
            repeated = entries.takeFirst();
            return true;
        });
        m_dialogs->Answer(path);
        const size_t before = m_messages->shown.size();
        QTest::keyClick(o->view->ListCtrl(), Qt::Key_L, Qt::ControlModifier);
        SetNewPasswordPrompt({});
        // The typo was refused with a message and asked again; the agreed password protects the file.
        QVERIFY(entries.isEmpty());
        QCOMPARE(m_messages->shown.size(), before + 1);
        QVERIFY(m_messages->shown.back().text.contains(QStringLiteral("not the same")));
        QVERIFY(o->doc->IsPasswordProtected());
        QCOMPARE(o->doc->ConfirmedPassword(), QStringLiteral("Secret"));
        QVERIFY(QFile::exists(path));

        // Cancel after a typo: nothing is set and nothing saved.
        auto other = NewView();
        const QString otherPath = m_env->Path(QStringLiteral("not-protected.vtr"));
        entries = { QStringLiteral("a"), QStringLiteral("b") };
        SetNewPasswordPrompt([&entries](QString& typed, QString& repeated) {
            if (entries.size() < 2)
                return false;
            typed = entries.takeFirst();
            repeated = entries.takeFirst();
            return true;
        });
        const size_t asked = m_dialogs->asked.size();
        QTest::keyClick(other->view->ListCtrl(), Qt::Key_L, Qt::ControlModifier);
        SetNewPasswordPrompt({});
        QVERIFY(!other->doc->IsPasswordConfirmed());
        QCOMPARE(m_dialogs->asked.size(), asked); // no save was even offered
        QVERIFY(!QFile::exists(otherPath));
    }

    void searchWindowSearchClearAndCancel()
    {
        auto o = NewView();
        CVTRRuleBuilderView* view = o->view.get();
        const int all = view->ListCtrl()->model()->rowCount();
        CSearchDlg* dlg = ShowSearchDialog([view] { return view; });
        QVERIFY(dlg->isVisible());
        auto* field = dlg->findChild<QLineEdit*>("searchField");
        QVERIFY(field);

        field->clear();
        dlg->findChild<QPushButton*>("searchButton")->click();
        QCOMPARE(view->ListCtrl()->model()->rowCount(), all); // empty text: nothing happens

        field->setText(QStringLiteral("FLANGE"));
        dlg->findChild<QPushButton*>("searchButton")->click();
        const int found = view->ListCtrl()->model()->rowCount();
        QVERIFY(found > 0 && found < all);
        for (int r = 0; r < found; ++r) {
            QString row;
            for (int c = 0; c < 4; ++c)
                row += view->ListCtrl()->model()->index(r, c).data().toString();
            QVERIFY(row.contains(QStringLiteral("flange"), Qt::CaseInsensitive));
        }

        dlg->findChild<QPushButton*>("clearButton")->click();
        QCOMPARE(view->ListCtrl()->model()->rowCount(), all);
        QCOMPARE(field->text(), QStringLiteral("FLANGE"));

        dlg->findChild<QPushButton*>("searchButton")->click();
        QCOMPARE(view->ListCtrl()->model()->rowCount(), found);
        dlg->findChild<QPushButton*>("cancelButton")->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(view->ListCtrl()->model()->rowCount(), all);

        // Opening again shows the last text; with no document nothing happens.
        CSearchDlg* again = ShowSearchDialog([] { return static_cast<CVTRRuleBuilderView*>(nullptr); });
        QCOMPARE(again, dlg);
        QCOMPARE(field->text(), QStringLiteral("FLANGE"));
        again->findChild<QPushButton*>("searchButton")->click();
        QCOMPARE(view->ListCtrl()->model()->rowCount(), all);
        again->hide();
    }

    // Writes the screenshot of the documentation when VTRPRO_SCREENSHOT names
    // a file: the main window with one document of a few hundred rules.
    void screenshot()
    {
        const QString target = qEnvironmentVariable("VTRPRO_SCREENSHOT");
        if (target.isEmpty())
            QSKIP("VTRPRO_SCREENSHOT not set");
        QSettings profile(m_env->Path(QStringLiteral("profile.ini")), QSettings::IniFormat);
        CMainFrame frame(*m_app, &profile, QStringLiteral("VTRPro Rule Manager"));
        QVERIFY(frame.Create());
        frame.resize(1280, 800);
        frame.show();
        auto* doc = new CVTRRuleBuilderDoc;
        doc->OnNewDocument();
        CChildFrame* child = frame.AddDocument(doc);
        QVERIFY(child);
        QApplication::processEvents();
        CVTRRMListCtrlEx* list = child->View()->ListCtrl();
        QVERIFY(list->model()->rowCount() > 100);
        for (int row : { 0, 3, 4, 7, 11, 12, 18, 25, 31 })
            list->model()->setData(list->model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
        list->selectRow(4);
        list->setFocus();
        QApplication::processEvents();
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY(frame.grab().save(target));
        child->CloseAnswered();
        QApplication::processEvents();
    }
};

QTEST_MAIN(ViewRuleListTest)
#include "RuleListViewTest.moc"
