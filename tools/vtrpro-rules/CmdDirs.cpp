// dirs: prints the script-rule, database and manual-checklist folders, and
// sets them with the checks of the "Application Directories" dialog.

#include "CliContext.h"
#include "Commands.h"
#include "ExitCodes.h"
#include "OutputFormat.h"

#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "VtrRegularFile.h"
#include "VTRFrameWrkUtils.h"
#include "modules/ModuleLists.h"
#include "settings/ApplicationDirectories.h"
#include "settings/MachineEnvironment.h"

#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

namespace {
struct Arguments
{
    std::optional<QString> script;
    std::optional<QString> database;
    std::optional<QString> manualChecks;
    bool create = false;
    bool json = false;
};

// What the declaration cannot check: which options go together.
bool Check(const Arguments& out, QString& error)
{
    const bool setting = out.script || out.database || out.manualChecks;
    if (out.json && setting) {
        error = QStringLiteral("--format only goes with printing the folders");
        return false;
    }
    if (out.create && !setting) {
        error = QStringLiteral("--create goes with --script, --database or --manual-checks");
        return false;
    }
    return true;
}

// The dialog's messages on standard error; the question whether to create a
// missing folder is answered by --create.
class CliMessages : public IMessageService
{
public:
    explicit CliMessages(bool create)
        : m_create(create)
    {
        SetMessageService(this);
    }
    ~CliMessages() override { SetMessageService(nullptr); }
    CliMessages(const CliMessages&) = delete;
    CliMessages& operator=(const CliMessages&) = delete;

    MsgAnswer Show(const QString& text, const QString&, MsgIcon, MsgButtons buttons) override
    {
        if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) {
            std::fprintf(stderr, "vtrpro-rules dirs: %s %s\n", qUtf8Printable(text),
                m_create ? "Yes (--create)." : "No (add --create to create it).");
            return m_create ? MsgAnswer::Yes : MsgAnswer::No;
        }
        std::fprintf(stderr, "vtrpro-rules dirs: %s\n", qUtf8Printable(text));
        return MsgAnswer::Ok;
    }

private:
    bool m_create;
};

// A variable's value in this process; null when unset.
QJsonValue JsonValueOf(const char* variable)
{
    return qEnvironmentVariableIsSet(variable) ? QJsonValue(qEnvironmentVariable(variable)) : QJsonValue();
}

// This process took its variables when the session started; a value written
// since reaches sessions started later.
void NoteMachineValue(const char* variable)
{
    const std::optional<QString> machine = MachineEnvironment::Value(QLatin1String(variable));
    const std::optional<QString> process
        = qEnvironmentVariableIsSet(variable) ? std::optional<QString>(qEnvironmentVariable(variable)) : std::nullopt;
    if (!machine || machine == process)
        return;
    std::fprintf(stderr,
        "vtrpro-rules dirs: note: the machine environment (%s) sets %s to \"%s\"; this session has \"%s\" until "
        "it starts again\n",
        qUtf8Printable(MachineEnvironment::FilePath()), variable, qUtf8Printable(machine.value_or(QString())),
        qUtf8Printable(process.value_or(QString())));
}

int Print(bool json)
{
    const QString script = GetScriptDirectory();
    if (json) {
        OutputFormat::PrintJson(QJsonObject { { QStringLiteral("script"), script },
            { QStringLiteral("database"), JsonValueOf(AppDirectories::kDatabaseVariable) },
            { QStringLiteral("manualChecks"), JsonValueOf(AppDirectories::kManualChecksVariable) } });
    } else {
        std::printf("script: %s\ndatabase: %s\nmanual-checks: %s\n", qUtf8Printable(script),
            qUtf8Printable(AppDirectories::ProcessValue(AppDirectories::kDatabaseVariable)),
            qUtf8Printable(AppDirectories::ProcessValue(AppDirectories::kManualChecksVariable)));
        std::fflush(stdout);
    }
    NoteMachineValue(AppDirectories::kDatabaseVariable);
    NoteMachineValue(AppDirectories::kManualChecksVariable);
    return ExitCode::kDone;
}

// A variable needs writing when the value differs from this process's or
// from the machine environment's: this process may be older than the file.
bool VariableDiffers(const char* variable, const QString& value)
{
    return value != AppDirectories::ProcessValue(variable)
        || value != MachineEnvironment::Value(QLatin1String(variable)).value_or(QString());
}

// Whether "ConfigModule.ini" can take the script-rule folder now: it reads
// when it is there, and a file can be written beside it (it is replaced).
bool CanStoreScriptDirectory(QString& why)
{
    const QString path = GetConfigModuleIniPath();
    if (QFileInfo::exists(path)) {
        // Not opened unless it is a regular file: a FIFO would wait for a writer.
        QString kind;
        if (!VtrIsRegularFile(path, &kind)) {
            why = QStringLiteral("%1 is %2").arg(path, kind);
            return false;
        }
        QFile existing(path);
        if (!existing.open(QIODevice::ReadOnly)) {
            why = QStringLiteral("%1 cannot be read: %2").arg(path, existing.errorString());
            return false;
        }
    }
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        why = QStringLiteral("%1 cannot be written: %2").arg(path, probe.errorString());
        return false;
    }
    probe.cancelWriting();
    return true;
}

