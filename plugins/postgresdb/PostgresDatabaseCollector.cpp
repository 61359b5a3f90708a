#include "PostgresDatabaseCollector.h"

#include "ChangeLogText.h"
#include "ContentsMerge.h"
#include "DatabaseSchema.h"
#include "ProductSeed.h"
#include "VtrDatabaseServer.h"
#include "VtrProLog.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include <QSet>

namespace {
// The channel every write transaction notifies, so other seats drop what
// they have cached.
const char kChannel[] = "vtrpro_changes";
// Advisory lock keys: one for the schema update, one that puts sheet
// imports and whole copies in line.
constexpr qint64 kMigrationLock = 0x5654525052; // "VTRPR"
constexpr qint64 kContentsLock = 0x5654525043; // "VTRPC"
const char kConnectTimeout[] = "5";

// Frees a result when it goes out of scope.
struct Result
{
    PGresult* r;
    explicit Result(PGresult* result)
        : r(result)
    { }
    ~Result() { PQclear(r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    explicit operator bool() const { return r != nullptr; }
    int Rows() const { return r ? PQntuples(r) : 0; }
    bool Null(int row, int column) const { return PQgetisnull(r, row, column) != 0; }
    QString Text(int row, int column) const
    {
        return QString::fromUtf8(PQgetvalue(r, row, column), PQgetlength(r, row, column));
    }
    qint64 Int(int row, int column) const { return QByteArray(PQgetvalue(r, row, column)).toLongLong(); }
    double Double(int row, int column) const { return QByteArray(PQgetvalue(r, row, column)).toDouble(); }
};

void LogDatabase(const QString& message)
{
    CVtrProLog::PrintMessage(QStringLiteral("Product database: ") + message, "VtrPostgresDatabase", __LINE__);
}

QString Folded(const QString& text)
{
    return text.toCaseFolded();
}

// The stored columns of a table (the process map has a table of its own).
QList<int> StoredColumns(vtr_db::ProductTable table)
{
    QList<int> stored;
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].kind != vtr_db::ColumnKind::ProcessSet)
            stored << static_cast<int>(i);
    return stored;
}

PostgresDatabaseCollector::Param ValueParam(const vtr_db::ProductColumn& column, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return PostgresDatabaseCollector::Param::Null();
    if (column.kind == vtr_db::ColumnKind::Number) {
        const double number = value.toDouble();
        if (std::isnan(number))
            return PostgresDatabaseCollector::Param::Null();
        return PostgresDatabaseCollector::Param(QString::number(number, 'g', 17));
    }
    return PostgresDatabaseCollector::Param(value.toString());
}

// Appends one field in COPY's text form: \N for NULL, backslash escapes for
// the characters COPY reads specially.
void AppendCopyField(QByteArray& out, const QString* text, bool last)
{
    if (!text) {
        out += "\\N";
    } else {
        const QByteArray utf8 = text->toUtf8();
        const auto special = [](char c) { return c == '\\' || c == '\t' || c == '\n' || c == '\r'; };
        if (std::none_of(utf8.begin(), utf8.end(), special)) {
            out += utf8;
        } else {
            out.reserve(out.size() + utf8.size() * 2 + 2);
            for (const char c : utf8) {
                switch (c) {
                case '\\':
                    out += "\\\\";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                default:
                    out += c;
                }
            }
        }
    }
    out += last ? '\n' : '\t';
}

void AppendCopyField(QByteArray& out, const QString& text, bool last = false)
{
    AppendCopyField(out, &text, last);
}

// A text in COPY's form, without the separator after it.
QByteArray CopyText(const QString& text)
{
    QByteArray field;
    AppendCopyField(field, text, false);
    field.chop(1);
    return field;
}

// The COPY form of a text, for a value sent on every row.
QByteArray CopyField(const QString& text)
{
    QByteArray field;
    AppendCopyField(field, text, false);
    return field;
}

void AppendCopyNumber(QByteArray& out, qint64 n, bool last = false)
{
    out += QByteArray::number(n);
    out += last ? '\n' : '\t';
}

// A value that PostgreSQL cannot keep in a text (NUL); the reason, or empty.
QString Unstorable(const QString& text, const QString& what)
{
    if (text.contains(QChar(0)))
        return QStringLiteral("%1 holds a NUL character, which the database server cannot store").arg(what);
    return {};
}

QString NulIn(const QList<vtr_db::CustomMessageRecord>& records)
{
    for (const vtr_db::CustomMessageRecord& r : records) {
        const QString why = Unstorable(r.ruleName + r.category + r.message,
            QStringLiteral("the custom message of \"%1\"").arg(QString(r.ruleName).remove(QChar(0))));
        if (!why.isEmpty())
            return why;
    }
    return {};
}
} // namespace

PostgresDatabaseCollector::PostgresDatabaseCollector() = default;

PostgresDatabaseCollector::~PostgresDatabaseCollector()
{
    Close();
}

QString PostgresDatabaseCollector::Location() const
{
    return vtr_db::WithoutPassword(m_server.isEmpty() ? vtr_db::DatabaseServer() : m_server);
}

QString PostgresDatabaseCollector::ServerError() const
{
    QString text = m_lastServerError.trimmed();
    if (text.isEmpty() && m_conn)
        text = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    // libpq may quote the connection string back; never its password.
    if (!m_password.isEmpty())
        text.replace(m_password, QStringLiteral("***"));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool PostgresDatabaseCollector::Open(bool retry)
{
    const QString server = vtr_db::DatabaseServer();
    if (m_conn) {
        if (server == m_server && PQstatus(m_conn) == CONNECTION_OK)
            return true;
        // Another server was set meanwhile, or the connection was lost.
        Close();
    }
    if (server.isEmpty()) {
        m_readProblem = QStringLiteral("No product database server is set: set one with "
                                       "\"vtrpro-rules db connect URL\" or the %1 variable.")
                            .arg(QLatin1String(vtr_db::kDatabaseUrlVariable));
        m_writeProblem.clear();
        m_lastError = m_readProblem;
        return false;
    }
    // The rule list asks once per rule: a server that is away is not tried
    // (and waited for) again for each one, only after a release.
    if (!retry && server == m_failedServer)
        return false;
    m_failedServer.clear();
    m_readProblem.clear();
    m_writeProblem.clear();
    m_lastServerError.clear();
    m_server = server;
    m_password.clear();
    const QByteArray conninfo = server.toUtf8();
    if (PQconninfoOption* options = PQconninfoParse(conninfo.constData(), nullptr)) {
        for (PQconninfoOption* o = options; o->keyword; ++o)
            if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
                m_password = QString::fromUtf8(o->val);
        PQconninfoFree(options);
    }
    // Later entries win, and the connection string is expanded where
    // dbname stands: what it names itself overrides these defaults.
    const char* keywords[] = { "connect_timeout", "application_name", "client_encoding", "dbname", nullptr };
    const char* values[] = { kConnectTimeout, "vtrpro", "UTF8", conninfo.constData(), nullptr };
    m_conn = PQconnectdbParams(keywords, values, 1);
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        ReadFailed(QStringLiteral("server %1 cannot be reached: %2").arg(Location(), ServerError()));
        m_writeProblem = m_readProblem;
        PQfinish(m_conn);
        m_conn = nullptr;
        m_failedServer = server;
        return false;
    }
    PQsetClientEncoding(m_conn, "UTF8");
    {
        // One round trip: notices off (they would land on stderr) and the
        // other seats' changes heard.
        Result setup(PQexec(m_conn, (QByteArray("SET client_min_messages = warning; LISTEN ") + kChannel).constData()));
    }

    m_schemaVersion = ReadSchemaVersion();
    if (m_schemaVersion < 0) {
        ReadFailed(QStringLiteral("on %1 cannot be read: %2").arg(Location(), ServerError()));
        Close();
        m_failedServer = server;
        return false;
    }
    {
        Result standby(Run("SELECT pg_is_in_recovery() OR current_setting('transaction_read_only') = 'on'"));
        if (standby && standby.Rows() == 1 && standby.Text(0, 0) == QLatin1String("t")) {
            m_readOnly = true;
            m_writeProblem = QStringLiteral("The product database on %1 is read-only (the server accepts no "
                                            "changes): changes cannot be stored.")
                                 .arg(Location());
        }
    }
    if (m_schemaVersion > vtr_db::kSchemaVersion) {
        // A later build may rely on rules this one does not know to keep.
        m_readOnly = true;
        m_writeProblem = QStringLiteral("The product database on %1 was made by a newer version of the program "
                                        "(schema %2, this one knows %3): changes cannot be stored.")
                             .arg(Location())
                             .arg(m_schemaVersion)
                             .arg(vtr_db::kSchemaVersion);
    } else if (m_schemaVersion < vtr_db::kSchemaVersion && !m_readOnly) {
        if (!Migrate()) {
            m_readOnly = true;
            m_writeProblem = QStringLiteral("The product database on %1 could not be brought up to date (%2): "
                                            "changes cannot be stored.")
                                 .arg(Location(), ServerError());
        }
        m_schemaVersion = ReadSchemaVersion();
    }
    if (!m_writeProblem.isEmpty())
        LogDatabase(m_writeProblem);
    return true;
}

