// The rule-creation program component, reached by name beside the program.

#include "TestSupport.h"

#include "PLQRuleConfigurator.h"
#include "userrules/RuleCreationBridge.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace {

TEST(RuleCreationBridgeTest, TheLibraryIsLookedForBesideTheProgram)
{
    EXPECT_EQ(QFileInfo(RuleCreationBridge::LibraryPath()).fileName(), QStringLiteral("PLQRuleCreationGUIBridge.so"));
}

TEST(RuleCreationBridgeTest, AMissingLibraryOrExportIsReportedByName)
{
    ScopedTestEnv env;
    CPLQRuleConfigurator rule;
    CPLQRuleCreationData data(&rule, PLQ_RULE_EDIT_FROM_LIST);
    QString error;
    const QString missing = env.Path(QStringLiteral("PLQRuleCreationGUIBridge.so"));
    EXPECT_FALSE(RuleCreationBridge::LaunchFrom(missing, nullptr, QString(), QString(), &data, error));
    EXPECT_TRUE(error.contains(QStringLiteral("PLQRuleCreationGUIBridge.so is missing"))) << error.toStdString();

    // A library that loads but is not the rule-creation program.
    const QString other = BinDir() + QStringLiteral("/VtrTestModuleu.so");
    if (!QFileInfo::exists(other))
        GTEST_SKIP() << "the test module is not built";
    error.clear();
    EXPECT_FALSE(RuleCreationBridge::LaunchFrom(other, nullptr, QString(), QString(), &data, error));
    EXPECT_TRUE(error.contains(QStringLiteral("has no entry LaunchRuleCreationGUI"))) << error.toStdString();
}

} // namespace
