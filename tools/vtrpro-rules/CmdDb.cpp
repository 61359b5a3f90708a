// db connect / status / log / copy: the product database a seat uses, the
// shop's server it connects to, its change log, and moving a seat's SQLite
// data onto the server.

#include "Commands.h"
#include "ExitCodes.h"
#include "OutputFormat.h"

#include "ChangeLogText.h"
#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrDatabaseServer.h"
#include "VtrLibrary.h"
#include "settings/DatabaseServerText.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {
const char kServerModule[] = "VtrPostgresDatabaseu";
const char kFileModule[] = "VtrSqliteDatabaseu";

// What the user asked for, or the server in force, scrubbed of passwords.
QString Safe(const QString& text, const QString& connection = {})
{
    using DatabaseServerText::Scrubbed;
    return Scrubbed(Scrubbed(text, connection), vtr_db::DatabaseServer());
}

int Refuse(const QString& message, const QString& connection = {})
{
    std::fprintf(stderr, "vtrpro-rules db: %s\n", qUtf8Printable(Safe(message, connection)));
    return ExitCode::kRefused;
}

// A database module of the program folder, loaded for this command only.
class Module
{
public:
    Module() = default;
    ~Module()
    {
        if (m_module.collector)
            m_module.collector->Release();
        vtr_db::VTRDataHelper::UnloadDatabaseModule(m_module);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // Loads the module of that base name; false with the reason.
    bool Load(const char* baseName, QString& why)
    {
        const QString path = CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + QLatin1String(baseName)
            + QLatin1String(VtrLibrary::kSuffix);
        void* library = VtrLibrary::Load(path);
        if (!library) {
            // The loader's reason usually names the file already.
            const QString reason = VtrLibrary::LastError();
            why = reason.contains(path)
                ? QStringLiteral("the database module cannot be loaded: %1").arg(reason)
                : QStringLiteral("the database module %1 cannot be loaded: %2").arg(path, reason);
            return false;
        }
        auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(library, "GetDbInterface"));
        vtr_db::IDatabaseCollector* collector = get ? get() : nullptr;
        if (!collector) {
            VtrLibrary::Free(library);
            why = QStringLiteral("%1 gives no database collector").arg(path);
            return false;
        }
        m_module = { path, library, collector };
        return true;
    }

    // Opens the database; false with the reason when it cannot be read.
    bool Open(QString& why)
    {
        const int32_t opened = m_module.collector->Initialize();
        why = m_module.collector->ReadProblem();
        if (opened == 0 && why.isEmpty() && m_module.collector->IsConnected())
            return true;
        if (why.isEmpty())
            why = QStringLiteral("not connected");
        return false;
    }

    vtr_db::IDatabaseCollector* operator->() const { return m_module.collector; }

private:
    vtr_db::LoadedDatabaseModule m_module;
};

// The server's module is told where to connect the way every copy of the
// program is: through the variable, here in this process only.
void UseServer(const QString& connection)
{
    qputenv(vtr_db::kDatabaseUrlVariable, connection.toUtf8());
}

void WarnAboutPassword(const QString& connection)
{
    if (DatabaseServerText::PasswordOf(connection).isEmpty())
        return;
    std::fprintf(stderr,
        "vtrpro-rules db: warning: the connection string carries a password in clear; keep it in a password "
        "file instead (~/.pgpass, or the file $PGPASSFILE names, readable by you only)\n");
}

// Whether the server's module is registered, so that the program uses it.
bool ServerModuleRegistered()
{
    const QString ini = CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("ConfigModule.ini");
    const QString name = QLatin1String(kServerModule) + QLatin1String(VtrLibrary::kSuffix);
    for (const QString& path : vtr_db::RegisteredDatabaseModules(ini))
        if (QFileInfo(path).fileName() == name)
            return true;
    return false;
}