void PostgresDatabaseCollector::Close()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_readOnly = false;
    m_schemaVersion = 0;
    m_messages.clear();
    m_messagesLoaded = false;
    m_heard.invalidate();
}

void PostgresDatabaseCollector::ReadFailed(const QString& what)
{
    m_lastError = QStringLiteral("The product database ") + what + QLatin1Char('.');
    m_readProblem = m_lastError;
    LogDatabase(what);
}

void PostgresDatabaseCollector::WriteFailed(const QString& what)
{
    const QString why = m_refused ? m_refusal : ServerError();
    m_lastError = QStringLiteral("%1: %2").arg(what, why);
    m_writeProblem
        = QStringLiteral("The product database on %1 could not store the change: %2.").arg(Location(), m_lastError);
    LogDatabase(m_lastError);
}

void PostgresDatabaseCollector::Refuse(const QString& reason)
{
    m_refused = true;
    m_refusal = reason;
}

PGresult* PostgresDatabaseCollector::Run(const QByteArray& sql, const std::vector<Param>& params)
{
    if (!m_conn)
        return nullptr;
    std::vector<const char*> values;
    std::vector<int> lengths;
    values.reserve(params.size());
    lengths.reserve(params.size());
    for (const Param& p : params) {
        values.push_back(p.null ? nullptr : p.bytes.constData());
        lengths.push_back(static_cast<int>(p.bytes.size()));
    }
    PGresult* result = PQexecParams(
        m_conn, sql.constData(), static_cast<int>(params.size()), nullptr, values.data(), lengths.data(), nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    m_lastState = state ? QByteArray(state) : QByteArray();
    m_lastServerError = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(m_conn)).trimmed();
    PQclear(result);
    return nullptr;
}

PGresult* PostgresDatabaseCollector::Run(const QByteArray& sql, std::initializer_list<Param> params)
{
    return Run(sql, std::vector<Param>(params));
}

bool PostgresDatabaseCollector::Command(const QByteArray& sql, std::initializer_list<Param> params)
{
    Result result(Run(sql, params));
    return static_cast<bool>(result);
}

bool PostgresDatabaseCollector::CopyIn(const QByteArray& sql, const QByteArray& data)
{
    Result start(PQexec(m_conn, sql.constData()));
    if (PQresultStatus(start.r) != PGRES_COPY_IN) {
        const char* state = PQresultErrorField(start.r, PG_DIAG_SQLSTATE);
        m_lastState = state ? QByteArray(state) : QByteArray();
        m_lastServerError = QString::fromUtf8(PQresultErrorMessage(start.r)).trimmed();
        return false;
    }
    constexpr qsizetype kChunk = 1 << 20;
    bool sent = true;
    for (qsizetype at = 0; sent && at < data.size(); at += kChunk)
        sent = PQputCopyData(m_conn, data.constData() + at, static_cast<int>(std::min(kChunk, data.size() - at))) == 1;
    if (PQputCopyEnd(m_conn, sent ? nullptr : "the copy was not sent whole") != 1)
        sent = false;
    bool ok = sent;
    while (PGresult* r = PQgetResult(m_conn)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            ok = false;
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            m_lastState = state ? QByteArray(state) : QByteArray();
            m_lastServerError = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        }
        PQclear(r);
    }
    if (!ok && m_lastServerError.isEmpty())
        m_lastServerError = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    return ok;
}

template <typename Change> bool PostgresDatabaseCollector::InTransaction(const QString& what, Change&& change)
{
    for (int attempt = 0;; ++attempt) {
        m_refused = false;
        m_refusal.clear();
        m_lastState.clear();
        m_lastServerError.clear();
        if (!Open(true)) {
            m_refused = true;
            m_refusal = m_readProblem;
            WriteFailed(what);
            return false;
        }
        if (RefuseChange())
            return false;
        bool ok = Command("BEGIN") && change() && Command(QByteArray("NOTIFY ") + kChannel);
        if (ok) {
            // COMMIT of a transaction that failed unseen answers ROLLBACK.
            Result commit(Run("COMMIT"));
            ok = commit && qstrcmp(PQcmdStatus(commit.r), "COMMIT") == 0;
            if (commit && !ok)
                m_lastServerError = QStringLiteral("the server rolled the change back");
        }
        if (ok) {
            m_writeProblem.clear();
            return true;
        }
        const bool lost = !m_conn || PQstatus(m_conn) != CONNECTION_OK;
        if (!lost) {
            const QString error = m_lastServerError;
            const QByteArray state = m_lastState;
            Command("ROLLBACK");
            m_lastServerError = error;
            m_lastState = state;
        }
        if (m_refused) {
            WriteFailed(what);
            return false;
        }
        const bool retry = m_lastState == "40001" || m_lastState == "40P01" || lost;
        if (attempt == 0 && retry) {
            LogDatabase(QStringLiteral("%1: %2; trying once more").arg(what, ServerError()));
            if (lost)
                Close();
            continue;
        }
        if (lost) {
            m_lastServerError = QStringLiteral("the connection to the server was lost (%1)").arg(ServerError());
            Close();
        }
        WriteFailed(what);
        return false;
    }
}

bool PostgresDatabaseCollector::RefuseChange()
{
    if (!m_readOnly)
        return false;
    m_lastError = m_writeProblem;
    return true;
}

int32_t PostgresDatabaseCollector::ReadSchemaVersion()
{
    Result exists(Run("SELECT to_regclass('schemaversion') IS NOT NULL"));
    if (!exists || exists.Rows() != 1)
        return -1;
    if (exists.Text(0, 0) != QLatin1String("t"))
        return 0;
    Result version(Run("SELECT coalesce(max(Version), 0) FROM SchemaVersion"));
    if (!version || version.Rows() != 1)
        return -1;
    return static_cast<int32_t>(version.Int(0, 0));
}

bool PostgresDatabaseCollector::Migrate()
{
    // The advisory lock puts seats starting together in line: the second
    // reads the version the first wrote and finds nothing left to do.
    bool ok = Command("BEGIN") && Command("SELECT pg_advisory_xact_lock($1)", { Param(kMigrationLock) })
        && Command("CREATE TABLE IF NOT EXISTS SchemaVersion (Version INTEGER NOT NULL)");
    const int32_t from = ok ? ReadSchemaVersion() : 0;
    ok = ok && from >= 0;
    for (int32_t v = from; ok && v < vtr_db::kSchemaVersion; ++v) {
        const vtr_db::SchemaStep& step = vtr_db::kSchemaSteps[v];
        Result applied(PQexec(m_conn, step.postgres));
        ok = PQresultStatus(applied.r) == PGRES_COMMAND_OK || PQresultStatus(applied.r) == PGRES_TUPLES_OK;
        if (!ok) {
            m_lastServerError = QString::fromUtf8(PQresultErrorMessage(applied.r)).trimmed();
            break;
        }
        if (step.data == vtr_db::SchemaData::SeedProducts)
            ok = SeedProducts();
        else if (step.data == vtr_db::SchemaData::NumberStoredRules)
            ok = NumberStoredRules();
    }
    if (ok && from < vtr_db::kSchemaVersion)
        ok = Command("DELETE FROM SchemaVersion")
            && Command("INSERT INTO SchemaVersion (Version) VALUES ($1)", { Param(vtr_db::kSchemaVersion) });
    if (ok && Command("COMMIT"))
        return true;
    LogDatabase(QStringLiteral("schema update from version %1 failed: %2").arg(from).arg(ServerError()));
    const QString error = m_lastServerError;
    Command("ROLLBACK");
    m_lastServerError = error;
    return false;
}

