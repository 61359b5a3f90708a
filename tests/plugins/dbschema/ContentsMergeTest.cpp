// Planning a merge of one database's contents into another, without any
// database: what is added, which help ids rules get, and what is reported.

#include "ChangeLogText.h"
#include "ContentsMerge.h"

#include <gtest/gtest.h>

namespace {

using vtr_db::DatabaseContents;
using vtr_db::ProductTable;

vtr_db::ProductRow Row(ProductTable table, std::initializer_list<std::pair<const char*, QVariant>> values)
{
    vtr_db::ProductRow row;
    row.id = 9;
    row.values.resize(static_cast<qsizetype>(vtr_db::ProductColumns(table).size()));
    for (const auto& [column, value] : values)
        row.values[vtr_db::ProductColumnIndex(table, column)] = value;
    return row;
}

QList<vtr_db::ProductRow>& Products(DatabaseContents& c, ProductTable table)
{
    return c.products[static_cast<size_t>(table)];
}

TEST(ContentsMerge, RulesKeepFreeHelpIdsAndTakeNewOnesWithTheirMessages)
{
    DatabaseContents target;
    target.rules = { { "Mill", "Slot", "Milling", "<slot/>", 1000000, 1 },
        { "Mill", "Pocket", "Milling", "<pocket/>", 1000001, 1 } };
    target.messages = { { 1000001, "Pocket", "Milling", "pocket here" } };
    DatabaseContents source;
    source.rules = {
        { "Mill", "SLOT", "milling", "<slot/>", 1000005, 2 }, // present (case ignored), same element
        { "Mill", "Bore", "Milling", "<bore/>", 1000001, 3 }, // its help id is taken here
        { "Turn", "Groove", "Turning", "<groove/>", 1000009, 4 }, // its help id is free
        { "Mill", "Pocket", "Milling", "<other/>", 1000002, 1 }, // present, differs
    };
    source.messages = { { 1000005, "SLOT", "milling", "slot there" }, { 1000001, "Bore", "Milling", "bore there" },
        { 1000009, "Groove", "Turning", "groove there" } };
    const vtr_db::MergePlan plan = vtr_db::PlanMerge(target, source, 1000002);

    ASSERT_EQ(plan.add.rules.size(), 2);
    EXPECT_EQ(plan.add.rules[0].name, QStringLiteral("Bore"));
    EXPECT_EQ(plan.add.rules[0].helpId, 1000002) << "the next id of the counter";
    EXPECT_EQ(plan.add.rules[1].helpId, 1000009);
    EXPECT_EQ(plan.nextHelpId, 1000010);

    // Messages follow their rules: Bore's to its new id, Slot's to the id
    // the target gave Slot.
    QStringList added;
    for (const vtr_db::CustomMessageRecord& m : plan.add.messages)
        added << QStringLiteral("%1 %2").arg(m.helpId).arg(m.message);
    EXPECT_EQ(added, (QStringList { "1000000 slot there", "1000002 bore there", "1000009 groove there" }));
    ASSERT_EQ(plan.differing.size(), 1);
    EXPECT_TRUE(plan.differing[0].contains(QLatin1String("Pocket"))) << qPrintable(plan.differing[0]);
}

TEST(ContentsMerge, MessagesProductsAndLogAreMatchedByTheirIdentities)
{
    DatabaseContents target;
    target.messages = { { 20001, "Wall", "General", "ours" }, { 20002, "Rib", "General", "same" } };
    Products(target, ProductTable::Threads) = { Row(ProductTable::Threads,
        { { "Standard", "ISO metric" }, { "Designation", "M6x1" }, { "MajorDiameter", 6.0 }, { "Pitch", 1.0 },
            { "TapDrill", 5.0 } }) };
    Products(target, ProductTable::Materials) = { Row(ProductTable::Materials, { { "Name", "Steel" } }) };
    Products(target, ProductTable::Fasteners)
        = { Row(ProductTable::Fasteners, { { "Type", "Screw" }, { "Size", "M6" } }) };
    const vtr_db::ChangeRecord logged { 1, "2026-12-01T10:00:00Z", "ann", "ws1", vtr_db::kChangeMessage, "k", "", "v" };
    target.changes = { logged };

    DatabaseContents source;
    source.messages = { { 20001, "Wall", "General", "theirs" }, { 20002, "Rib", "General", "same" },
        { 20003, "Boss", "General", "new" }, { 20004, "Gone", "General", "" } };
    Products(source, ProductTable::Threads) = {
        Row(ProductTable::Threads,
            { { "Standard", "ISO metric" }, { "Designation", "m6X1" }, { "MajorDiameter", 6.0 }, { "Pitch", 1.0 },
                { "TapDrill", 5.1 } }), // differs
        Row(ProductTable::Threads,
            { { "Standard", "ISO metric" }, { "Designation", "M7x1" }, { "MajorDiameter", 7.0 }, { "Pitch", 1.0 },
                { "TapDrill", 6.0 } }), // new
    };
    Products(source, ProductTable::Materials) = { Row(ProductTable::Materials, { { "Name", "STEEL" } }) };
    Products(source, ProductTable::Fasteners) = {
        Row(ProductTable::Fasteners, { { "Type", "Screw" }, { "Size", "M6" } }), // the same
        Row(ProductTable::Fasteners, { { "Type", "Screw" }, { "Size", "M8" } }), // another
    };
    vtr_db::ChangeRecord copyOfLogged = logged;
    copyOfLogged.id = 77; // ids differ between databases
    vtr_db::ChangeRecord other = logged;
    other.user = QStringLiteral("bob");
    source.changes = { copyOfLogged, other };

    const vtr_db::MergePlan plan = vtr_db::PlanMerge(target, source, 1000000);
    ASSERT_EQ(plan.add.messages.size(), 1);
    EXPECT_EQ(plan.add.messages[0].ruleName, QStringLiteral("Boss"));
    ASSERT_EQ(plan.add.products[static_cast<size_t>(ProductTable::Threads)].size(), 1);
    EXPECT_EQ(plan.add.products[static_cast<size_t>(ProductTable::Threads)][0].id, 0) << "added rows get new ids";
    EXPECT_TRUE(plan.add.products[static_cast<size_t>(ProductTable::Materials)].isEmpty());
    ASSERT_EQ(plan.add.products[static_cast<size_t>(ProductTable::Fasteners)].size(), 1);
    ASSERT_EQ(plan.add.changes.size(), 1);
    EXPECT_EQ(plan.add.changes[0].user, QStringLiteral("bob"));
    // Wall's message and M6's tap drill differ; Steel does not (case ignored).
    ASSERT_EQ(plan.differing.size(), 2) << qPrintable(plan.differing.join(QLatin1Char('\n')));
    EXPECT_TRUE(plan.differing[0].contains(QLatin1String("Wall")));
    EXPECT_TRUE(plan.differing[1].contains(QLatin1String("Threads 9")));
}

TEST(ContentsMerge, MergingIntoAnEmptyDatabaseAddsEverythingOnce)
{
    DatabaseContents source;
    source.rules = { { "Mill", "Slot", "Milling", "<a/>", 1000003, 1 },
        { "Mill", "slot", "MILLING", "<b/>", 1000004, 1 } }; // kept twice before the unique key
    source.messages = { { 5, "A", "G", "a" }, { 5, "A", "G", "a" } };
    const vtr_db::MergePlan plan = vtr_db::PlanMerge({}, source, vtr_db::kFirstStoredRuleHelpId);
    ASSERT_EQ(plan.add.rules.size(), 1);
    EXPECT_EQ(plan.add.rules[0].element, QStringLiteral("<a/>"));
    EXPECT_EQ(plan.add.messages.size(), 1);
    EXPECT_TRUE(plan.differing.isEmpty());
    EXPECT_EQ(plan.nextHelpId, 1000004);
}

} // namespace
