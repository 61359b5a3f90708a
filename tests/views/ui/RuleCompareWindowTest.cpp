// "Compare with…" with the shipped modules: the window lists the
// differences between the document and a saved copy with the counts, sorts
// by a column and takes the list to the rule of a row on Enter.

#include "TestSupport.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/RuleCompareWindow.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QtTest>

class RuleCompareWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<AppContext> m_app;

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_messages = std::make_unique<ScriptedMessages>();
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        QVERIFY(m_app->Modules().loadedRuleModules.GetSize() > 0);
    }
    void cleanupTestCase()
    {
        UnloadAllModules(m_app->Modules());
        m_app.reset();
    }

    void listsTheDifferencesSortsAndJumpsToTheRule()
    {
        CVTRRuleBuilderDoc doc;
        doc.OnNewDocument();
        auto view = std::make_unique<CVTRRuleBuilderView>(&doc, nullptr);
        view->resize(1000, 700);
        view->show();
        view->OnInitialUpdate();
        RuleListController* list = view->Controller();
        RuleListModel* model = list->Model();
        QVERIFY(model->RowCount() > 10);
        for (int r : { 2, 5, 7 })
            QVERIFY(list->SetChecked(r, true));
        const QString saved = m_env->Path(QStringLiteral("saved.vtr"));
        QVERIFY(doc.OnSaveDocument(saved));

        // Since the save: one more rule ticked, one unticked, one's criticality changed.
        QVERIFY(list->SetChecked(9, true));
        QVERIFY(list->SetChecked(5, false));
        const QString untickedOwner
            = model->RuleAt(5)->GetRuleCategory() + QLatin1Char('/') + model->RuleAt(5)->GetRuleName();
        CVtrRule* changed = model->RuleAt(7);
        changed->SetCriticality(changed->GetCriticality() == 5 ? 1 : 5);
        const QString changedOwner = changed->GetRuleCategory() + QLatin1Char('/') + changed->GetRuleName();
        const QString addedOwner
            = model->RuleAt(9)->GetRuleCategory() + QLatin1Char('/') + model->RuleAt(9)->GetRuleName();

        CRuleCompareWindow* window = view->CompareWith(saved);
        QVERIFY(window);
        window->show();
        // The unticked rule stays in the document, as a save keeps it, unticked.
        QCOMPARE(window->CountLabel()->text(), QStringLiteral("1 rules only here, 0 only there, 2 settings differ"));
        QTableView* table = window->Table();
        QCOMPARE(table->model()->rowCount(), 3);
        QStringList rows;
        for (int r = 0; r < 3; ++r)
            rows << window->ShownText(r, 0) + QLatin1Char('|') + window->ShownText(r, 1) + QLatin1Char('|')
                    + window->ShownText(r, 2) + QLatin1Char('|') + window->ShownText(r, 3);
        const QString criticality = changedOwner + QStringLiteral("|criticality|");
        QVERIFY2(rows.filter(criticality).size() == 1, qPrintable(rows.join(QLatin1Char('\n'))));
        QVERIFY(rows.contains(untickedOwner + QStringLiteral("|ticked|0|1")));
        QVERIFY(rows.contains(addedOwner + QStringLiteral("|(rule)|present|(none)")));

        // A header click sorts by that column, a second click the other way.
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
            QPoint(table->horizontalHeader()->sectionViewportPosition(2) + 5, 5));
        const QString first = window->ShownText(0, 2);
        QTest::mouseClick(table->horizontalHeader()->viewport(), Qt::LeftButton, {},
            QPoint(table->horizontalHeader()->sectionViewportPosition(2) + 5, 5));
        QCOMPARE(window->ShownText(2, 2), first);

        // Enter on the rule ticked since the save takes the list to it, past the filter bar.
        RuleListFilter hideAll;
        hideAll.text = QStringLiteral("no rule is called this");
        list->SetFilter(hideAll);
        QCOMPARE(model->RowCount(), 0);
        int addedRow = -1;
        for (int r = 0; r < 3; ++r)
            if (window->ShownText(r, 0) == addedOwner)
                addedRow = r;
        QVERIFY(addedRow >= 0);
        table->setFocus();
        table->setCurrentIndex(table->model()->index(addedRow, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(model->RowCount() > 10);
        const QModelIndex current = view->ListCtrl()->currentIndex();
        QVERIFY(current.isValid());
        QCOMPARE(model->RuleAt(current.row())->GetRuleCategory() + QLatin1Char('/')
                + model->RuleAt(current.row())->GetRuleName(),
            addedOwner);

        // The documentation's screenshot, when VTRPRO_SCREENSHOT names a file.
        if (const QString target = qEnvironmentVariable("VTRPRO_SCREENSHOT"); !target.isEmpty()) {
            QDir().mkpath(QFileInfo(target).absolutePath());
            QVERIFY(window->grab().save(target));
        }

        // A file that cannot be read opens no window and says why.
        const int shown = static_cast<int>(m_messages->shown.size());
        QVERIFY(!view->CompareWith(m_env->Path(QStringLiteral("missing.vtr"))));
        QCOMPARE(static_cast<int>(m_messages->shown.size()), shown + 1);
        QVERIFY(m_messages->shown.back().text.contains(QStringLiteral("missing.vtr")));

        window->close();
        doc.OnCloseDocument();
        view.reset();
    }
};

QTEST_MAIN(RuleCompareWindowTest)
#include "RuleCompareWindowTest.moc"
