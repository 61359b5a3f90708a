#include "TestSupport.h"

#include "VtrLibrary.h"
#include "modules/ModuleContract.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

QString ReadUsageLog(const ScopedTestEnv& env)
{
    QFile f(env.DataSettings() + QStringLiteral("UsageEvents.log"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

TEST(UsageCollector, EachEventAppendsOneLine)
{
    ScopedTestEnv env;
    void* library = VtrLibrary::Load(BinDir() + QStringLiteral("/PLQUsageDataCollector.so"));
    ASSERT_TRUE(library) << qPrintable(VtrLibrary::LastError());
    auto track = reinterpret_cast<PFN_PLQTrackEvent>(VtrLibrary::Find(library, "PLQTrackEvent"));
    ASSERT_TRUE(track);

    const QString empty;
    const QString successful = QStringLiteral("Successful");
    const QString awkward = QStringLiteral("Rule\twith\nbreaks \\ and ünïcode");
    track(-1, 0, &empty);
    track(41, 11, &successful);
    track(37, 11, &awkward);
    track(4, 5, nullptr);
    EXPECT_EQ(ReadUsageLog(env),
        QStringLiteral("-1\t0\t\n"
                       "41\t11\tSuccessful\n"
                       "37\t11\tRule\\twith\\nbreaks \\\\ and ünïcode\n"
                       "4\t5\t\n"));
    // A later run appends to what is there.
    track(-1, 1, &empty);
    EXPECT_TRUE(ReadUsageLog(env).startsWith(QStringLiteral("-1\t0\t\n41\t11")));
    EXPECT_TRUE(ReadUsageLog(env).endsWith(QStringLiteral("4\t5\t\n-1\t1\t\n")));
    VtrLibrary::Free(library);
}

TEST(UsageCollector, UnwritableFolderDropsTheEventQuietly)
{
    ScopedTestEnv env;
    QFile blocker(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    env.Set("VTRPRO_DATA_SETTINGS_DIR", env.Path(QStringLiteral("blocker/settings")));
    void* library = VtrLibrary::Load(BinDir() + QStringLiteral("/PLQUsageDataCollector.so"));
    ASSERT_TRUE(library);
    auto track = reinterpret_cast<PFN_PLQTrackEvent>(VtrLibrary::Find(library, "PLQTrackEvent"));
    ASSERT_TRUE(track);
    const QString text = QStringLiteral("Successful");
    track(32, 11, &text);
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("blocker/settings/UsageEvents.log"))));
    VtrLibrary::Free(library);
}

// Every plug-in of the product family built here offers the exports the
// program looks up by name.
TEST(ProductPlugins, OfferTheirExports)
{
    struct Case
    {
        const char* library;
        std::vector<const char*> exports;
    } cases[] = {
        { "VtrSqliteDatabaseu.so", { "GetDbInterface", "DeleteDbInterface" } },
        { "PLQRuleConfiguratoru.so",
            { "GetRule", "GetModuleRules", "DeleteRule", "SetXMLDoc", "SetDBModuleList", "GetModuleName" } },
        { "PLQUsageDataCollector.so", { "PLQTrackEvent" } },
    };
    for (const Case& c : cases) {
        void* library = VtrLibrary::Load(BinDir() + QLatin1Char('/') + QLatin1String(c.library));
        ASSERT_TRUE(library) << c.library << ": " << qPrintable(VtrLibrary::LastError());
        for (const char* name : c.exports)
            EXPECT_NE(VtrLibrary::Find(library, name), nullptr) << c.library << " lacks " << name;
        VtrLibrary::Free(library);
    }
}

} // namespace
