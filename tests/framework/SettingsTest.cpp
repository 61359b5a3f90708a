#include "FrameworkExports.h"
#include "PLQSettingUtil.h"
#include "VTRFrameWrkUtils.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <QFile>

namespace {
TEST(SettingsTest, DefaultsAreWrittenAndValuesRoundTrip)
{
    ScopedTestEnv env;
    EXPECT_EQ(CPLQSettingUtil::SettingsFilePath(), env.DataSettings() + QStringLiteral("PLQSettings.ini"));
    QString text;
    bool flag = true;
    EXPECT_FALSE(CPLQSettingUtil::GetSettingWStringValue(23, text));
    EXPECT_FALSE(CPLQSettingUtil::GetSettingBooleanValue(73, flag));

    EXPECT_TRUE(CPLQSettingUtil::InitializePLQSettingsFromFile());
    EXPECT_TRUE(CPLQSettingUtil::GetSettingWStringValue(23, text));
    EXPECT_EQ(text, QStringLiteral("millimeters"));
    EXPECT_TRUE(CPLQSettingUtil::GetSettingWStringValue(24, text));
    EXPECT_EQ(text, QStringLiteral("degrees"));
    EXPECT_TRUE(CPLQSettingUtil::GetSettingBooleanValue(73, flag));
    EXPECT_FALSE(flag);

    EXPECT_TRUE(CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(23), QStringLiteral("inches"))));
    EXPECT_TRUE(CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(73), true)));
    EXPECT_FALSE(CPLQSettingUtil::SetSettingValue(nullptr));
    // Initialising again keeps what was set.
    EXPECT_TRUE(CPLQSettingUtil::InitializePLQSettingsFromFile());
    EXPECT_TRUE(CPLQSettingUtil::GetSettingWStringValue(23, text));
    EXPECT_EQ(text, QStringLiteral("inches"));
    EXPECT_TRUE(CPLQSettingUtil::GetSettingBooleanValue(73, flag));
    EXPECT_TRUE(flag);
}

TEST(SettingsTest, DamagedFileGivesFalseNotACrash)
{
    ScopedTestEnv env;
    QFile f(CPLQSettingUtil::SettingsFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\0\xff[Settings\n73=maybe\n=\n[[[\n", 27));
    f.close();
    bool flag = true;
    EXPECT_FALSE(CPLQSettingUtil::GetSettingBooleanValue(73, flag));
    EXPECT_TRUE(flag);
    QString text = QStringLiteral("kept");
    EXPECT_FALSE(CPLQSettingUtil::GetSettingWStringValue(99, text));
    EXPECT_EQ(text, QStringLiteral("kept"));
}

TEST(DataSettingsFolderPathTest, BufferProtocol)
{
    ScopedTestEnv env;
    const QString expected = CVTRFrameWrkUtils::GetDataSettingsFolder();
    ASSERT_EQ(expected, env.DataSettings());
    const int32_t length = static_cast<int32_t>(expected.size());
    EXPECT_TRUE(expected.endsWith(QLatin1Char('/')));

    EXPECT_EQ(GetDataSettingsFolderPath(nullptr, nullptr), length);

    // Too small, and exactly the path without room for its terminator: the
    // length comes back and the buffer is left alone.
    for (int32_t capacity : { int32_t(1), length }) {
        std::vector<char16_t> buffer(static_cast<size_t>(length) + 8, u'#');
        int32_t cap = capacity;
        EXPECT_EQ(GetDataSettingsFolderPath(buffer.data(), &cap), length);
        EXPECT_EQ(buffer[0], u'#') << capacity;
    }

    std::vector<char16_t> buffer(static_cast<size_t>(length) + 1, u'#');
    int32_t cap = length + 1;
    EXPECT_EQ(GetDataSettingsFolderPath(buffer.data(), &cap), length);
    EXPECT_EQ(buffer[static_cast<size_t>(length)], u'\0');
    EXPECT_EQ(QString::fromUtf16(buffer.data(), length), expected);
}
} // namespace

TEST(RuleCategoryTest, NamesAreFoundCaseAsideAndOnlyWhole)
{
    const std::pair<QString, int32_t> cases[] = {
        { QStringLiteral("General"), 0 },
        { QStringLiteral("gENERAL"), 0 },
        { QStringLiteral("Sheet Metal"), 4 },
        { QStringLiteral("SHEET METAL FORMING"), 19 },
        { QStringLiteral("Sheet Meta"), -1 },
        { QStringLiteral("Sheet Metal "), -1 },
        { QStringLiteral("Drafting"), 23 },
        { QString(), -1 },
        { QStringLiteral("User Defined"), 22 },
        // Beyond ASCII: a text lowers as a whole, and the Kelvin sign lowers to "k".
        { QString::fromUtf8("Manual Chec\u212a"), 17 },
        { QString::fromUtf8("G\u00e9n\u00e9ral"), -1 },
    };
    for (const auto& [text, index] : cases)
        EXPECT_EQ(CVTRFrameWrkUtils::GetRuleCategoryIndex(text), index) << text.toStdString();
}