int Set(const Arguments& a)
{
    CliMessages messages(a.create);
    const QString current = GetScriptDirectory();
    const bool scriptChanges = a.script && *a.script != current;
    const bool databaseChanges = a.database && VariableDiffers(AppDirectories::kDatabaseVariable, *a.database);
    const bool checksChange = a.manualChecks && VariableDiffers(AppDirectories::kManualChecksVariable, *a.manualChecks);
    // All or nothing: both variables go into the machine environment in one
    // replacement of its file, and each place is checked before any is
    // written (or a folder created).
    std::vector<std::pair<QString, QString>> variables;
    if (databaseChanges)
        variables.emplace_back(QLatin1String(AppDirectories::kDatabaseVariable), *a.database);
    if (checksChange)
        variables.emplace_back(QLatin1String(AppDirectories::kManualChecksVariable), *a.manualChecks);
    QString why;
    const auto environmentRefused = [&why] {
        ShowMessage(VtrString(61698), QString(), MsgIcon::Error);
        std::fprintf(stderr, "vtrpro-rules dirs: %s; nothing was changed\n", qUtf8Printable(why));
        return ExitCode::kRefused;
    };
    if (!variables.empty() && !MachineEnvironment::CanWrite(&why))
        return environmentRefused();
    if (scriptChanges && !CanStoreScriptDirectory(why)) {
        std::fprintf(stderr, "vtrpro-rules dirs: the script-rule folder cannot be stored: %s; nothing was changed\n",
            qUtf8Printable(why));
        return ExitCode::kRefused;
    }
    // Every folder is checked before anything is written, so a refused one
    // leaves all three as they were. An empty manual-checklist folder
    // removes the variable.
    if ((scriptChanges && !IsAccepted(ValidateFolder(*a.script)))
        || (databaseChanges && !IsAccepted(ValidateFolder(*a.database)))
        || (checksChange && !a.manualChecks->isEmpty() && !IsAccepted(ValidateFolder(*a.manualChecks))))
        return ExitCode::kRefused;

    // What the file held, to put back should the script-rule folder still fail.
    std::vector<std::pair<QString, QString>> before;
    for (const auto& [name, value] : variables)
        before.emplace_back(name, MachineEnvironment::Value(name).value_or(QString()));
    if (!variables.empty() && !SetMachineEnvironmentValues(variables, &why))
        return environmentRefused();
    if (scriptChanges && !StoreScriptDirectory(*a.script)) {
        QString undoWhy;
        const bool undone = variables.empty() || SetMachineEnvironmentValues(before, &undoWhy);
        std::fprintf(stderr, "vtrpro-rules dirs: the script-rule folder could not be stored in %s; %s\n",
            qUtf8Printable(GetConfigModuleIniPath()),
            undone ? "nothing was changed"
                   : qUtf8Printable(QStringLiteral("the machine environment could not be put back: ") + undoWhy));
        return ExitCode::kRefused;
    }
    Print(false);
    return ExitCode::kDone;
}

int RunDirs(const Arguments& a)
{
    QString reason;
    if (!CliContext::EnsureWritableFolder(CVTRFrameWrkUtils::GetDataSettingsFolder(), reason)) {
        std::fprintf(stderr, "vtrpro-rules: the data-settings folder cannot be used: %s\n", qUtf8Printable(reason));
        return ExitCode::kRefused;
    }
    if (!a.script && !a.database && !a.manualChecks)
        return Print(a.json);
    return Set(a);
}
} // namespace

void DeclareDirs(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* sub = root.add_subcommand("dirs", "print or set the script-rule, database and manual-checklist folders");
    auto a = std::make_shared<Arguments>();
    auto folders = std::make_shared<std::array<std::string, 3>>();
    sub->add_option("--script", (*folders)[0], "the script-rule folder")->type_name("DIR");
    sub->add_option("--database", (*folders)[1], "the product database's folder")->type_name("DIR");
    sub->add_option("--manual-checks", (*folders)[2], "the manual-checklist folder (\"\" removes the variable)")
        ->type_name("DIR");
    sub->add_flag("--create", a->create, "create a folder that does not exist (one level)");
    CommandLine::AddFormat(*sub, a->json);
    out.push_back({ sub, [sub, a, folders] {
                       const char* names[] = { "--script", "--database", "--manual-checks" };
                       std::optional<QString>* into[] = { &a->script, &a->database, &a->manualChecks };
                       for (size_t i = 0; i < 3; ++i)
                           if (sub->count(names[i]))
                               *into[i] = CommandLine::Text((*folders)[i]);
                       QString error;
                       if (!Check(*a, error))
                           return CommandLine::UsageError(*sub, error);
                       return RunDirs(*a);
                   } });
}
