// Which database module the program uses: the one VTRPRO_DATABASE_MODULE
// names, else the first registered module other than the shipped SQLite one
// that loads, else the SQLite module.

#include "TestSupport.h"

#include "VTRDataHelper.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

namespace {

QString Shipped(const char* name)
{
    return BinDir() + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".so");
}

void WriteIni(const ScopedTestEnv& env, const QByteArray& text)
{
    QFile f(env.DataSettings() + QStringLiteral("ConfigModule.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray DatabaseSection(const QStringList& paths)
{
    QByteArray text = "[RULE_CONFIGURATION_MODULES]\nmodule1=" + Shipped("VtrTestModuleu").toLocal8Bit()
        + "\n[RULE_DATABASE_MODULES]\n";
    int n = 0;
    for (const QString& p : paths)
        text += "module" + QByteArray::number(++n) + "=" + p.toLocal8Bit() + "\n";
    return text;
}

// A second copy of the SQLite module under another name: a module that is
// not the shipped one but loads and gives a collector.
QString OtherModule(const ScopedTestEnv& env)
{
    const QString path = env.Path(QStringLiteral("ShopDatabase.so"));
    EXPECT_TRUE(QFile::copy(Shipped("VtrSqliteDatabaseu"), path));
    return path;
}

struct Chosen
{
    QString path;
    bool collector = false;
};

Chosen Choose()
{
    vtr_db::LoadedDatabaseModule module = vtr_db::VTRDataHelper::LoadDatabaseModule();
    Chosen chosen { module.path, module.collector != nullptr };
    vtr_db::VTRDataHelper::UnloadDatabaseModule(module);
    return chosen;
}

TEST(DatabaseModuleChoice, RegisteredModulesReadAsTheModuleListsReadThem)
{
    ScopedTestEnv env;
    env.Set("SHOP_MODULES", QStringLiteral("/opt/shop"));
    const QString ini = env.DataSettings() + QStringLiteral("ConfigModule.ini");
    struct Case
    {
        const char* name;
        QByteArray text;
        QStringList expected;
    };
    const Case cases[] = {
        { "only the database section counts",
            "[RULE_CONFIGURATION_MODULES]\nmodule1=/r.so\n[RULE_DATABASE_MODULES]\nmodule1=/a.so\nmodule2=/b.so\n"
            "[RULE_SCRIPT_LOCATION]\nmodule3=/c.so\n",
            { "/a.so", "/b.so" } },
        { "keys in any order; a gap ends the list",
            "[RULE_DATABASE_MODULES]\nmodule2=/b.so\nmodule1=/a.so\nmodule4=/d.so\n", { "/a.so", "/b.so" } },
        { "the first of a repeated key wins", "[RULE_DATABASE_MODULES]\nmodule1=/a.so\nmodule1=/b.so\n", { "/a.so" } },
        { "commas, semicolons and backslashes stay", "[RULE_DATABASE_MODULES]\nmodule1=/x,y;z\\w.so\n",
            { "/x,y;z\\w.so" } },
        { "variables expand", "[RULE_DATABASE_MODULES]\nmodule1=%SHOP_MODULES%/pg.so\n", { "/opt/shop/pg.so" } },
        { "comments are skipped", "; shop set-up\n[RULE_DATABASE_MODULES]\n# the server\nmodule1=/a.so\n",
            { "/a.so" } },
        { "no section", "[RULE_CONFIGURATION_MODULES]\nmodule1=/r.so\n", {} },
    };
    for (const Case& c : cases) {
        WriteIni(env, c.text);
        EXPECT_EQ(vtr_db::RegisteredDatabaseModules(ini), c.expected) << c.name;
    }
    EXPECT_TRUE(vtr_db::RegisteredDatabaseModules(env.Path(QStringLiteral("missing.ini"))).isEmpty());
}

TEST(DatabaseModuleChoice, ARegisteredServerModuleIsUsedBeforeTheShippedOne)
{
    ScopedTestEnv env;
    const QString other = OtherModule(env);
    // Registered after the shipped module, as the registration adds it.
    WriteIni(env, DatabaseSection({ Shipped("VtrSqliteDatabaseu"), other }));
    const Chosen chosen = Choose();
    EXPECT_EQ(chosen.path, other);
    EXPECT_TRUE(chosen.collector);
}

TEST(DatabaseModuleChoice, ModulesThatFailFallBackToTheShippedOneWithALogLine)
{
    ScopedTestEnv env;
    const QString text = env.Path(QStringLiteral("NotALibrary.so"));
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a library\n");
    }
    const QString missing = env.Path(QStringLiteral("Missing.so"));
    // A rule module loads but has no GetDbInterface.
    const QString ruleModule = Shipped("VtrTestModuleu");
    WriteIni(env, DatabaseSection({ missing, text, ruleModule }));
    const Chosen chosen = Choose();
    EXPECT_EQ(QFileInfo(chosen.path).canonicalFilePath(), QFileInfo(Shipped("VtrSqliteDatabaseu")).canonicalFilePath());
    EXPECT_TRUE(chosen.collector);
    const QString log = ReadLog();
    for (const QString& path : { missing, text, ruleModule })
        EXPECT_TRUE(log.contains(QStringLiteral("The database module %1 is registered but not used").arg(path)))
            << path.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("does not export GetDbInterface")));

    // The first module that works is taken, whatever failed before it.
    const QString other = OtherModule(env);
    WriteIni(env, DatabaseSection({ missing, other }));
    EXPECT_EQ(Choose().path, other);
}

TEST(DatabaseModuleChoice, TheVariableOverridesTheRegistration)
{
    ScopedTestEnv env;
    const QString other = OtherModule(env);
    WriteIni(env, DatabaseSection({ other }));
    env.Set("VTRPRO_DATABASE_MODULE", Shipped("VtrSqliteDatabaseu"));
    EXPECT_EQ(Choose().path, Shipped("VtrSqliteDatabaseu"));
    // Set but empty: no database at all, not the registered one.
    env.Set("VTRPRO_DATABASE_MODULE", QString());
    const Chosen none = Choose();
    EXPECT_TRUE(none.path.isEmpty());
    EXPECT_FALSE(none.collector);
}

TEST(DatabaseModuleChoice, WithoutRegistrationTheShippedModuleIsUsed)
{
    ScopedTestEnv env;
    const Chosen chosen = Choose();
    EXPECT_TRUE(chosen.collector);
    EXPECT_EQ(QFileInfo(chosen.path).fileName(), QStringLiteral("VtrSqliteDatabaseu.so"));
}

} // namespace