bool PostgresDatabaseCollector::SeedProducts()
{
    for (const vtr_db::ProductTable table :
        { vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials, vtr_db::ProductTable::Fasteners }) {
        const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
        const QList<int> stored = StoredColumns(table);
        QByteArray sql = QByteArray("INSERT INTO ") + vtr_db::ProductSqlTable(table) + " (";
        QByteArray values;
        for (qsizetype i = 0; i < stored.size(); ++i) {
            sql += (i ? ", " : "") + QByteArray(columns[stored[i]].sqlName);
            values += (i ? ", $" : "$") + QByteArray::number(i + 1);
        }
        // A material or thread the user already has keeps its row.
        sql += ") VALUES (" + values + ") ON CONFLICT DO NOTHING RETURNING " + vtr_db::ProductSqlId(table);
        const int processes = vtr_db::ProductColumnIndex(table, "Processes");
        for (const vtr_db::ProductRow& row : vtr_db::SeedRows(table)) {
            std::vector<Param> params;
            for (int c : stored)
                params.push_back(ValueParam(columns[c], row.values[c]));
            Result inserted(Run(sql, params));
            if (!inserted)
                return false;
            if (processes < 0 || inserted.Rows() == 0)
                continue;
            if (!WriteMaterialProcesses(inserted.Int(0, 0), row.values[processes].toStringList()))
                return false;
        }
    }
    return true;
}

bool PostgresDatabaseCollector::NumberStoredRules()
{
    // As the SQLite module does it: ids in the order of the rules' texts,
    // so that two databases migrating the same rules give the same ids.
    Result rows(Run("SELECT RowId, RuleKey, RuleName, Category FROM UserRules ORDER BY Category, RuleName, RuleKey"));
    if (!rows)
        return false;
    if (rows.Rows() > vtr_db::kLastStoredRuleHelpId - vtr_db::kFirstStoredRuleHelpId + 1)
        return false;
    QSet<QString> identities;
    int32_t helpId = vtr_db::kFirstStoredRuleHelpId;
    for (int i = 0; i < rows.Rows(); ++i, ++helpId) {
        const QString name = rows.Text(i, 2);
        const QString category = rows.Text(i, 3);
        const QString identity = vtr_db::FoldedRuleIdentity(name, category);
        const bool duplicate = identities.contains(identity);
        if (duplicate)
            LogDatabase(QStringLiteral("the stored rule \"%1\" (%2) of %3 has the name of another stored rule;"
                                       " both are kept")
                            .arg(name, category, rows.Text(i, 1)));
        identities.insert(identity);
        if (!Command("UPDATE UserRules SET HelpId = $1, FoldedName = $2, FoldedCategory = $3 WHERE RowId = $4",
                { Param(helpId), duplicate ? Param::Null() : Param(Folded(name)),
                    duplicate ? Param::Null() : Param(Folded(category)), Param(rows.Int(i, 0)) }))
            return false;
        if (!Command("UPDATE CustomMessages m SET HelpId = $1 WHERE m.HelpId = 0 AND m.RuleName = $2"
                     " AND m.Category = $3 AND NOT EXISTS (SELECT 1 FROM CustomMessages o WHERE o.HelpId = $1"
                     " AND o.RuleName = $2 AND o.Category = $3)",
                { Param(helpId), Param(name), Param(category) }))
            return false;
    }
    return Command("CREATE UNIQUE INDEX UserRulesHelpId ON UserRules (HelpId)")
        && Command("CREATE UNIQUE INDEX UserRulesIdentity ON UserRules (FoldedName, FoldedCategory)")
        && Command("INSERT INTO StoredRuleHelpIds (Next) VALUES ($1)", { Param(helpId) });
}

// ------------------------------------------------------------ the interface

int32_t PostgresDatabaseCollector::Initialize()
{
    return Open() ? 0 : -1;
}

int32_t PostgresDatabaseCollector::GetMaterialDataFlag()
{
    if (!IsAvailable() || m_schemaVersion < 3)
        return 0;
    Result flag(Run("SELECT EXISTS (SELECT 1 FROM Materials)"));
    return flag && flag.Rows() == 1 && flag.Text(0, 0) == QLatin1String("t") ? 1 : 0;
}

int32_t PostgresDatabaseCollector::GetSchemaVersion()
{
    return Open() ? m_schemaVersion : 0;
}

void PostgresDatabaseCollector::Release()
{
    Close();
    m_server.clear();
    m_failedServer.clear();
    m_readProblem.clear();
    m_writeProblem.clear();
}

bool PostgresDatabaseCollector::IsConnected()
{
    return Open();
}

bool PostgresDatabaseCollector::IsAvailable()
{
    return Open() && m_schemaVersion >= 1;
}

QString PostgresDatabaseCollector::ReadProblem()
{
    return m_readProblem;
}

QString PostgresDatabaseCollector::WriteProblem()
{
    if (!m_conn && !m_readProblem.isEmpty())
        return m_readProblem;
    return m_writeProblem;
}

void PostgresDatabaseCollector::HearOthers()
{
    // What the server sent is read without asking it anything, and not
    // for each of the thousands of rules a list asks about at once.
    constexpr qint64 kListenEveryMs = 100;
    if (!m_conn || (m_heard.isValid() && m_heard.elapsed() < kListenEveryMs))
        return;
    m_heard.start();
    if (PQconsumeInput(m_conn) == 0)
        return;
    const int self = PQbackendPID(m_conn);
    while (PGnotify* note = PQnotifies(m_conn)) {
        if (note->be_pid != self)
            m_messagesLoaded = false;
        PQfreemem(note);
    }
}

bool PostgresDatabaseCollector::LoadMessages()
{
    Result rows(Run("SELECT HelpId, RuleName, Category, Message FROM CustomMessages"));
    if (!rows) {
        ReadFailed(QStringLiteral("on %1 cannot be read: %2").arg(Location(), ServerError()));
        if (PQstatus(m_conn) != CONNECTION_OK) {
            Close();
            m_failedServer = m_server;
        }
        return false;
    }
    QHash<MessageKey, QString> messages;
    messages.reserve(rows.Rows());
    for (int i = 0; i < rows.Rows(); ++i)
        messages.insert(
            MessageKey { static_cast<int32_t>(rows.Int(i, 0)), rows.Text(i, 1), rows.Text(i, 2) }, rows.Text(i, 3));
    m_messages = std::move(messages);
    m_messagesLoaded = true;
    return true;
}

bool PostgresDatabaseCollector::GetCustomMessage(
    int32_t helpId, const QString& ruleName, const QString& category, QString& message)
{
    message.clear();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK)
        Close();
    if (!Open() || m_schemaVersion < 1)
        return false;
    HearOthers();
    if (!m_messagesLoaded && !LoadMessages())
        return false;
    const auto it = m_messages.constFind(MessageKey { helpId, ruleName, category });
    if (it == m_messages.constEnd())
        return false;
    message = it.value();
    return true;
}

