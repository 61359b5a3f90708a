// The rule-creation program component, reached by name beside the program.

#include "TestSupport.h"

#include "PLQRuleConfigurator.h"
#include "userrules/RuleCreationBridge.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace {

TEST(RuleCreationBridgeTest, AMissingLibraryIsReportedByName)
{
    if (QFileInfo::exists(RuleCreationBridge::LibraryPath()))
        GTEST_SKIP() << "the rule-creation program is installed";
    CPLQRuleConfigurator rule;
    CPLQRuleCreationData data(&rule, PLQ_RULE_EDIT_FROM_LIST);
    QString error;
    EXPECT_FALSE(RuleCreationBridge::Launch(nullptr, QString(), QString(), &data, error));
    EXPECT_TRUE(error.contains(QStringLiteral("PLQRuleCreationGUIBridge.so is missing"))) << error.toStdString();
}

} // namespace
