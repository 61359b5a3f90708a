// Configure rule without windows: who gets the rule, the edit-in-progress
// flag, the row and the document afterwards, and the list's keys.

#include "DocFixture.h"

#include "ConcreteVTRRule.h"
#include "PLQRuleConfigurator.h"
#include "RuleEditor.h"
#include "views/RuleConfigurer.h"
#include "views/RuleListController.h"
#include "views/RuleListModel.h"

#include <memory>
#include <vector>

namespace {

// Answers for the owners of rule settings and records what they were given.
struct RecordingOwners : IRuleSettingsOwners
{
    int criticalityAsked = 0;
    int32_t newCriticality = 0; // written by the criticality dialog when not 0
    std::vector<std::pair<int, RuleUnits>> launched; // status, units
    bool launchWorks = true;
    QStringList errors;

    bool EditCriticality(ConcreteVTRRule& rule) override
    {
        ++criticalityAsked;
        if (newCriticality)
            rule.SetCriticality(newCriticality);
        return true;
    }
    bool LaunchRuleCreation(CPLQRuleCreationData& data, QString& error) override
    {
        launched.push_back({ data.GetStatus(), RuleUnits { data.m_nLinearUnit, data.m_nAngularUnit } });
        if (!launchWorks)
            error = QStringLiteral("The rule-creation program is not installed.");
        return launchWorks;
    }
    void ShowError(const QString& text) override { errors << text; }
};

// Stands in for the parameter editor: changes the criticality and notes
// the edit-in-progress flag while it runs.
struct RecordingEditor : IVtrRuleEditor
{
    AppContext* app = nullptr;
    int calls = 0;
    int flagWhileEditing = -1;
    int32_t newCriticality = 1;
    bool changes = true; // whether it changes the rule
    bool answers = true; // what it returns
    bool EditRule(ConcreteVTRRule& rule) override
    {
        ++calls;
        flagWhileEditing = app->EditInProgress();
        if (changes)
            rule.SetCriticality(newCriticality);
        return answers;
    }
};

class ConfigureRuleTest : public DocFixture
{
protected:
    void SetUp() override
    {
        DocFixture::SetUp();
        m_editor.app = m_app.get();
        VtrSetRuleEditor(&m_editor);
        ASSERT_TRUE(m_doc.OnNewDocument());
        m_list = std::make_unique<RuleListController>(&m_doc);
        m_link = std::make_unique<RuleListDocLink>(m_list.get());
        m_list->InitialUpdate();
        m_configurer
            = std::make_unique<RuleConfigurer>(*m_list, m_owners, [this](int flag) { m_app->SetEditInProgress(flag); });
    }
    void TearDown() override
    {
        VtrSetRuleEditor(nullptr);
        m_configurer.reset();
        m_doc.OnCloseDocument();
        m_link.reset();
        m_list.reset();
        DocFixture::TearDown();
    }
    int RowOf(const QString& name) const
    {
        for (int r = 0; r < m_list->Model()->RowCount(); ++r)
            if (m_list->Model()->RuleAt(r)->GetRuleName() == name)
                return r;
        return -1;
    }
    // Lists a rule of the test's own (owned by the test) as a row.
    int AddRow(CVtrRule* rule)
    {
        RuleListModel::Row row;
        row.rule = rule;
        m_list->Model()->AppendRows({ row });
        return m_list->Model()->RowCount() - 1;
    }

