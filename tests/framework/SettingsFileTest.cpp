// Settings files in the hands of QSettings: a FIFO, device or folder where the
// file belongs is never opened nor written over; the settings then live in
// memory for the session.

#include "PLQSettingUtil.h"
#include "VtrProLog.h"
#include "VtrSettingsFile.h"

#include "HostileFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {
TEST(SettingsFile, ARegularOrMissingFileIsReadAndWritten)
{
    ScopedTestEnv env;
    const QString path = env.Path(QStringLiteral("profile.ini"));
    {
        const auto s = VtrOpenSettingsFile(path);
        s->setValue(QStringLiteral("Frame/Width"), 900);
        s->sync();
        EXPECT_EQ(s->status(), QSettings::NoError);
    }
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(VtrOpenSettingsFile(path)->value(QStringLiteral("Frame/Width")).toInt(), 900);
}

TEST(SettingsFile, WhatIsNotARegularFileIsLeftAloneAndTheSettingsLiveInMemory)
{
    ScopedTestEnv env;
    const QString fifo = env.Path(QStringLiteral("fifo.ini"));
    ASSERT_TRUE(MakeFifo(fifo));
    const QString folder = env.Path(QStringLiteral("folder.ini"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& path : { fifo, folder }) {
        SCOPED_TRACE(qPrintable(path));
        FifoWatchdog watchdog(fifo);
        for (int round = 0; round < 2; ++round) {
            const auto s = VtrOpenSettingsFile(path);
            EXPECT_TRUE(s->allKeys().isEmpty());
            s->setValue(QStringLiteral("Frame/Width"), 900);
            EXPECT_EQ(s->value(QStringLiteral("Frame/Width")).toInt(), 900);
            s->sync();
            EXPECT_EQ(s->status(), QSettings::AccessError);
        }
        EXPECT_FALSE(watchdog.Finish()) << "something waited to read the FIFO";
    }
    EXPECT_TRUE(QFileInfo(fifo).exists());
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    // One line for each path, however often it is met.
    const QString log = ReadLog();
    EXPECT_EQ(log.count(QStringLiteral("Settings file ") + fifo + QStringLiteral(" not used: ")), 1) << qPrintable(log);
    EXPECT_EQ(log.count(QStringLiteral("Settings file ") + folder + QStringLiteral(" not used: ")), 1);
    EXPECT_TRUE(log.contains(QStringLiteral("a FIFO")));
}

TEST(SettingsFile, UserSettingsOverAFifoAreRefusedWithoutWaiting)
{
    ScopedTestEnv env;
    ASSERT_TRUE(MakeFifo(CPLQSettingUtil::SettingsFilePath()));
    FifoWatchdog watchdog(CPLQSettingUtil::SettingsFilePath());
    QString text;
    EXPECT_FALSE(CPLQSettingUtil::InitializePLQSettingsFromFile());
    EXPECT_FALSE(CPLQSettingUtil::GetSettingWStringValue(23, text));
    EXPECT_FALSE(
        CPLQSettingUtil::SetSettingValue(std::make_shared<plq::Value>(uint16_t(23), QStringLiteral("inches"))));
    EXPECT_FALSE(watchdog.Finish()) << "something waited to read the FIFO";
    EXPECT_FALSE(QFileInfo(CPLQSettingUtil::SettingsFilePath()).isFile());
}

TEST(SettingsFile, TheUserProfileIsWhereQSettingsKeepsItAndGuardedToo)
{
    ScopedTestEnv env;
    env.Set("XDG_CONFIG_HOME", env.Path(QStringLiteral("config")));
    const QString organization = QStringLiteral("VTRPro");
    const QString application = QStringLiteral("Local AppWizard-Generated Applications");
    const QStringList files = VtrUserProfileFiles(organization, application);
    ASSERT_GE(files.size(), 2);
    EXPECT_EQ(files.first(), QSettings(organization, application).fileName());
    EXPECT_EQ(VtrOpenUserProfile(organization, application)->fileName(), files.first());

    ASSERT_TRUE(QDir().mkpath(QFileInfo(files.first()).absolutePath()));
    ASSERT_TRUE(MakeFifo(files.first()));
    FifoWatchdog watchdog(files.first());
    const auto profile = VtrOpenUserProfile(organization, application);
    profile->setValue(QStringLiteral("Frame/Width"), 900);
    profile->sync();
    EXPECT_EQ(profile->status(), QSettings::AccessError);
    EXPECT_FALSE(watchdog.Finish()) << "something waited to read the FIFO";
    EXPECT_FALSE(QFileInfo(files.first()).isFile());
}
} // namespace