bool PostgresDatabaseCollector::Log(
    const QString& what, const QString& key, const QString& oldValue, const QString& newValue)
{
    return Command("INSERT INTO ChangeLog (ChangedAt, ChangedBy, Host, What, ItemKey, OldValue, NewValue)"
                   " VALUES ($1, $2, $3, $4, $5, $6, $7)",
        { Param(vtr_db::ChangeTime()), Param(vtr_db::ChangeUser()), Param(vtr_db::ChangeHost()), Param(what),
            Param(key), oldValue.isEmpty() ? Param::Null() : Param(oldValue),
            newValue.isEmpty() ? Param::Null() : Param(newValue) });
}

int32_t PostgresDatabaseCollector::AddCustomMessage(
    int32_t helpId, const QString& ruleName, const QString& category, const QString& message)
{
    return AddCustomMessages({ vtr_db::CustomMessageRecord { helpId, ruleName, category, message } });
}

int32_t PostgresDatabaseCollector::AddCustomMessages(const QList<vtr_db::CustomMessageRecord>& records)
{
    for (const vtr_db::CustomMessageRecord& r : records)
        if (r.ruleName.isEmpty() || r.category.isEmpty()) {
            m_lastError = QStringLiteral("a custom message needs a rule name and a category");
            return -1;
        }
    if (const QString why = NulIn(records); !why.isEmpty()) {
        m_lastError = why;
        m_writeProblem = QStringLiteral("The product database could not store the sheet: %1.").arg(why);
        return -1;
    }
    if (records.isEmpty())
        return Open(true) ? 0 : -1;
    // The last row of a key in the sheet wins, as row by row would: only
    // that one is sent, so every key is sent once.
    std::vector<qsizetype> kept;
    {
        QSet<MessageKey> seen;
        seen.reserve(records.size());
        for (qsizetype i = records.size() - 1; i >= 0; --i) {
            const vtr_db::CustomMessageRecord& r = records[i];
            const qsizetype size = seen.size();
            seen.insert(MessageKey { r.helpId, r.ruleName, r.category });
            if (seen.size() != size)
                kept.push_back(i);
        }
        std::reverse(kept.begin(), kept.end());
    }
    // Only the keys go to the server first, into a table of the
    // transaction's own, to learn which of them are stored and with what
    // message. The log and the new messages then go in through COPY, and
    // only messages already stored are changed or removed by statements.
    // Every writer of messages holds the lock, so nobody adds a key between
    // the look and the write.
    // Each text is turned into its COPY form once; the key of the log is
    // spelt from the same pieces, as MessageChangeKey spells it.
    struct Sent
    {
        qsizetype record;
        QByteArray helpId, name, category;
    };
    std::vector<Sent> sent;
    sent.reserve(kept.size());
    QByteArray keys;
    keys.reserve(static_cast<qsizetype>(kept.size()) * 48);
    for (qsizetype i : kept) {
        const vtr_db::CustomMessageRecord& r = records[i];
        Sent s { i, QByteArray::number(r.helpId), CopyText(r.ruleName), CopyText(r.category) };
        keys.append(QByteArray::number(static_cast<qlonglong>(i))).append('\t').append(s.helpId).append('\t');
        keys.append(s.name).append('\t').append(s.category).append('\n');
        sent.push_back(std::move(s));
    }
    // Who, when and what are the same on every row of the log.
    const QByteArray logged = CopyField(vtr_db::ChangeTime()) + CopyField(vtr_db::ChangeUser())
        + CopyField(vtr_db::ChangeHost()) + CopyField(QString::fromLatin1(vtr_db::kChangeMessage));
    const bool stored = InTransaction(QStringLiteral("cannot store the sheet of custom messages"), [&] {
        if (!Command("SELECT pg_advisory_xact_lock($1)", { Param(kContentsLock) }))
            return false;
        // A first sheet finds nothing stored: no need to look key by key.
        Result any(Run("SELECT EXISTS (SELECT 1 FROM CustomMessages)"));
        if (!any)
            return false;
        QHash<qsizetype, QString> before;
        if (any.Text(0, 0) == QLatin1String("t")) {
            if (!Command("CREATE TEMP TABLE vtr_keys (Ord INTEGER, HelpId INTEGER, RuleName TEXT, Category TEXT)"
                         " ON COMMIT DROP")
                || !CopyIn("COPY vtr_keys FROM STDIN", keys))
                return false;
            Result old(Run("SELECT k.Ord, m.Message FROM vtr_keys k JOIN CustomMessages m ON m.HelpId = k.HelpId"
                           " AND m.RuleName = k.RuleName AND m.Category = k.Category"));
            if (!old)
                return false;
            before.reserve(old.Rows());
            for (int i = 0; i < old.Rows(); ++i)
                before.insert(static_cast<qsizetype>(old.Int(i, 0)), old.Text(i, 1));
        }
        QByteArray log;
        QByteArray added;
        QByteArray changed;
        log.reserve(keys.size() * 3);
        added.reserve(keys.size() * 2);
        for (const Sent& s : sent) {
            const vtr_db::CustomMessageRecord& r = records[s.record];
            const auto it = before.constFind(s.record);
            const bool present = it != before.constEnd();
            if ((present ? it.value() : QString()) == r.message)
                continue;
            const QByteArray message = CopyText(r.message);
            log.append(logged).append(s.helpId).append(' ').append(s.category).append('/').append(s.name).append('\t');
            if (present)
                AppendCopyField(log, it.value());
            else
                log += "\\N\t";
            log.append(r.message.isEmpty() ? QByteArray("\\N") : message).append('\n');
            QByteArray& into = present ? changed : added;
            into.append(s.helpId).append('\t').append(s.name).append('\t').append(s.category).append('\t');
            into.append(message).append('\n');
        }
        if (!log.isEmpty()
            && !CopyIn(
                "COPY ChangeLog (ChangedAt, ChangedBy, Host, What, ItemKey, OldValue, NewValue) FROM STDIN", log))
            return false;
        if (!added.isEmpty() && !CopyIn("COPY CustomMessages (HelpId, RuleName, Category, Message) FROM STDIN", added))
            return false;
        if (changed.isEmpty())
            return true;
        return Command("CREATE TEMP TABLE vtr_changed (HelpId INTEGER, RuleName TEXT, Category TEXT, Message TEXT)"
                       " ON COMMIT DROP")
            && CopyIn("COPY vtr_changed FROM STDIN", changed)
            && Command("DELETE FROM CustomMessages m USING vtr_changed c WHERE c.Message = '' AND m.HelpId = c.HelpId"
                       " AND m.RuleName = c.RuleName AND m.Category = c.Category")
            && Command("UPDATE CustomMessages m SET Message = c.Message FROM vtr_changed c WHERE c.Message <> ''"
                       " AND m.HelpId = c.HelpId AND m.RuleName = c.RuleName AND m.Category = c.Category");
    });
    if (!stored)
        return -1;
    if (m_messagesLoaded)
        for (const vtr_db::CustomMessageRecord& r : records) {
            const MessageKey key { r.helpId, r.ruleName, r.category };
            if (r.message.isEmpty())
                m_messages.remove(key);
            else
                m_messages.insert(key, r.message);
        }
    return 0;
}

// ------------------------------------------------------------- stored rules

bool PostgresDatabaseCollector::GetUserRules(const QString& key, QStringList& elements)
{
    elements.clear();
    QList<vtr_db::StoredUserRule> rules;
    if (!GetStoredUserRules(key, rules))
        return false;
    for (const vtr_db::StoredUserRule& r : rules)
        elements << r.element;
    return true;
}

bool PostgresDatabaseCollector::GetStoredUserRules(const QString& key, QList<vtr_db::StoredUserRule>& rules)
{
    rules.clear();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK)
        Close();
    if (!Open())
        return false;
    if (m_schemaVersion < 2)
        return true;
    Result rows(Run(m_schemaVersion >= vtr_db::kRuleIdentityVersion
            ? "SELECT Element, coalesce(HelpId, 0), Version FROM UserRules WHERE RuleKey = $1 ORDER BY RowId"
            : "SELECT Element, 0, 0 FROM UserRules WHERE RuleKey = $1 ORDER BY RowId",
        { Param(key) }));
    if (!rows) {
        ReadFailed(QStringLiteral("on %1 cannot be read: %2").arg(Location(), ServerError()));
        return false;
    }
    for (int i = 0; i < rows.Rows(); ++i)
        rules.append({ rows.Text(i, 0), static_cast<int32_t>(rows.Int(i, 1)), static_cast<int32_t>(rows.Int(i, 2)) });
    return true;
}

