// Yes/no parameter values as the parameter editor and the rule-creation
// program both read them.

#include "Utilities/YesNo.h"

#include <gtest/gtest.h>

TEST(YesNo, AcceptsTheWordsUsersTypeAndNormalizesThem)
{
    const struct
    {
        const char* text;
        const char* normalized;
    } cases[] = {
        { "1", "1" },
        { "true", "1" },
        { "Yes", "1" },
        { "  TRUE\t", "1" },
        { "0", "0" },
        { "false", "0" },
        { "NO", "0" },
        { " no ", "0" },
    };
    for (const auto& c : cases) {
        QString normalized = QStringLiteral("untouched");
        EXPECT_TRUE(ParseYesNo(QString::fromUtf8(c.text), normalized)) << c.text;
        EXPECT_EQ(normalized, QString::fromUtf8(c.normalized)) << c.text;
    }
}

TEST(YesNo, RefusesEverythingElseAndLeavesTheResultAlone)
{
    for (const char* text : { "", " ", "2", "-1", "y", "n", "on", "off", "yes please", "1.0", "ja" }) {
        QString normalized = QStringLiteral("untouched");
        EXPECT_FALSE(ParseYesNo(QString::fromUtf8(text), normalized)) << text;
        EXPECT_EQ(normalized, QStringLiteral("untouched")) << text;
    }
}
