// The filter bar above the rule list and the marks of rules that differ from
// their defaults, with the shipped modules: typing narrows the rows and
// shows "N of M", Escape clears, Ctrl+Shift+F reaches the bar, and a rule
// configured away from its defaults is marked and named in its tooltip.

#include "TestSupport.h"

#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/VTRRuleBuilderDoc.h"
#include "modules/ModuleLists.h"
#include "views/RuleDefaultsMarks.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"
#include "views/ui/ChildFrame.h"
#include "views/ui/MainFrame.h"
#include "views/ui/RuleFilterBar.h"
#include "views/ui/VTRRMListCtrlEx.h"
#include "views/ui/VTRRuleBuilderView.h"

#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>

class RuleFilterBarTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ScopedTestEnv> m_env;
    std::unique_ptr<ScriptedMessages> m_messages;
    std::unique_ptr<AppContext> m_app;
    std::unique_ptr<CVTRRuleBuilderDoc> m_doc;
    std::unique_ptr<CVTRRuleBuilderView> m_view;

    RuleListModel* Model() const { return m_view->Controller()->Model(); }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<ScopedTestEnv>();
        m_messages = std::make_unique<ScriptedMessages>();
        m_app = std::make_unique<AppContext>();
        LoadAllModules(m_app->Modules());
        QVERIFY(m_app->Modules().loadedRuleModules.GetSize() > 0);
    }
    void init()
    {
        m_doc = std::make_unique<CVTRRuleBuilderDoc>();
        m_doc->OnNewDocument();
        m_view = std::make_unique<CVTRRuleBuilderView>(m_doc.get(), nullptr);
        m_view->resize(1200, 700);
        m_view->show();
        m_view->OnInitialUpdate();
        QVERIFY(m_view->DefaultsMarker()->WaitIdle(60000));
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

    void typingNarrowsTheRowsAndEscapeClears()
    {
        CRuleFilterBar* bar = m_view->FilterBar();
        const int all = Model()->RowCount();
        QVERIFY(all > 100);
        QCOMPARE(bar->CountLabel()->text(), QStringLiteral("%1 of %1").arg(all));

        // Ctrl+Shift+F from the list reaches the bar's text.
        m_view->ListCtrl()->setFocus();
        QTest::keyClick(m_view->ListCtrl(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(bar->TextEdit()->hasFocus());

        const QString name = Model()->RuleAt(0)->GetDisplayName();
        QTest::keyClicks(bar->TextEdit(), name);
        const int shown = Model()->RowCount();
        QVERIFY(shown >= 1 && shown < all);
        for (int r = 0; r < shown; ++r) {
            const CVtrRule* rule = Model()->RuleAt(r);
            const QString texts = rule->GetDisplayName() + rule->GetRuleCategory() + rule->GetRuleModuleName()
                + Model()->MessageOf(rule);
            QVERIFY2(texts.contains(name, Qt::CaseInsensitive), qPrintable(rule->GetRuleName()));
        }
        QCOMPARE(bar->CountLabel()->text(), QStringLiteral("%1 of %2").arg(shown).arg(all));

        bar->TickedOnlyBox()->setChecked(true);
        QCOMPARE(Model()->RowCount(), 0);
        QCOMPARE(bar->CountLabel()->text(), QStringLiteral("0 of %1").arg(all));

        QTest::keyClick(bar->TextEdit(), Qt::Key_Escape);
        QVERIFY(bar->TextEdit()->text().isEmpty());
        QVERIFY(!bar->TickedOnlyBox()->isChecked());
        QCOMPARE(Model()->RowCount(), all);
        QCOMPARE(bar->CountLabel()->text(), QStringLiteral("%1 of %1").arg(all));

        // The module box offers the listed modules; choosing one keeps its rows.
        QVERIFY(bar->ModuleBox()->count() > 1);
        bar->ModuleBox()->setCurrentIndex(1);
        const QString module = bar->ModuleBox()->currentText();
        QVERIFY(Model()->RowCount() > 0 && Model()->RowCount() < all);
        for (int r = 0; r < Model()->RowCount(); ++r)
            QCOMPARE(Model()->RuleAt(r)->GetRuleModuleName(), module);
    }

    void aConfiguredRuleIsMarkedAndNamedInItsTooltip()
    {
        const int all = Model()->RowCount();
        for (int r = 0; r < all; ++r)
            QVERIFY2(!Model()->index(r, 0).data(RuleListModel::DiffersRole).toBool(),
                "a new document holds the module's defaults");
        CVtrRule* rule = Model()->RuleAt(3);
        rule->SetCriticality(rule->GetCriticality() == 5 ? 1 : 5);
        m_view->Controller()->RefreshRow(3);
        // What Configure sends when it is done.
        m_doc->UpdateAllViews(4);
        QVERIFY(m_view->DefaultsMarker()->WaitIdle(60000));
        QVERIFY(Model()->index(3, 0).data(RuleListModel::DiffersRole).toBool());
        QVERIFY(Model()->index(3, 0).data(Qt::ToolTipRole).toString().contains(QStringLiteral("criticality")));

        CRuleFilterBar* bar = m_view->FilterBar();
        bar->DiffersOnlyBox()->setChecked(true);
        QCOMPARE(Model()->RowCount(), 1);
        QCOMPARE(Model()->RuleAt(0), rule);
        QCOMPARE(bar->CountLabel()->text(), QStringLiteral("1 of %1").arg(all));
    }

    // Writes the screenshot of the documentation when VTRPRO_SCREENSHOT names
    // a file: the main window with a document narrowed by the filter bar,
    // two of its rules configured away from their defaults.
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
        CVTRRuleBuilderView* view = child->View();
        QVERIFY(view->DefaultsMarker()->WaitIdle(60000));
        RuleListModel* model = view->Controller()->Model();
        CRuleFilterBar* bar = view->FilterBar();
        QTest::keyClicks(bar->TextEdit(), QStringLiteral("hole"));
        QVERIFY(model->RowCount() > 2);
        for (int row : { 0, 1, 2 })
            view->Controller()->SetChecked(row, true);
        for (int row : { 0, 2 }) {
            CVtrRule* rule = model->RuleAt(row);
            rule->SetCriticality(rule->GetCriticality() == 5 ? 4 : 5);
            view->Controller()->RefreshRow(row);
        }
        doc->UpdateAllViews(4);
        QVERIFY(view->DefaultsMarker()->WaitIdle(60000));
        QVERIFY(model->index(0, 0).data(RuleListModel::DiffersRole).toBool());
        view->ListCtrl()->selectRow(1);
        QApplication::processEvents();
        QDir().mkpath(QFileInfo(target).absolutePath());
        QVERIFY(frame.grab().save(target));
        child->CloseAnswered();
        QApplication::processEvents();
    }
};

QTEST_MAIN(RuleFilterBarTest)
#include "RuleFilterBarTest.moc"