bool PostgresDatabaseCollector::CanWriteUserRules(const QString& key, const QString& ruleName, const QString& element)
{
    if (key.isEmpty() || ruleName.isEmpty() || element.isEmpty() || !Open(true))
        return false;
    if (RefuseChange())
        return false;
    if (m_schemaVersion < vtr_db::kRuleIdentityVersion) {
        m_lastError = QStringLiteral("the database has not been updated to keep rules");
        return false;
    }
    if (const QString why = Unstorable(key + ruleName + element, QStringLiteral("the rule")); !why.isEmpty()) {
        m_lastError = why;
        return false;
    }
    return true;
}

int32_t PostgresDatabaseCollector::TakeStoredRuleHelpId()
{
    // The counter only grows: a removed rule's id is never given to another.
    Result next(Run("SELECT greatest(coalesce((SELECT max(Next) FROM StoredRuleHelpIds), $1),"
                    " coalesce((SELECT max(HelpId) + 1 FROM UserRules), $1))",
        { Param(vtr_db::kFirstStoredRuleHelpId) }));
    if (!next || next.Rows() != 1)
        return 0;
    const qint64 id = next.Int(0, 0);
    if (id < vtr_db::kFirstStoredRuleHelpId || id > vtr_db::kLastStoredRuleHelpId) {
        Refuse(QStringLiteral("every help id of stored rules is used"));
        return 0;
    }
    if (!Command("DELETE FROM StoredRuleHelpIds")
        || !Command("INSERT INTO StoredRuleHelpIds (Next) VALUES ($1)", { Param(id + 1) }))
        return 0;
    return static_cast<int32_t>(id);
}

bool PostgresDatabaseCollector::WriteUserRule(const QString& key, const QString& ruleName, const QString& category,
    const QString& element, bool replace, bool& taken)
{
    taken = false;
    // Raised first: its row lock puts every writer of rules in line, so the
    // look-up below sees what the writer before has committed.
    Result version(Run("UPDATE UserRuleVersion SET Last = Last + 1 RETURNING Last"));
    if (!version)
        return false;
    if (version.Rows() != 1) {
        Refuse(QStringLiteral("the rule version counter is missing"));
        return false;
    }
    const qint64 newVersion = version.Int(0, 0);
    const QString folded = Folded(ruleName);
    const QString foldedCategory = Folded(category);
    Result found(Run("SELECT RowId, coalesce(HelpId, 0), RuleName, Category, Element FROM UserRules"
                     " WHERE (FoldedName = $1 AND FoldedCategory = $2) OR FoldedName IS NULL"
                     " ORDER BY FoldedName IS NULL, RowId",
        { Param(folded), Param(foldedCategory) }));
    if (!found)
        return false;
    qint64 row = 0;
    int32_t helpId = 0;
    QString oldElement;
    QString oldKey;
    for (int i = 0; i < found.Rows(); ++i)
        if (Folded(found.Text(i, 2)) == folded && Folded(found.Text(i, 3)) == foldedCategory) {
            row = found.Int(i, 0);
            helpId = static_cast<int32_t>(found.Int(i, 1));
            oldElement = found.Text(i, 4);
            break;
        }
    if (row != 0 && !replace) {
        taken = true;
        Refuse(QStringLiteral("a rule named \"%1\" is already stored in %2").arg(ruleName, category));
        return false;
    }
    if (helpId == 0 && (helpId = TakeStoredRuleHelpId()) == 0)
        return false;
    if (row != 0
        && !Command("DELETE FROM UserRules WHERE RuleKey = $1 AND RuleName = $2 AND Category = $3 AND RowId <> $4",
            { Param(key), Param(ruleName), Param(category), Param(row) }))
        return false;
    const bool written = row != 0
        ? Command("UPDATE UserRules SET RuleKey = $1, RuleName = $2, Category = $3, Element = $4, HelpId = $5,"
                  " FoldedName = $6, FoldedCategory = $7, Version = $8 WHERE RowId = $9",
            { Param(key), Param(ruleName), Param(category), Param(element), Param(helpId), Param(folded),
                Param(foldedCategory), Param(newVersion), Param(row) })
        : Command("INSERT INTO UserRules (RuleKey, RuleName, Category, Element, HelpId, FoldedName, FoldedCategory,"
                  " Version) VALUES ($1, $2, $3, $4, $5, $6, $7, $8)",
            { Param(key), Param(ruleName), Param(category), Param(element), Param(helpId), Param(folded),
                Param(foldedCategory), Param(newVersion) });
    if (!written) {
        // The unique key is the last word, whatever the look-up saw.
        if (m_lastState == "23505" && !replace) {
            taken = true;
            Refuse(QStringLiteral("a rule named \"%1\" is already stored in %2").arg(ruleName, category));
        }
        return false;
    }
    return Log(vtr_db::kChangeUserRule, vtr_db::RuleChangeKey(key, ruleName, category), oldElement, element);
}

int32_t PostgresDatabaseCollector::AddUserRule(
    const QString& key, const QString& ruleName, const QString& category, const QString& element)
{
    if (!CanWriteUserRules(key, ruleName, element))
        return -1;
    bool taken = false;
    return InTransaction(QStringLiteral("cannot store the rule \"%1\" (%2)").arg(ruleName, category),
               [&] { return WriteUserRule(key, ruleName, category, element, true, taken); })
        ? 0
        : -1;
}

int32_t PostgresDatabaseCollector::CreateUserRule(
    const QString& key, const QString& ruleName, const QString& category, const QString& element)
{
    if (!CanWriteUserRules(key, ruleName, element))
        return -1;
    bool taken = false;
    if (InTransaction(QStringLiteral("cannot store the rule \"%1\" (%2)").arg(ruleName, category),
            [&] { return WriteUserRule(key, ruleName, category, element, false, taken); }))
        return 0;
    if (taken) {
        m_lastError = QStringLiteral("a rule named \"%1\" is already stored in %2").arg(ruleName, category);
        m_writeProblem.clear();
        return 1;
    }
    return -1;
}

int32_t PostgresDatabaseCollector::RemoveUserRule(const QString& key, const QString& ruleName, const QString& category)
{
    if (key.isEmpty() || ruleName.isEmpty() || !Open(true) || RefuseChange())
        return -1;
    int removed = 0;
    const bool ok = InTransaction(QStringLiteral("cannot remove the rule \"%1\" (%2)").arg(ruleName, category), [&] {
        Result gone(
            Run("DELETE FROM UserRules WHERE RuleKey = $1 AND RuleName = $2 AND Category = $3 RETURNING Element",
                { Param(key), Param(ruleName), Param(category) }));
        if (!gone)
            return false;
        removed = gone.Rows();
        for (int i = 0; i < gone.Rows(); ++i)
            if (!Log(vtr_db::kChangeUserRule, vtr_db::RuleChangeKey(key, ruleName, category), gone.Text(i, 0), {}))
                return false;
        return true;
    });
    if (!ok)
        return -1;
    return removed > 0 ? 1 : 0;
}

// -------------------------------------------------------------- product data