int Connect(const CLI::App& sub, const QString& url, bool clear)
{
    // The variable as this session had it, before the check below sets it.
    const QString environment = qEnvironmentVariable(vtr_db::kDatabaseUrlVariable).trimmed();
    const auto noteOverride = [&environment] {
        if (!environment.isEmpty())
            std::fprintf(stderr,
                "vtrpro-rules db: note: %s is set in this environment (%s) and overrides the stored setting\n",
                vtr_db::kDatabaseUrlVariable, qUtf8Printable(vtr_db::WithoutPassword(environment)));
    };
    QString error;
    if (clear) {
        if (!vtr_db::SetDatabaseServer(QString(), error))
            return Refuse(error);
        std::printf("no database server is stored (%s)\n", qUtf8Printable(vtr_db::DatabaseServerSettingsPath()));
        std::fflush(stdout);
        noteOverride();
        return ExitCode::kDone;
    }
    if (url.trimmed().isEmpty())
        return CommandLine::UsageError(sub, QStringLiteral("connect takes one connection string, or --clear"));
    const QString connection = url.trimmed();
    WarnAboutPassword(connection);

    Module server;
    if (!server.Load(kServerModule, error))
        return Refuse(error + QStringLiteral("; nothing was stored"));
    UseServer(connection);
    if (!server.Open(error))
        return Refuse(QStringLiteral("cannot connect to %1: %2; nothing was stored")
                          .arg(vtr_db::WithoutPassword(connection), error),
            connection);
    const int32_t schema = server->GetSchemaVersion();
    if (!vtr_db::SetDatabaseServer(connection, error))
        return Refuse(error + QStringLiteral("; nothing was stored"), connection);
    std::printf("connected to %s (schema version %d)\nstored in %s\n",
        qUtf8Printable(vtr_db::WithoutPassword(connection)), schema,
        qUtf8Printable(vtr_db::DatabaseServerSettingsPath()));
    std::fflush(stdout);
    // Stored all the same: the seat can read what the shop keeps there.
    if (const QString why = server->WriteProblem(); !why.isEmpty())
        std::fprintf(stderr, "vtrpro-rules db: note: changes cannot be stored there: %s\n",
            qUtf8Printable(Safe(why, connection)));
    noteOverride();
    if (!ServerModuleRegistered())
        std::fprintf(stderr,
            "vtrpro-rules db: note: the program uses the server once its module is registered: vtrpro-rules "
            "modules add %s/%s%s --database\n",
            qUtf8Printable(CVTRFrameWrkUtils::GetProgramFolder()), kServerModule, VtrLibrary::kSuffix);
    return ExitCode::kDone;
}

QJsonArray CountsJson(const QList<vtr_db::TableCount>& counts)
{
    QJsonArray array;
    for (const vtr_db::TableCount& c : counts)
        array.append(QJsonObject {
            { QStringLiteral("table"), c.table }, { QStringLiteral("rows"), static_cast<qint64>(c.rows) } });
    return array;
}

void PrintCounts(const char* heading, const QList<vtr_db::TableCount>& counts)
{
    std::printf("%s\n", heading);
    for (const vtr_db::TableCount& c : counts)
        std::printf("  %-16s %lld\n", qUtf8Printable(c.table), static_cast<long long>(c.rows));
}

int Status(bool json)
{    vtr_db::VTRDataHelper* helper = vtr_db::VTRDataHelper::getInstance();
    vtr_db::IDatabaseCollector* database = helper->GetCollector();
    if (!database)
        return Refuse(QStringLiteral("no database module is in use (%1)")
                          .arg(qEnvironmentVariableIsSet("VTRPRO_DATABASE_MODULE")
                                  ? QStringLiteral("VTRPRO_DATABASE_MODULE is set but empty")
                                  : QStringLiteral("the shipped module does not load")));
    database->Initialize();
    vtr_db::DatabaseStatus status;
    const bool read = database->ReadStatus(status);
    QString problem = read ? QString() : status.problem;
    if (!read && problem.isEmpty())
        problem = database->ReadProblem();
    QString readOnlyWhy;
    if (status.readOnly) {
        readOnlyWhy = database->WriteProblem();
        if (readOnlyWhy.isEmpty())
            readOnlyWhy = status.problem;
    }
    QString source;
    const QString server = vtr_db::DatabaseServer(&source);
    const QString location = Safe(vtr_db::WithoutPassword(status.location));
    if (json) {
        QJsonObject o { { QStringLiteral("module"), status.module },
            { QStringLiteral("modulePath"), helper->ModulePath() }, { QStringLiteral("location"), location },
            { QStringLiteral("schemaVersion"), status.schemaVersion },
            { QStringLiteral("connected"), status.connected }, { QStringLiteral("readOnly"), status.readOnly },
            { QStringLiteral("readOnlyReason"), status.readOnly ? QJsonValue(Safe(readOnlyWhy)) : QJsonValue() },
            { QStringLiteral("problem"), read ? QJsonValue() : QJsonValue(Safe(problem)) },
            { QStringLiteral("server"), server.isEmpty() ? QJsonValue() : QJsonValue(vtr_db::WithoutPassword(server)) },
            { QStringLiteral("serverSource"), source.isEmpty() ? QJsonValue() : QJsonValue(source) },
            { QStringLiteral("tables"), CountsJson(status.counts) } };
        OutputFormat::PrintJson(o);
    } else {
        std::printf("module: %s (%s)\n", qUtf8Printable(status.module.isEmpty() ? QStringLiteral("?") : status.module),
            qUtf8Printable(helper->ModulePath()));
        std::printf("where: %s\n", qUtf8Printable(location));
        std::printf("schema version: %d\n", status.schemaVersion);
        std::printf("connected: %s\n", status.connected ? "yes" : "no");
        if (status.readOnly)
            std::printf("read-only: yes (%s)\n", qUtf8Printable(Safe(readOnlyWhy)));
        else
            std::printf("read-only: no\n");
        if (!server.isEmpty())
            std::printf("server: %s (from the %s)\n", qUtf8Printable(vtr_db::WithoutPassword(server)),
                source == QLatin1String("environment") ? "environment: VTRPRO_DATABASE_URL"
                                                       : "setting of \"vtrpro-rules db connect\"");
        if (read)
            PrintCounts("tables:", status.counts);
        std::fflush(stdout);
    }
    if (!read)
        return Refuse(QStringLiteral("the database cannot be read: %1").arg(problem));
    return ExitCode::kDone;
}