    CVTRRuleBuilderDoc m_doc;
    std::unique_ptr<RuleListController> m_list;
    std::unique_ptr<RuleListDocLink> m_link;
    RecordingOwners m_owners;
    RecordingEditor m_editor;
    std::unique_ptr<RuleConfigurer> m_configurer;
};

TEST_F(ConfigureRuleTest, AModuleRuleGoesToItsEditRuleAndTheDocumentFollowsTheCheckBox)
{
    const struct
    {
        bool ticked;
        bool modified;
    } cases[] = { { false, false }, { true, true } };
    for (const auto& c : cases) {
        const int row = RowOf(QStringLiteral("TM - Wall Thickness"));
        ASSERT_GE(row, 0);
        m_list->SetChecked(row, c.ticked);
        m_doc.SetModifiedFlag(false);
        const int calls = m_editor.calls;
        ASSERT_TRUE(m_configurer->ConfigureRow(row));
        EXPECT_EQ(m_editor.calls, calls + 1);
        EXPECT_EQ(m_editor.flagWhileEditing, 1) << "set while EditRule runs";
        EXPECT_EQ(m_app->EditInProgress(), 0) << "cleared afterwards";
        EXPECT_EQ(m_doc.IsModified(), c.modified) << "ticked: " << c.ticked;
        EXPECT_EQ(m_list->Model()->CellText(row, RuleListModel::CriticalityColumn), QStringLiteral("Critical"));
    }
    EXPECT_TRUE(ReadLog().contains(QStringLiteral("Edit Rule Command Received for TM - Wall Thickness Rule")));
    EXPECT_EQ(m_owners.criticalityAsked, 0);
    EXPECT_TRUE(m_owners.launched.empty());
    EXPECT_FALSE(m_configurer->ConfigureRow(m_list->Model()->RowCount())) << "no rule, nothing happens";
}

TEST_F(ConfigureRuleTest, ATickedRuleMarksTheDocumentModifiedOnlyWhenItChanged)
{
    const struct
    {
        const char* what;
        bool changes;
        bool answers;
        bool modified;
    } cases[] = {
        { "Cancel", false, false, false },
        { "a change", true, true, true },
        // An editor's answer is not trusted alone: the rule itself tells.
        { "a change the editor does not report", true, false, true },
        { "nothing changed though the editor says so", false, true, true },
    };
    const int row = RowOf(QStringLiteral("TM - Wall Thickness"));
    ASSERT_GE(row, 0);
    m_list->SetChecked(row, true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_list->Model()->RuleAt(row)->SetCriticality(2);
        m_editor.newCriticality = 4;
        m_editor.changes = c.changes;
        m_editor.answers = c.answers;
        m_doc.SetModifiedFlag(false);
        ASSERT_TRUE(m_configurer->ConfigureRow(row));
        EXPECT_EQ(m_doc.IsModified(), c.modified);
    }
}

TEST_F(ConfigureRuleTest, UserDefinedRulesGetTheCriticalityDialogAndTheirCategoryShown)
{
    for (const char* module : { "Interactive User Defined Rule", "vsta rule" }) {
        ConcreteVTRRule rule;
        rule.SetRuleName(QStringLiteral("My Check"));
        rule.SetDisplayName(QStringLiteral("My Check"));
        rule.SetRuleModuleName(QLatin1String(module));
        rule.SetCriticality(3);
        const int row = AddRow(&rule);
        rule.SetRuleCategory(QStringLiteral("Drilling"));
        m_owners.newCriticality = 5;
        const int asked = m_owners.criticalityAsked;
        ASSERT_TRUE(m_configurer->ConfigureRow(row));
        EXPECT_EQ(m_owners.criticalityAsked, asked + 1) << module;
        EXPECT_EQ(m_editor.calls, 0) << "the module's editor is not asked";
        EXPECT_EQ(m_list->Model()->CellText(row, RuleListModel::CriticalityColumn), QStringLiteral("Insignificant"));
        EXPECT_EQ(m_list->Model()->CellText(row, RuleListModel::CategoryColumn), QStringLiteral("Drilling"));
        m_list->Model()->KeepRows([&rule](const RuleListModel::Row& r) { return r.rule != &rule; });
    }
    // A user-defined rule that is not the system's own is left alone.
    CVtrRule foreign;
    foreign.SetRuleModuleName(QStringLiteral("VSTA Rule"));
    const int asked = m_owners.criticalityAsked;
    ASSERT_TRUE(m_configurer->ConfigureRow(AddRow(&foreign)));
    EXPECT_EQ(m_owners.criticalityAsked, asked);
    m_list->Model()->KeepRows([&foreign](const RuleListModel::Row& r) { return r.rule != &foreign; });
}

TEST_F(ConfigureRuleTest, AConfiguratorRuleGoesToTheRuleCreationProgramInTheDocumentsUnits)
{
    m_doc.SetUnits(RuleUnits { 3, 3 });
    CPLQRuleConfigurator rule;
    rule.SetRuleName(QStringLiteral("Shop Hole"));
    const int row = AddRow(&rule);
    ASSERT_TRUE(m_configurer->ConfigureRow(row));
    ASSERT_EQ(m_owners.launched.size(), 1u);
    EXPECT_EQ(m_owners.launched[0].first, PLQ_RULE_EDIT_FROM_LIST);
    EXPECT_EQ(m_owners.launched[0].second, (RuleUnits { 3, 3 }));
    EXPECT_TRUE(m_owners.errors.isEmpty());
    EXPECT_EQ(m_editor.calls, 0);

    // Without the program the user is told so.
    m_owners.launchWorks = false;
    ASSERT_TRUE(m_configurer->ConfigureRow(row));
    ASSERT_EQ(m_owners.errors.size(), 1);
    EXPECT_TRUE(m_owners.errors[0].contains(QStringLiteral("not installed")));
    m_list->Model()->KeepRows([&rule](const RuleListModel::Row& r) { return r.rule != &rule; });
}

TEST_F(ConfigureRuleTest, SortAndSearchSeeANewCriticalityAtOnce)
{
    RuleListModel* model = m_list->Model();
    for (int r = 0; r < model->RowCount(); ++r)
        model->RuleAt(r)->SetCriticality(4);
    model->RefreshKeys();
    m_list->Search(QStringLiteral("low"));
    m_list->ClearSearch(); // the full row set is now kept for later searches

    const int row = RowOf(QStringLiteral("TM - Corner Radius"));
    m_editor.newCriticality = 1;
    ASSERT_TRUE(m_configurer->ConfigureRow(row));

    m_list->SortByColumn(RuleListModel::CriticalityColumn);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Corner Radius"));
    m_list->Search(QStringLiteral("critical"));
    ASSERT_EQ(model->RowCount(), 1);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Corner Radius"));

    // Changed while a search is active, then the search is cleared.
    m_editor.newCriticality = 5;
    ASSERT_TRUE(m_configurer->ConfigureRow(0));
    m_list->ClearSearch();
    m_list->Search(QStringLiteral("insignificant"));
    ASSERT_EQ(model->RowCount(), 1);
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Corner Radius"));
    m_list->ClearSearch();
    m_list->SortByColumn(RuleListModel::CriticalityColumn); // descending now
    EXPECT_EQ(model->RuleAt(0)->GetRuleName(), QStringLiteral("TM - Corner Radius"));
}

} // namespace