bool PostgresDatabaseCollector::ReadProductRows(vtr_db::ProductTable table, QList<vtr_db::ProductRow>& rows,
    const QByteArray& where, std::initializer_list<Param> params, bool lock)
{
    rows.clear();
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    const QList<int> stored = StoredColumns(table);
    const QByteArray id = vtr_db::ProductSqlId(table);
    const bool versioned = m_schemaVersion >= vtr_db::kChangeLogVersion;
    QByteArray sql = "SELECT " + id;
    for (int c : stored)
        sql += QByteArray(", ") + columns[c].sqlName;
    sql += versioned ? ", RowVersion, coalesce(ChangedBy, ''), coalesce(ChangedAt, '')" : ", 0, '', ''";
    sql += QByteArray(" FROM ") + vtr_db::ProductSqlTable(table) + " " + where + " ORDER BY " + id
        + (lock ? " FOR UPDATE" : "");
    Result result(Run(sql, params));
    if (!result)
        return false;
    QHash<qint64, qsizetype> rowOfId;
    const int extra = static_cast<int>(stored.size()) + 1;
    for (int r = 0; r < result.Rows(); ++r) {
        vtr_db::ProductRow row;
        row.id = result.Int(r, 0);
        row.values.resize(static_cast<qsizetype>(columns.size()));
        for (qsizetype i = 0; i < stored.size(); ++i) {
            const int column = static_cast<int>(i) + 1;
            if (result.Null(r, column))
                continue;
            if (columns[stored[i]].kind == vtr_db::ColumnKind::Number)
                row.values[stored[i]] = result.Double(r, column);
            else if (const QString text = result.Text(r, column); !text.isEmpty())
                row.values[stored[i]] = text;
        }
        row.version = result.Int(r, extra);
        row.changedBy = result.Text(r, extra + 1);
        row.changedAt = result.Text(r, extra + 2);
        rowOfId.insert(row.id, rows.size());
        rows << row;
    }
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    if (processes < 0 || rows.isEmpty())
        return true;
    for (vtr_db::ProductRow& row : rows)
        row.values[processes] = QStringList();
    // The map of the rows read, not of the whole table, when only some were.
    QByteArray ids = "{";
    for (const vtr_db::ProductRow& row : rows)
        ids += (ids.size() > 1 ? "," : "") + QByteArray::number(static_cast<qlonglong>(row.id));
    ids += "}";
    Result map(where.isEmpty() ? Run("SELECT MaterialId, Process FROM MaterialProcesses ORDER BY RowId")
                               : Run("SELECT MaterialId, Process FROM MaterialProcesses WHERE MaterialId = ANY "
                                     "($1::bigint[]) ORDER BY RowId",
                                   { Param(QString::fromLatin1(ids)) }));
    if (!map)
        return false;
    for (int r = 0; r < map.Rows(); ++r) {
        const auto it = rowOfId.constFind(map.Int(r, 0));
        if (it == rowOfId.constEnd())
            continue;
        QVariant& value = rows[it.value()].values[processes];
        value = value.toStringList() << map.Text(r, 1);
    }
    return true;
}

bool PostgresDatabaseCollector::ReadProductTable(
    vtr_db::ProductTable table, QList<vtr_db::ProductRow>& rows, QString& error)
{
    rows.clear();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK)
        Close();
    if (!Open(true) || m_schemaVersion < 3) {
        error = m_conn ? QStringLiteral("the database holds no product data") : m_readProblem;
        return false;
    }
    if (!ReadProductRows(table, rows, {}, {})) {
        error = QStringLiteral("cannot read %1: %2").arg(QLatin1String(vtr_db::ProductSqlTable(table)), ServerError());
        rows.clear();
        return false;
    }
    return true;
}

bool PostgresDatabaseCollector::WriteMaterialProcesses(int64_t materialId, const QStringList& processes)
{
    if (!Command("DELETE FROM MaterialProcesses WHERE MaterialId = $1", { Param(materialId) }))
        return false;
    for (const QString& process : processes)
        if (!Command("INSERT INTO MaterialProcesses (MaterialId, Process) VALUES ($1, $2) ON CONFLICT DO NOTHING",
                { Param(materialId), Param(process) }))
            return false;
    return true;
}

bool PostgresDatabaseCollector::StoreProductRow(
    vtr_db::ProductTable table, const vtr_db::ProductRow& row, bool keepId, int64_t& id)
{
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    const QList<int> stored = StoredColumns(table);
    std::vector<Param> params;
    QByteArray names;
    QByteArray values;
    auto add = [&](const QByteArray& column, Param p) {
        params.push_back(std::move(p));
        names += (names.isEmpty() ? "" : ", ") + column;
        values += (values.isEmpty() ? "$" : ", $") + QByteArray::number(static_cast<qlonglong>(params.size()));
    };
    if (keepId)
        add(vtr_db::ProductSqlId(table), Param(row.id));
    for (int c : stored)
        add(columns[c].sqlName, ValueParam(columns[c], row.values[c]));
    add("RowVersion", Param(std::max<int64_t>(row.version, 1)));
    add("ChangedBy", row.changedBy.isEmpty() ? Param::Null() : Param(row.changedBy));
    add("ChangedAt", row.changedAt.isEmpty() ? Param::Null() : Param(row.changedAt));
    Result inserted(Run(QByteArray("INSERT INTO ") + vtr_db::ProductSqlTable(table) + " (" + names + ") VALUES ("
            + values + ") RETURNING " + vtr_db::ProductSqlId(table),
        params));
    if (!inserted || inserted.Rows() != 1)
        return false;
    id = inserted.Int(0, 0);
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    return processes < 0 || WriteMaterialProcesses(id, row.values[processes].toStringList());
}

bool PostgresDatabaseCollector::WriteProductRows(const vtr_db::ProductChanges& changes)
{
    const vtr_db::ProductTable table = changes.table;
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    const QList<int> stored = StoredColumns(table);
    const QByteArray name = vtr_db::ProductSqlTable(table);
    const QByteArray id = vtr_db::ProductSqlId(table);
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    const QString user = vtr_db::ChangeUser();
    const QString now = vtr_db::ChangeTime();

    for (int64_t removed : changes.removed) {
        QList<vtr_db::ProductRow> old;
        if (!ReadProductRows(table, old, "WHERE " + id + " = $1", { Param(removed) }, true))
            return false;
        if (old.isEmpty())
            continue; // somebody removed it already
        if (!Command("DELETE FROM " + name + " WHERE " + id + " = $1", { Param(removed) })
            || (processes >= 0 && !WriteMaterialProcesses(removed, {}))
            || !Log(vtr_db::kChangeProductRow, vtr_db::ProductChangeKey(table, removed),
                vtr_db::ProductRowText(table, old.first()), {}))
            return false;
    }

    for (const vtr_db::ProductRow& row : changes.rows) {
        if (const QString problem = vtr_db::CheckProductRow(table, row); !problem.isEmpty()) {
            Refuse(problem);
            return false;
        }
        vtr_db::ProductRow written = row;
        written.changedBy = user;
        written.changedAt = now;
        QList<vtr_db::ProductRow> old;
        if (row.id > 0 && !ReadProductRows(table, old, "WHERE " + id + " = $1", { Param(row.id) }, true))
            return false;
        if (!old.isEmpty()) {
            const vtr_db::ProductRow& current = old.first();
            if (row.version > 0 && current.version != row.version) {
                Refuse(QStringLiteral("%1 was changed by %2 at %3 after you read it; it now holds: %4")
                           .arg(vtr_db::ProductChangeKey(table, row.id),
                               current.changedBy.isEmpty() ? QStringLiteral("another user") : current.changedBy,
                               current.changedAt.isEmpty() ? QStringLiteral("an unknown time") : current.changedAt,
                               vtr_db::ProductRowText(table, current)));
                return false;
            }
            std::vector<Param> params;
            QByteArray update = "UPDATE " + name + " SET ";
            for (qsizetype i = 0; i < stored.size(); ++i) {
                params.push_back(ValueParam(columns[stored[i]], row.values[stored[i]]));
                update += (i ? ", " : "") + QByteArray(columns[stored[i]].sqlName) + " = $" + QByteArray::number(i + 1);
            }
            params.push_back(Param(user));
            params.push_back(Param(written.changedAt));
            params.push_back(Param(row.id));
            update += ", RowVersion = RowVersion + 1, ChangedBy = $" + QByteArray::number(stored.size() + 1)
                + ", ChangedAt = $" + QByteArray::number(stored.size() + 2) + " WHERE " + id + " = $"
                + QByteArray::number(stored.size() + 3);
            if (!Result(Run(update, params)))
                return false;
            if (processes >= 0 && !WriteMaterialProcesses(row.id, row.values[processes].toStringList()))
                return false;
            const QString before = vtr_db::ProductRowText(table, current);
            const QString after = vtr_db::ProductRowText(table, row);
            if (before != after
                && !Log(vtr_db::kChangeProductRow, vtr_db::ProductChangeKey(table, row.id), before, after))
                return false;
            continue;
        }
        // New, or removed by another seat meanwhile: stored (again) rather
        // than losing the user's edit.
        written.version = 1;
        int64_t newId = 0;
        if (!StoreProductRow(table, written, false, newId)
            || !Log(vtr_db::kChangeProductRow, vtr_db::ProductChangeKey(table, newId), {},
                vtr_db::ProductRowText(table, row)))
            return false;
    }
    return true;
}

