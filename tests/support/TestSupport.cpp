#include "TestSupport.h"

#include "VtrProLog.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

ScopedTestEnv::ScopedTestEnv()
{
    QDir().mkpath(DataSettings());
    QDir().mkpath(AppData());
    Set("VTRPRO_DATA_SETTINGS_DIR", DataSettings());
    Set("APPDATA", AppData());
    Set("VTR_PRO_DATABASE_DIR", Path(QStringLiteral("database")));
    Set("VTRPRO_MACHINE_ENVIRONMENT_FILE", Path(QStringLiteral("environment")));
}

ScopedTestEnv::~ScopedTestEnv()
{
    CVtrProLog::Flush();
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->second.first)
            qputenv(it->first.constData(), it->second.second);
        else
            qunsetenv(it->first.constData());
    }
}

void ScopedTestEnv::Set(const char* name, const QString& value)
{
    m_saved.push_back({ QByteArray(name), { qEnvironmentVariableIsSet(name), qgetenv(name) } });
    qputenv(name, value.toLocal8Bit());
}

ScriptedMessages::ScriptedMessages()
{
    SetMessageService(this);
}

ScriptedMessages::~ScriptedMessages()
{
    SetMessageService(nullptr);
}

MsgAnswer ScriptedMessages::Show(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    shown.push_back({ text, caption, icon, buttons });
    if (onShow)
        onShow(shown.back());
    if (!m_answers.empty()) {
        MsgAnswer a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::Yes;
    default:
        return MsgAnswer::Ok;
    }
}

ScriptedFileDialogs::ScriptedFileDialogs()
{
    SetFileDialogService(this);
}

ScriptedFileDialogs::~ScriptedFileDialogs()
{
    SetFileDialogService(nullptr);
}

int ScriptedFileDialogs::AskPath(bool open, const QString&, const QString& title, const QString&,
    const QString& initialName, unsigned flags, const QString& filter, QString& chosen)
{
    asked.push_back({ open, title, initialName, flags, filter });
    chosen.clear();
    if (m_answers.empty())
        return 2;
    chosen = m_answers.front();
    m_answers.pop_front();
    return chosen.isEmpty() ? 2 : 1;
}

QString BinDir()
{
    return QStringLiteral(VTRPRO_BIN_DIR);
}

QString TestData(const QString& name)
{
    return QStringLiteral(VTRPRO_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

QString ReadLog()
{
    CVtrProLog::Flush();
    QFile f(CVtrProLog::LogFilePath());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

ToolRun RunTool(const QStringList& args, const QString& dataSettingsFolder)
{
    const QString tool = BinDir() + QStringLiteral("/vtrpro-rules");
    EXPECT_TRUE(QFileInfo::exists(tool)) << "build the vtrpro-rules target first";
    QProcess process;
    if (!dataSettingsFolder.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("VTRPRO_DATA_SETTINGS_DIR"), dataSettingsFolder);
        process.setProcessEnvironment(e);
    }
    process.start(tool, args);
    // Generous: a sanitized build loading every module is slow on a busy machine.
    EXPECT_TRUE(process.waitForFinished(300000)) << "vtrpro-rules " << args.join(QLatin1Char(' ')).toStdString();
    ToolRun run;
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
