#pragma once

#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"

#include <deque>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Points every folder the program uses at a fresh temporary folder for the
// life of the object, and restores the environment afterwards.
class ScopedTestEnv
{
public:
    ScopedTestEnv();
    ~ScopedTestEnv();
    // Root of the temporary folder.
    QString Root() const { return m_dir.path(); }
    // The data-settings folder (ends with "/").
    QString DataSettings() const { return m_dir.path() + QStringLiteral("/settings/"); }
    // APPDATA.
    QString AppData() const { return m_dir.path() + QStringLiteral("/appdata"); }
    // A path inside the temporary folder.
    QString Path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }
    // Sets a variable for the life of the object.
    void Set(const char* name, const QString& value);

private:
    QTemporaryDir m_dir;
    std::vector<std::pair<QByteArray, std::pair<bool, QByteArray>>> m_saved;
};

// A message service that records every message and returns prepared answers
// (Ok / Yes for anything not prepared, unless a default is set).
class ScriptedMessages : public IMessageService
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        MsgIcon icon;
        MsgButtons buttons;
    };
    ScriptedMessages();
    ~ScriptedMessages() override;
    MsgAnswer Show(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
    // Queues the answer to the next question.
    void Answer(MsgAnswer answer) { m_answers.push_back(answer); }
    std::vector<Shown> shown;
    // Called with each message as it is shown, to look at the state of things at that moment.
    std::function<void(const Shown&)> onShow;

private:
    std::deque<MsgAnswer> m_answers;
};

// A file-dialog service that returns prepared paths (Cancel when none is left)
// and records what it was asked.
class ScriptedFileDialogs : public IFileDialogService
{
public:
    struct Asked
    {
        bool open;
        QString title;
        QString initialName;
        unsigned flags;
        QString filter;
    };
    ScriptedFileDialogs();
    ~ScriptedFileDialogs() override;
    int AskPath(bool open, const QString& initialFolder, const QString& title, const QString& defaultExtension,
        const QString& initialName, unsigned flags, const QString& filter, QString& chosen) override;
    // Queues a path (an empty path means Cancel).
    void Answer(const QString& path) { m_answers.push_back(path); }
    std::vector<Asked> asked;

private:
    std::deque<QString> m_answers;
};

// The folder that holds the built executables and plug-ins.
QString BinDir();
// A file of tests/data.
QString TestData(const QString& name);
// Reads the shared log (flushed first).
QString ReadLog();

// What a run of the command-line tool gave.
struct ToolRun
{
    // The exit code; -1 when the tool crashed or did not end in time.
    int code = -1;
    QString out;
    QString err;
};
// Runs vtrpro-rules from the bin folder with the arguments and waits for it
// to end (a failed expectation when it does not). With dataSettingsFolder,
// the tool uses that data-settings folder instead of the environment's.
ToolRun RunTool(const QStringList& args, const QString& dataSettingsFolder = {});