bool PostgresDatabaseCollector::WriteProductChanges(const vtr_db::ProductChanges& changes, QString& error)
{
    error.clear();
    if (!Open(true) || m_schemaVersion < 3) {
        error = m_conn ? QStringLiteral("the database holds no product data") : m_readProblem;
        return false;
    }
    if (RefuseChange()) {
        error = m_writeProblem;
        return false;
    }
    if (changes.IsEmpty())
        return true;
    const bool ok = InTransaction(
        QStringLiteral("cannot store the changes of %1").arg(QLatin1String(vtr_db::ProductSqlTable(changes.table))),
        [&] { return WriteProductRows(changes); });
    if (ok)
        return true;
    if (m_refused) {
        // Refused by a check or by another's change: the editor's own words.
        error = m_refusal;
        m_writeProblem.clear();
    } else if (m_lastState == "23505") {
        error = QStringLiteral("another row already holds that value: %1").arg(ServerError());
    } else {
        error = m_lastError;
    }
    return false;
}

// -------------------------------------------------- status, log and copying

bool PostgresDatabaseCollector::ReadCounts(QList<vtr_db::TableCount>& counts)
{
    counts.clear();
    static const char* const kTables[]
        = { "CustomMessages", "UserRules", "Fasteners", "Threads", "Materials", "ChangeLog" };
    QByteArray sql = "SELECT ";
    for (size_t i = 0; i < std::size(kTables); ++i)
        sql += (i ? ", " : "") + QByteArray("(SELECT count(*) FROM ") + kTables[i] + ")";
    Result result(Run(sql));
    if (!result || result.Rows() != 1)
        return false;
    for (size_t i = 0; i < std::size(kTables); ++i)
        counts.append({ QString::fromLatin1(kTables[i]), result.Int(0, static_cast<int>(i)) });
    return true;
}

bool PostgresDatabaseCollector::ReadStatus(vtr_db::DatabaseStatus& status)
{
    status = {};
    status.module = QStringLiteral("PostgreSQL");
    status.location = Location();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK)
        Close();
    status.connected = Open(true);
    if (!status.connected) {
        status.problem = m_readProblem;
        return false;
    }
    status.schemaVersion = m_schemaVersion;
    status.readOnly = m_readOnly;
    status.problem = m_writeProblem;
    if (m_schemaVersion < vtr_db::kChangeLogVersion) {
        status.problem = QStringLiteral("The product database on %1 has schema %2 and could not be brought up to "
                                        "date: its tables cannot be counted.")
                             .arg(Location())
                             .arg(m_schemaVersion);
        return false;
    }
    if (!ReadCounts(status.counts)) {
        status.problem = QStringLiteral("The product database on %1 cannot be read: %2").arg(Location(), ServerError());
        return false;
    }
    return true;
}

bool PostgresDatabaseCollector::ReadChangeLog(
    const QString& since, QList<vtr_db::ChangeRecord>& changes, QString& error)
{
    changes.clear();
    error.clear();
    if (m_conn && PQstatus(m_conn) != CONNECTION_OK)
        Close();
    if (!Open(true)) {
        error = m_readProblem;
        return false;
    }
    if (m_schemaVersion < vtr_db::kChangeLogVersion)
        return true; // not updated yet (read-only): nothing logged
    Result rows(Run("SELECT ChangeId, ChangedAt, ChangedBy, Host, What, ItemKey, coalesce(OldValue, ''),"
                    " coalesce(NewValue, '') FROM ChangeLog WHERE $1 = '' OR ChangedAt >= $1 ORDER BY ChangeId DESC",
        { Param(since) }));
    if (!rows) {
        error = QStringLiteral("The change log on %1 cannot be read: %2").arg(Location(), ServerError());
        return false;
    }
    changes.reserve(rows.Rows());
    for (int i = 0; i < rows.Rows(); ++i)
        changes.append({ rows.Int(i, 0), rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3), rows.Text(i, 4),
            rows.Text(i, 5), rows.Text(i, 6), rows.Text(i, 7) });
    return true;
}

bool PostgresDatabaseCollector::ExportInTransaction(vtr_db::DatabaseContents& contents)
{
    contents = {};
    {
        Result rows(Run("SELECT HelpId, RuleName, Category, Message FROM CustomMessages"
                        " ORDER BY HelpId, RuleName, Category"));
        if (!rows)
            return false;
        for (int i = 0; i < rows.Rows(); ++i)
            contents.messages.append(
                { static_cast<int32_t>(rows.Int(i, 0)), rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3) });
    }
    {
        Result rows(Run("SELECT RuleKey, RuleName, Category, Element, coalesce(HelpId, 0), Version FROM UserRules"
                        " ORDER BY RowId"));
        if (!rows)
            return false;
        for (int i = 0; i < rows.Rows(); ++i)
            contents.rules.append({ rows.Text(i, 0), rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3),
                static_cast<int32_t>(rows.Int(i, 4)), static_cast<int32_t>(rows.Int(i, 5)) });
    }
    for (const vtr_db::ProductTable table :
        { vtr_db::ProductTable::Fasteners, vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials })
        if (!ReadProductRows(table, contents.products[static_cast<size_t>(table)], {}, {}))
            return false;
    Result rows(Run("SELECT ChangeId, ChangedAt, ChangedBy, Host, What, ItemKey, coalesce(OldValue, ''),"
                    " coalesce(NewValue, '') FROM ChangeLog ORDER BY ChangeId"));
    if (!rows)
        return false;
    for (int i = 0; i < rows.Rows(); ++i)
        contents.changes.append({ rows.Int(i, 0), rows.Text(i, 1), rows.Text(i, 2), rows.Text(i, 3), rows.Text(i, 4),
            rows.Text(i, 5), rows.Text(i, 6), rows.Text(i, 7) });
    return true;
}

bool PostgresDatabaseCollector::ExportContents(vtr_db::DatabaseContents& contents, QString& error)
{
    contents = {};
    error.clear();
    if (!Open(true)) {
        error = m_readProblem;
        return false;
    }
    if (m_schemaVersion < vtr_db::kChangeLogVersion) {
        error = QStringLiteral("the product database on %1 has schema %2, older than this program's: open it "
                               "read-write once to bring it up to date")
                    .arg(Location())
                    .arg(m_schemaVersion);
        return false;
    }
    // One snapshot, so that a change made meanwhile is in all or none.
    const bool ok = Command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY") && ExportInTransaction(contents);
    const QString why = ServerError();
    Command(ok ? "COMMIT" : "ROLLBACK");
    if (!ok) {
        contents = {};
        error = QStringLiteral("The product database on %1 cannot be read: %2").arg(Location(), why);
    }
    return ok;
}