// A logged value on its own lines, continuation lines indented under it.
QString Indented(QString value)
{
    return value.replace(QLatin1Char('\n'), QLatin1String("\n           "));
}

int Log(const CLI::App& sub, const std::optional<QString>& sinceText, bool json)
{
    QString since;
    if (sinceText) {
        since = vtr_db::ChangeTimeFrom(*sinceText);
        if (since.isEmpty())
            return CommandLine::UsageError(sub,
                QStringLiteral("--since takes a date or time (\"2026-12-01\", \"2026-12-01 14:00\", ISO 8601); "
                               "\"%1\" is not one")
                    .arg(*sinceText));
    }
    vtr_db::IDatabaseCollector* database = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    if (!database)
        return Refuse(QStringLiteral("no database module is in use"));
    database->Initialize();
    QList<vtr_db::ChangeRecord> changes;
    QString error;
    if (!database->ReadChangeLog(since, changes, error))
        return Refuse(QStringLiteral("the change log cannot be read: %1").arg(error));
    if (json) {
        QJsonArray array;
        for (const vtr_db::ChangeRecord& c : changes)
            array.append(
                QJsonObject { { QStringLiteral("id"), static_cast<qint64>(c.id) }, { QStringLiteral("time"), c.time },
                    { QStringLiteral("user"), c.user }, { QStringLiteral("host"), c.host },
                    { QStringLiteral("what"), c.what }, { QStringLiteral("key"), c.key },
                    { QStringLiteral("old"), c.oldValue }, { QStringLiteral("new"), c.newValue } });
        OutputFormat::PrintJson(array);
        return ExitCode::kDone;
    }
    for (const vtr_db::ChangeRecord& c : changes) {
        std::printf("%s  %s@%s  %s  %s\n", qUtf8Printable(c.time), qUtf8Printable(c.user), qUtf8Printable(c.host),
            qUtf8Printable(c.what), qUtf8Printable(c.key));
        if (!c.oldValue.isEmpty())
            std::printf("    old:   %s\n", qUtf8Printable(Indented(c.oldValue)));
        if (!c.newValue.isEmpty())
            std::printf("    new:   %s\n", qUtf8Printable(Indented(c.newValue)));
    }
    std::fflush(stdout);
    return ExitCode::kDone;
}

// The rows a copy puts into each table, as the source holds them.
QList<vtr_db::TableCount> SourceCounts(const vtr_db::DatabaseContents& contents)
{
    return { { QStringLiteral("CustomMessages"), contents.messages.size() },
        { QStringLiteral("UserRules"), contents.rules.size() },
        { QStringLiteral("Fasteners"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Fasteners)].size() },
        { QStringLiteral("Threads"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Threads)].size() },
        { QStringLiteral("Materials"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Materials)].size() },
        { QStringLiteral("ChangeLog"), contents.changes.size() } };
}