bool PostgresDatabaseCollector::InsertContents(
    const vtr_db::DatabaseContents& contents, bool keepProductIds, vtr_db::CopyReport& report)
{
    if (!contents.messages.isEmpty()) {
        QByteArray data;
        for (const vtr_db::CustomMessageRecord& m : contents.messages) {
            if (m.message.isEmpty())
                continue;
            AppendCopyNumber(data, m.helpId);
            AppendCopyField(data, m.ruleName);
            AppendCopyField(data, m.category);
            AppendCopyField(data, m.message, true);
        }
        if (!CopyIn("COPY CustomMessages (HelpId, RuleName, Category, Message) FROM STDIN", data))
            return false;
    }
    if (!contents.rules.isEmpty()) {
        QByteArray data;
        for (const vtr_db::StoredRuleRecord& r : contents.rules) {
            AppendCopyField(data, r.key);
            AppendCopyField(data, r.name);
            AppendCopyField(data, r.category);
            AppendCopyField(data, r.element);
            AppendCopyNumber(data, r.helpId);
            AppendCopyField(data, Folded(r.name));
            AppendCopyField(data, Folded(r.category));
            AppendCopyNumber(data, std::max<int32_t>(r.version, 1), true);
        }
        // The versions come along; the counter stays past every one, so
        // the next write of any rule gets a version no copy holds.
        if (!CopyIn("COPY UserRules (RuleKey, RuleName, Category, Element, HelpId, FoldedName, FoldedCategory, Version)"
                    " FROM STDIN",
                data)
            || !Command("UPDATE UserRuleVersion SET Last = greatest(Last, (SELECT max(Version) FROM UserRules))"))
            return false;
        Result next(Run("SELECT greatest(coalesce((SELECT max(Next) FROM StoredRuleHelpIds), $1),"
                        " coalesce((SELECT max(HelpId) + 1 FROM UserRules), $1))",
            { Param(vtr_db::kFirstStoredRuleHelpId) }));
        if (!next || !Command("DELETE FROM StoredRuleHelpIds")
            || !Command("INSERT INTO StoredRuleHelpIds (Next) VALUES ($1)", { Param(next.Int(0, 0)) }))
            return false;
    }
    for (const vtr_db::ProductTable table :
        { vtr_db::ProductTable::Fasteners, vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials }) {
        const QList<vtr_db::ProductRow>& rows = contents.products[static_cast<size_t>(table)];
        for (const vtr_db::ProductRow& row : rows) {
            int64_t id = 0;
            if (!StoreProductRow(table, row, keepProductIds && row.id > 0, id))
                return false;
        }
        if (keepProductIds) {
            // New rows then get ids past the ones copied.
            const QByteArray name = vtr_db::ProductSqlTable(table);
            const QByteArray column = QByteArray(vtr_db::ProductSqlId(table)).toLower();
            if (!Command("SELECT setval(pg_get_serial_sequence('" + name.toLower() + "', '" + column
                    + "'), greatest((SELECT max(" + column + ") FROM " + name + "), 1))"))
                return false;
        }
    }
    if (!contents.changes.isEmpty()) {
        QByteArray data;
        for (const vtr_db::ChangeRecord& c : contents.changes) {
            AppendCopyField(data, c.time);
            AppendCopyField(data, c.user);
            AppendCopyField(data, c.host);
            AppendCopyField(data, c.what);
            AppendCopyField(data, c.key);
            AppendCopyField(data, c.oldValue.isEmpty() ? nullptr : &c.oldValue, false);
            AppendCopyField(data, c.newValue.isEmpty() ? nullptr : &c.newValue, true);
        }
        if (!CopyIn("COPY ChangeLog (ChangedAt, ChangedBy, Host, What, ItemKey, OldValue, NewValue) FROM STDIN", data))
            return false;
    }
    report.added = {
        { QStringLiteral("CustomMessages"),
            std::count_if(contents.messages.begin(), contents.messages.end(),
                [](const vtr_db::CustomMessageRecord& m) { return !m.message.isEmpty(); }) },
        { QStringLiteral("UserRules"), contents.rules.size() },
        { QStringLiteral("Fasteners"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Fasteners)].size() },
        { QStringLiteral("Threads"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Threads)].size() },
        { QStringLiteral("Materials"), contents.products[static_cast<size_t>(vtr_db::ProductTable::Materials)].size() },
        { QStringLiteral("ChangeLog"), contents.changes.size() },
    };
    return true;
}

bool PostgresDatabaseCollector::ImportContents(
    const vtr_db::DatabaseContents& contents, bool merge, vtr_db::CopyReport& report, QString& error)
{
    report = {};
    error.clear();
    if (!Open(true)) {
        error = m_readProblem;
        return false;
    }
    if (RefuseChange()) {
        error = m_writeProblem;
        return false;
    }
    for (const vtr_db::CustomMessageRecord& m : contents.messages)
        if (const QString why = Unstorable(m.ruleName + m.category + m.message, QStringLiteral("a custom message"));
            !why.isEmpty()) {
            error = why;
            return false;
        }
    vtr_db::CopyReport made;
    const bool ok = InTransaction(QStringLiteral("cannot copy into the database"), [&] {
        made = {};
        // Nobody stores a rule or a sheet while the copy looks and writes.
        if (!Command("SELECT pg_advisory_xact_lock($1)", { Param(kContentsLock) })
            || !Command("SELECT Last FROM UserRuleVersion FOR UPDATE"))
            return false;
        QList<vtr_db::TableCount> before;
        if (!ReadCounts(before))
            return false;
        auto count = [](const QList<vtr_db::TableCount>& counts, const char* table) {
            for (const vtr_db::TableCount& c : counts)
                if (c.table == QLatin1String(table))
                    return static_cast<qint64>(c.rows);
            return static_cast<qint64>(-1);
        };
        if (!merge) {
            const qint64 messages = count(before, "CustomMessages");
            const qint64 rules = count(before, "UserRules");
            const qint64 logged = count(before, "ChangeLog");
            if (messages || rules || logged) {
                Refuse(QStringLiteral("the database on %1 is not empty (%2 custom messages, %3 stored rules, %4 "
                                      "logged changes): copy into an empty database, or merge")
                           .arg(Location())
                           .arg(messages)
                           .arg(rules)
                           .arg(logged));
                return false;
            }
            // The product tables hold the seed data: the copy replaces them.
            if (!Command("DELETE FROM MaterialProcesses") || !Command("DELETE FROM Fasteners")
                || !Command("DELETE FROM Threads") || !Command("DELETE FROM Materials"))
                return false;
            if (!InsertContents(contents, true, made))
                return false;
            QList<vtr_db::TableCount> after;
            if (!ReadCounts(after))
                return false;
            for (const vtr_db::TableCount& added : made.added) {
                const qint64 expected = added.rows;
                if (count(after, added.table.toLatin1().constData()) != expected) {
                    Refuse(QStringLiteral("%1 holds %2 rows after the copy, the source %3")
                               .arg(added.table)
                               .arg(count(after, added.table.toLatin1().constData()))
                               .arg(expected));
                    return false;
                }
            }
            return true;
        }
        vtr_db::DatabaseContents target;
        if (!ExportInTransaction(target))
            return false;
        Result next(
            Run("SELECT coalesce(max(Next), $1) FROM StoredRuleHelpIds", { Param(vtr_db::kFirstStoredRuleHelpId) }));
        if (!next)
            return false;
        const vtr_db::MergePlan plan = vtr_db::PlanMerge(target, contents, static_cast<int32_t>(next.Int(0, 0)));
        if (!InsertContents(plan.add, false, made))
            return false;
        made.differing = plan.differing;
        QList<vtr_db::TableCount> after;
        if (!ReadCounts(after))
            return false;
        for (const vtr_db::TableCount& added : made.added)
            if (count(after, added.table.toLatin1().constData())
                != count(before, added.table.toLatin1().constData()) + added.rows) {
                Refuse(QStringLiteral("%1 did not take the %2 rows merged in").arg(added.table).arg(added.rows));
                return false;
            }
        return true;
    });
    if (!ok) {
        error = m_refused ? m_refusal : m_lastError;
        return false;
    }
    m_messagesLoaded = false;
    report = made;
    return true;
}