int Copy(const CLI::App& sub, const QString& to, bool merge)
{
    if (to.trimmed().isEmpty() || to.startsWith(QLatin1Char('-')))
        return CommandLine::UsageError(sub, QStringLiteral("copy needs --to URL, the server's connection string"));
    const QString connection = to.trimmed();
    WarnAboutPassword(connection);

    QString error;
    Module source;
    if (!source.Load(kFileModule, error) || !source.Open(error))
        return Refuse(QStringLiteral("the SQLite database cannot be read: %1; nothing was copied").arg(error));
    vtr_db::DatabaseStatus from;
    source->ReadStatus(from);
    vtr_db::DatabaseContents contents;
    if (!source->ExportContents(contents, error))
        return Refuse(QStringLiteral("%1 cannot be read: %2; nothing was copied").arg(from.location, error));

    Module target;
    if (!target.Load(kServerModule, error))
        return Refuse(error + QStringLiteral("; nothing was copied"));
    UseServer(connection);
    const QString where = vtr_db::WithoutPassword(connection);
    if (!target.Open(error))
        return Refuse(QStringLiteral("cannot connect to %1: %2; nothing was copied").arg(where, error), connection);
    if (!target->WriteProblem().isEmpty())
        return Refuse(QStringLiteral("%1 cannot be written: %2; nothing was copied").arg(where, target->WriteProblem()),
            connection);
    vtr_db::CopyReport report;
    if (!target->ImportContents(contents, merge, report, error))
        return Refuse(QStringLiteral("%1: %2; nothing was copied").arg(where, error), connection);

    std::printf("copied %s to %s\n", qUtf8Printable(from.location), qUtf8Printable(where));
    PrintCounts("added:", report.added);
    int code = ExitCode::kDone;
    if (!report.differing.isEmpty()) {
        std::printf("differing (left as %s has them):\n", qUtf8Printable(where));
        for (const QString& item : report.differing)
            std::printf("  %s\n", qUtf8Printable(Safe(item, connection)));
        code = ExitCode::kFound;
    }
    std::fflush(stdout);
    // The count check: the server holds at least what was copied, table by table.
    vtr_db::DatabaseStatus after;
    target->Release();
    target->Initialize();
    if (!target->ReadStatus(after)) {
        std::fprintf(stderr, "vtrpro-rules db: the copy was stored, but its counts cannot be read back: %s\n",
            qUtf8Printable(Safe(after.problem, connection)));
        return ExitCode::kFound;
    }
    for (const vtr_db::TableCount& wanted : SourceCounts(contents)) {
        const auto have = std::find_if(after.counts.cbegin(), after.counts.cend(),
            [&wanted](const vtr_db::TableCount& c) { return c.table == wanted.table; });
        if (have != after.counts.cend() && have->rows < wanted.rows) {
            std::fprintf(stderr, "vtrpro-rules db: %s holds %lld rows of %s, fewer than the %lld copied\n",
                qUtf8Printable(where), static_cast<long long>(have->rows), qUtf8Printable(wanted.table),
                static_cast<long long>(wanted.rows));
            code = ExitCode::kFound;
        }
    }
    return code;
}
} // namespace

void DeclareDb(CLI::App& root, CommandLine::Declarations& out)
{
    CLI::App* db = root.add_subcommand("db", "the product database in use and the shop's server")
                       ->footer("URL is a libpq connection string (\"postgresql://host/vtrpro\" or "
                                "\"host=... dbname=...\"); keep its password in a password file (~/.pgpass or "
                                "$PGPASSFILE), not in the URL.");
    db->require_subcommand(1, 1);
    {
        CLI::App* sub = db->add_subcommand("connect", "check and store the shop's database server");
        auto url = std::make_shared<std::string>();
        auto clear = std::make_shared<bool>(false);
        CLI::Option* given = sub->add_option("URL", *url, "the server's connection string");
        CLI::Option* clearing = sub->add_flag("--clear", *clear, "remove the stored server");
        given->excludes(clearing);
        out.push_back({ sub, [sub, given, url, clear] {
                           if (!*clear && given->count() == 0)
                               return CommandLine::UsageError(
                                   *sub, QStringLiteral("connect takes one connection string, or --clear"));
                           return Connect(*sub, CommandLine::Text(*url), *clear);
                       } });
    }
    {
        CLI::App* sub = db->add_subcommand("status", "the product database in use: where, schema, tables");
        auto json = std::make_shared<bool>(false);
        CommandLine::AddFormat(*sub, *json);
        out.push_back({ sub, [json] { return Status(*json); } });
    }
    {
        CLI::App* sub = db->add_subcommand("log", "who changed what in the product database, newest first");
        auto since = std::make_shared<std::string>();
        auto json = std::make_shared<bool>(false);
        sub->add_option("--since", *since, "only changes from then on (\"2026-12-01\", \"2026-12-01 14:00\", ISO 8601)")
            ->type_name("DATE");
        CommandLine::AddFormat(*sub, *json);
        out.push_back({ sub, [sub, since, json] {
                           const std::optional<QString> from = sub->count("--since")
                               ? std::optional<QString>(CommandLine::Text(*since))
                               : std::nullopt;
                           return Log(*sub, from, *json);
                       } });
    }
    {
        CLI::App* sub = db->add_subcommand("copy", "copy this seat's SQLite data onto the server");
        auto to = std::make_shared<std::string>();
        auto merge = std::make_shared<bool>(false);
        sub->add_option("--to", *to, "the server's connection string")->required()->type_name("URL");
        sub->add_flag("--merge", *merge, "add what the server lacks and report what differs");
        out.push_back({ sub, [sub, to, merge] { return Copy(*sub, CommandLine::Text(*to), *merge); } });
    }
}
