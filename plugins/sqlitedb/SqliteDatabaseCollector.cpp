#include "SqliteDatabaseCollector.h"

#include "ChangeLogText.h"
#include "DatabaseSchema.h"
#include "ProductSeed.h"
#include "VTRFrameWrkUtils.h"
#include "VtrProLog.h"
#include "VtrRegularFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QSet>

namespace {
constexpr int kBusyTimeoutMs = 10000;
const char kFileName[] = "VTRProDatabase.sqlite";

bool NumberStoredRules(sqlite3* db);
bool SeedProducts(sqlite3* db);

const char* const kStatements[] = {
    "SELECT HelpId, RuleName, Category, Message FROM CustomMessages",
    "INSERT INTO CustomMessages (HelpId, RuleName, Category, Message) VALUES (?1, ?2, ?3, ?4)"
    " ON CONFLICT (HelpId, RuleName, Category) DO UPDATE SET Message = excluded.Message",
    "DELETE FROM CustomMessages WHERE HelpId = ?1 AND RuleName = ?2 AND Category = ?3",
    "SELECT Element, 0, 0 FROM UserRules WHERE RuleKey = ?1 ORDER BY rowid",
    "SELECT Element, coalesce(HelpId, 0), Version FROM UserRules WHERE RuleKey = ?1 ORDER BY rowid",
    "SELECT Message FROM CustomMessages WHERE HelpId = ?1 AND RuleName = ?2 AND Category = ?3",
    "INSERT INTO ChangeLog (ChangedAt, ChangedBy, Host, What, ItemKey, OldValue, NewValue)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
};
static_assert(std::size(kStatements) == 7);

void BindText(sqlite3_stmt* statement, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

QString ColumnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

// Whether this user may write a file, or make files in a folder.
bool WritableByUs(const QString& path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

// Whether the files SQLite keeps beside a WAL database are there and writable,
// so that a folder this user may not write does not matter.
bool CompanionsWritable(const QString& path)
{
    return WritableByUs(path + QLatin1String("-wal")) && WritableByUs(path + QLatin1String("-shm"));
}

// Whether a "-wal" beside the database holds changes not yet in the file.
bool HoldsUnfoldedChanges(const QString& path)
{
    const QFileInfo wal(path + QLatin1String("-wal"));
    return wal.exists() && wal.size() > 0;
}

QByteArray ImmutableUri(const QString& path)
{
    return "file:" + QUrl::toPercentEncoding(path, "/") + "?mode=ro&immutable=1";
}

// The reason a user can act on, for an SQLite result code.
QString Cause(int code)
{
    switch (code & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return QStringLiteral("the file is damaged or is not a database");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("another program holds it locked");
    case SQLITE_READONLY:
        return QStringLiteral("it is read-only for you");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("permission denied");
    case SQLITE_CANTOPEN:
        return QStringLiteral("it cannot be opened");
    case SQLITE_FULL:
        return QStringLiteral("the disk is full");
    case SQLITE_IOERR:
        return QStringLiteral("the file cannot be read or written (input/output error)");
    default:
        return QString::fromUtf8(sqlite3_errstr(code));
    }
}

// Resets a statement when it goes out of scope, so it never holds a read lock.
struct StatementReset
{
    sqlite3_stmt* statement;
    ~StatementReset()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

// A statement prepared for one call and freed with it.
struct LocalStatement
{
    sqlite3_stmt* s = nullptr;
    LocalStatement(sqlite3* db, const QByteArray& sql) { sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr); }
    ~LocalStatement() { sqlite3_finalize(s); }
    LocalStatement(const LocalStatement&) = delete;
    LocalStatement& operator=(const LocalStatement&) = delete;
};

void LogDatabase(const QString& message)
{
    CVtrProLog::PrintMessage(QStringLiteral("Product database: ") + message, "VtrSqliteDatabase", __LINE__);
}

// A rule's identity as the unique key holds it: name and category compared
// without regard to case, as the rule list compares them.
QString Folded(const QString& text)
{
    return text.toCaseFolded();
}

// Gives the stored rules help ids in the order of their texts (not of their
// rows), so that two machines migrating the same rules give the same ids;
// moves their messages, stored under help id 0, to the new ids; and keys
// their identities. Rules that already share an identity (stored by two
// copies at once before the key existed) are kept: the first keeps the key,
// the others are logged and stay until the rule is next stored or removed.
bool NumberStoredRules(sqlite3* db)
{
    struct Row
    {
        int64_t rowid;
        QString key, name, category;
    };
    // Read whole first: the rows are updated as they are numbered.
    std::vector<Row> rows;
    {
        LocalStatement select(db, "SELECT rowid, RuleKey, RuleName, Category FROM UserRules"
                                  " ORDER BY Category, RuleName, RuleKey");
        int rc = SQLITE_ERROR;
        while (select.s && (rc = sqlite3_step(select.s)) == SQLITE_ROW)
            rows.push_back({ sqlite3_column_int64(select.s, 0), ColumnText(select.s, 1), ColumnText(select.s, 2),
                ColumnText(select.s, 3) });
        if (rc != SQLITE_DONE)
            return false;
    }
    if (rows.size() > static_cast<size_t>(vtr_db::kLastStoredRuleHelpId - vtr_db::kFirstStoredRuleHelpId + 1))
        return false;
    LocalStatement number(db, "UPDATE UserRules SET HelpId = ?1, FoldedName = ?2, FoldedCategory = ?3 WHERE rowid = ?4");
    LocalStatement messages(db, "UPDATE OR IGNORE CustomMessages SET HelpId = ?1"
                                " WHERE HelpId = 0 AND RuleName = ?2 AND Category = ?3");
    if (!number.s || !messages.s)
        return false;
    QSet<QString> identities;
    int32_t helpId = vtr_db::kFirstStoredRuleHelpId;
    for (const Row& row : rows) {
        const QString folded = Folded(row.name);
        const QString foldedCategory = Folded(row.category);
        const QString identity = folded + QChar(u'\x1f') + foldedCategory;
        sqlite3_bind_int(number.s, 1, helpId);
        if (identities.contains(identity)) {
            LogDatabase(QStringLiteral("the stored rule \"%1\" (%2) of %3 has the name of another stored rule;"
                                       " both are kept")
                            .arg(row.name, row.category, row.key));
            sqlite3_bind_null(number.s, 2);
            sqlite3_bind_null(number.s, 3);
        } else {
            identities.insert(identity);
            BindText(number.s, 2, folded);
            BindText(number.s, 3, foldedCategory);
        }
        sqlite3_bind_int64(number.s, 4, row.rowid);
        if (sqlite3_step(number.s) != SQLITE_DONE)
            return false;
        sqlite3_reset(number.s);
        sqlite3_bind_int(messages.s, 1, helpId);
        BindText(messages.s, 2, row.name);
        BindText(messages.s, 3, row.category);
        if (sqlite3_step(messages.s) != SQLITE_DONE)
            return false;
        sqlite3_reset(messages.s);
        ++helpId;
    }
    const QByteArray keys = "CREATE UNIQUE INDEX UserRulesHelpId ON UserRules (HelpId);"
                            "CREATE UNIQUE INDEX UserRulesIdentity ON UserRules (FoldedName, FoldedCategory);"
                            "INSERT INTO StoredRuleHelpIds (Next) VALUES ("
        + QByteArray::number(helpId) + ")";
    return sqlite3_exec(db, keys.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}
} // namespace

SqliteDatabaseCollector::SqliteDatabaseCollector() = default;

SqliteDatabaseCollector::~SqliteDatabaseCollector()
{
    Close();
}

QString SqliteDatabaseCollector::DatabasePath()
{
    // Resolved on every open: the database folder is a machine setting the
    // user may change while the program runs.
    QString folder = qEnvironmentVariable("VTR_PRO_DATABASE_DIR");
    if (folder.isEmpty())
        folder = CVTRFrameWrkUtils::GetDataSettingsFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QLatin1String(kFileName);
}

void SqliteDatabaseCollector::Fail(const QString& what)
{
    m_lastError = what;
    if (m_db)
        m_lastError += QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db));
    CVtrProLog::PrintMessage(QStringLiteral("Product database: ") + m_lastError, "VtrSqliteDatabase", __LINE__);
}

bool SqliteDatabaseCollector::Open()
{
    const QString path = DatabasePath();
    if (m_db) {
        // A database opened immutable (see OpenFile) is given up as soon as
        // its owner opens it, which makes the ordinary read-only way work.
        if (path == m_openPath && !(m_immutable && QFileInfo::exists(path + QLatin1String("-shm"))))
            return true;
        // Otherwise the database folder was moved (Application Directories):
        // nothing more is read from, or stored in, the old file.
        Close();
    }
    // The rule list asks once per rule: a file that failed is not tried (and
    // logged) again for each one, only after a release or when the folder moved.
    if (!m_failedPath.isEmpty() && path == m_failedPath)
        return false;
    m_failedPath.clear();
    m_readProblem.clear();
    m_writeProblem.clear();
    const QByteArray file = QFile::encodeName(path);
    const QString folder = QFileInfo(path).absolutePath();
    const bool forceReadOnly = qEnvironmentVariable("VTRPRO_DATABASE_READONLY") == QLatin1String("1");

    // Look before SQLite opens anything: opening a FIFO for reading waits for
    // a writer that may never come, and the folder is shared by every user.
    struct stat st = {};
    const bool present = ::lstat(file.constData(), &st) == 0;
    if (!present && errno != ENOENT) {
        ReadFailed(QStringLiteral("%1 cannot be looked at: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        m_failedPath = path;
        return false;
    }
    if (present) {
        QString why;
        if (!VtrIsRegularFile(path, &why)) {
            if (S_ISLNK(st.st_mode) && !QFileInfo::exists(path))
                why = QStringLiteral("it is a link to %1, which does not exist").arg(QFileInfo(path).symLinkTarget());
            ReadFailed(QStringLiteral("%1 cannot be used: %2").arg(path, why));
            m_failedPath = path;
            return false;
        }
    } else {
        if (!forceReadOnly)
            QDir().mkpath(folder); // a failure shows below
        if (forceReadOnly || !WritableByUs(folder)) {
            ReadFailed(QStringLiteral("%1 is missing and cannot be created here").arg(path));
            m_failedPath = path;
            return false;
        }
    }

    // Read-only when this user may not write the file, or may not write the
    // folder and SQLite would have to make its files there.
    const bool readOnly = forceReadOnly || (present && !WritableByUs(path))
        || (present && !WritableByUs(folder) && !CompanionsWritable(path));
    bool opened = OpenFile(path, readOnly);
    if (!opened && !readOnly && (m_lastCode == SQLITE_READONLY || m_lastCode == SQLITE_CANTOPEN)) {
        Close();
        m_readProblem.clear();
        opened = OpenFile(path, true);
    }
    if (!opened) {
        Close();
        m_failedPath = path;
        return false;
    }
    m_openPath = path;
    if (m_readOnly && m_writeProblem.isEmpty()) {
        QString why = QStringLiteral("you may not write it");
        if (forceReadOnly)
            why = QStringLiteral("it was opened read-only on purpose");
        else if (WritableByUs(path))
            why = QStringLiteral("you may not write its folder %1").arg(folder);
        m_writeProblem = QStringLiteral("The product database %1 is read-only (%2): changes cannot be stored.")
                             .arg(path, why);
    }
    // Said once for each opening, not for each refused change.
    if (!m_writeProblem.isEmpty())
        CVtrProLog::PrintMessage(QStringLiteral("Product database: ") + m_writeProblem, "VtrSqliteDatabase", __LINE__);
    return true;
}

bool SqliteDatabaseCollector::OpenFile(const QString& path, bool readOnly)
{
    const QByteArray name = QFile::encodeName(path);
    const int flags
        = SQLITE_OPEN_NOMUTEX | (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Read-only, SQLite still needs the "-shm" file of a WAL database: when
    // its owner has it open the file is there and reading takes the usual
    // locks, so what the owner writes meanwhile is read consistently. When
    // nobody has it open there is no "-shm", this user cannot make one, and
    // the read fails; then, and only when no "-wal" holds changes outside
    // the file and no "-shm" shows that anyone has it open, the file is
    // opened immutable (no locks, no journal): it is complete, and Open
    // gives the connection up as soon as a "-shm" shows that someone has
    // started writing. Immutable is never used while a writer may be there:
    // a checkpoint could then change pages under a read.
    m_immutable = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int rc = attempt ? sqlite3_open_v2(ImmutableUri(path).constData(), &m_db, flags | SQLITE_OPEN_URI, nullptr)
                         : sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
            sqlite3_extended_result_codes(m_db, 1);
            // A file the user may not write is opened read-only by SQLite
            // even when asked for read-write, but then fails on a WAL
            // database: open it read-only on purpose instead.
            if (!readOnly && sqlite3_db_readonly(m_db, "main") == 1) {
                m_lastCode = SQLITE_READONLY;
                return false;
            }
            // Reading the schema is the first access to the file: a file
            // that is not a database fails here and is left as it is.
            rc = ExecCode("SELECT count(*) FROM sqlite_master");
        }
        if (rc == SQLITE_OK) {
            m_immutable = attempt == 1;
            break;
        }
        m_lastCode = rc & 0xff;
        const bool retry = readOnly && attempt == 0 && (m_lastCode == SQLITE_READONLY || m_lastCode == SQLITE_CANTOPEN)
            && !HoldsUnfoldedChanges(path) && !QFileInfo::exists(path + QLatin1String("-shm"));
        if (!retry) {
            QString cause = Cause(m_lastCode);
            if (readOnly && (m_lastCode == SQLITE_READONLY || m_lastCode == SQLITE_CANTOPEN)
                && HoldsUnfoldedChanges(path))
                cause = QStringLiteral("its last changes are still in %1-wal and you may not write its folder to "
                                       "read them; opening it once as its owner folds them in")
                            .arg(QFileInfo(path).fileName());
            if (m_lastCode == SQLITE_NOTADB || m_lastCode == SQLITE_CORRUPT)
                ReadFailed(QStringLiteral("%1 is not a usable database: it is damaged or not a database file").arg(path));
            else
                ReadFailed(QStringLiteral("%1 cannot be read: %2").arg(path, cause));
            return false;
        }
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_readOnly = readOnly;

    // The version is read without any lock beyond the read: the write lock
    // is taken only when an update is due, so a read does not wait for
    // another copy's change.
    m_schemaVersion = ReadSchemaVersion();
    if (m_schemaVersion > kSchemaVersion) {
        // A later build may rely on rules this one does not know to keep.
        m_readOnly = true;
        m_writeProblem = QStringLiteral("The product database %1 was made by a newer version of the program "
                                        "(schema %2, this one knows %3): changes cannot be stored.")
                             .arg(path)
                             .arg(m_schemaVersion)
                             .arg(kSchemaVersion);
    } else if (m_schemaVersion < kSchemaVersion && !m_readOnly) {
        // WAL lets readers go on while another copy writes. Where the file
        // system cannot share memory the journal stays as it is, which is
        // slower but equally safe.
        if (QueryText("PRAGMA journal_mode") != QLatin1String("wal"))
            Exec("PRAGMA journal_mode=WAL");
        if (!Migrate()) {
            m_readOnly = true;
            m_writeProblem = QStringLiteral("The product database %1 could not be brought up to date (%2): "
                                            "changes cannot be stored.")
                                 .arg(path, Cause(m_lastCode));
        }
        m_schemaVersion = ReadSchemaVersion();
    }
    if (!m_readOnly)
        MatchCompanionFiles(path);
    return true;
}

void SqliteDatabaseCollector::MatchCompanionFiles(const QString& path)
{
    // Whoever may write the database must be able to write these too, or a
    // user who only read it would lock its owner out. SQLite gives them the
    // database's mode but the maker's group; only the maker may change them.
    const QByteArray file = QFile::encodeName(path);
    struct stat database = {};
    if (::stat(file.constData(), &database) != 0)
        return;
    const mode_t mode = database.st_mode & 0666;
    // By path, never through a descriptor of our own: closing any descriptor
    // of a file drops every lock this process holds on it, and SQLite keeps
    // its locks of the shared memory file on that file.
    for (const char* suffix : { "-wal", "-shm", "-journal" }) {
        const QByteArray companion = file + suffix;
        struct stat st = {};
        if (::lstat(companion.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // Changing the group works only for a group the user belongs to.
        if (st.st_gid != database.st_gid) {
            [[maybe_unused]] const int grouped = ::lchown(companion.constData(), static_cast<uid_t>(-1), database.st_gid);
        }
        if ((st.st_mode & 07777) != mode) {
            [[maybe_unused]] const int moded = ::chmod(companion.constData(), mode);
        }
    }
}

void SqliteDatabaseCollector::ReadFailed(const QString& what)
{
    Fail(what);
    m_readProblem = QStringLiteral("The product database ") + what + QLatin1Char('.');
}

void SqliteDatabaseCollector::Close()
{
    for (sqlite3_stmt*& s : m_statements) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_readOnly = false;
    m_immutable = false;
    m_schemaVersion = 0;
    m_openPath.clear();
    m_messages.clear();
    m_messagesLoaded = false;
}

bool SqliteDatabaseCollector::Exec(const char* sql)
{
    return ExecCode(sql) == SQLITE_OK;
}

int SqliteDatabaseCollector::ExecCode(const char* sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        m_lastCode = rc & 0xff;
    return rc;
}

QString SqliteDatabaseCollector::QueryText(const char* sql)
{
    sqlite3_stmt* s = nullptr;
    QString text;
    if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        text = ColumnText(s, 0);
    sqlite3_finalize(s);
    return text;
}

int32_t SqliteDatabaseCollector::ReadSchemaVersion()
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT Version FROM SchemaVersion", -1, &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return 0;
    }
    int32_t version = 0;
    if (sqlite3_step(s) == SQLITE_ROW)
        version = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    return version;
}

bool SqliteDatabaseCollector::Migrate()
{
    // IMMEDIATE takes the write lock before the version is read again, so
    // two copies starting together migrate one after the other, not both.
    if (!Exec("BEGIN IMMEDIATE")) {
        Fail(QStringLiteral("cannot start the schema update"));
        return false;
    }
    bool ok = Exec("CREATE TABLE IF NOT EXISTS SchemaVersion (Version INTEGER NOT NULL)");
    const int32_t from = ok ? ReadSchemaVersion() : 0;
    for (int32_t v = from; ok && v < kSchemaVersion; ++v) {
        const vtr_db::SchemaStep& step = vtr_db::kSchemaSteps[v];
        ok = Exec(step.sqlite);
        if (ok && step.data == vtr_db::SchemaData::SeedProducts)
            ok = SeedProducts(m_db);
        else if (ok && step.data == vtr_db::SchemaData::NumberStoredRules)
            ok = NumberStoredRules(m_db);
    }
    if (ok && from < kSchemaVersion) {
        const QByteArray sql = QByteArray("DELETE FROM SchemaVersion; INSERT INTO SchemaVersion (Version) VALUES (")
            + QByteArray::number(kSchemaVersion) + ")";
        ok = Exec(sql.constData());
    }
    // A newer file (written by a later build meanwhile) is left as it is.
    if (ok && Exec("COMMIT"))
        return true;
    Fail(QStringLiteral("schema update from version %1 failed").arg(from));
    Exec("ROLLBACK");
    return false;
}

sqlite3_stmt* SqliteDatabaseCollector::Prepared(Statement which)
{
    if (!m_statements[which]
        && sqlite3_prepare_v3(m_db, kStatements[which], -1, SQLITE_PREPARE_PERSISTENT, &m_statements[which], nullptr)
            != SQLITE_OK) {
        Fail(QStringLiteral("cannot prepare a statement"));
        sqlite3_finalize(m_statements[which]);
        m_statements[which] = nullptr;
    }
    return m_statements[which];
}

void SqliteDatabaseCollector::WriteFailed(const QString& what)
{
    Fail(what);
    m_writeProblem = QStringLiteral("The product database %1 could not store the change: %2.")
                         .arg(m_openPath, Cause(m_lastCode));
}

bool SqliteDatabaseCollector::RefuseChange()
{
    if (!m_readOnly)
        return false;
    m_lastError = m_writeProblem;
    return true;
}

QString SqliteDatabaseCollector::ReadProblem()
{
    return m_readProblem;
}

QString SqliteDatabaseCollector::WriteProblem()
{
    // An unreadable database cannot be written either.
    if (!m_db && !m_readProblem.isEmpty())
        return m_readProblem;
    return m_writeProblem;
}

template <typename Change> bool SqliteDatabaseCollector::InTransaction(Change&& change)
{
    if (!Exec("BEGIN IMMEDIATE")) {
        WriteFailed(QStringLiteral("cannot start a change"));
        return false;
    }
    if (!change()) {
        Exec("ROLLBACK");
        return false;
    }
    if (!Exec("COMMIT")) {
        WriteFailed(QStringLiteral("cannot commit a change"));
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

bool SqliteDatabaseCollector::LoadMessages()
{
    sqlite3_stmt* s = Prepared(SelectMessages);
    if (!s)
        return false;
    StatementReset reset { s };
    QHash<MessageKey, QString> messages;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        messages.insert(MessageKey { sqlite3_column_int(s, 0), ColumnText(s, 1), ColumnText(s, 2) }, ColumnText(s, 3));
    if (rc != SQLITE_DONE) {
        m_lastCode = rc & 0xff;
        ReadFailed(QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(rc)));
        return false;
    }
    m_messages = std::move(messages);
    m_messagesLoaded = true;
    m_dataVersion = QueryText("PRAGMA data_version").toLongLong();
    m_sinceDataVersion.start();
    return true;
}

int32_t SqliteDatabaseCollector::Initialize()
{
    return Open() ? 0 : -1;
}

int32_t SqliteDatabaseCollector::GetMaterialDataFlag()
{
    if (!IsAvailable())
        return 0;
    sqlite3_stmt* s = nullptr;
    int32_t flag = 0;
    if (sqlite3_prepare_v2(m_db, "SELECT EXISTS (SELECT 1 FROM Materials)", -1, &s, nullptr) == SQLITE_OK
        && sqlite3_step(s) == SQLITE_ROW)
        flag = sqlite3_column_int(s, 0) != 0 ? 1 : 0;
    sqlite3_finalize(s);
    return flag;
}

int32_t SqliteDatabaseCollector::GetSchemaVersion()
{
    return Open() ? m_schemaVersion : 0;
}

void SqliteDatabaseCollector::Release()
{
    Close();
    m_failedPath.clear();
    m_readProblem.clear();
    m_writeProblem.clear();
}

bool SqliteDatabaseCollector::IsConnected()
{
    return Open();
}

bool SqliteDatabaseCollector::IsAvailable()
{
    return Open() && m_schemaVersion >= 1;
}

bool SqliteDatabaseCollector::GetCustomMessage(
    int32_t helpId, const QString& ruleName, const QString& category, QString& message)
{
    message.clear();
    // One query fills the cache; each listed rule is then a hash lookup. A
    // file without the table yet (read-only, never set up) holds no message.
    if (!Open() || m_schemaVersion < 1)
        return false;
    NoticeOtherWriters();
    if (!m_messagesLoaded && !LoadMessages())
        return false;
    const auto it = m_messages.constFind(MessageKey { helpId, ruleName, category });
    if (it == m_messages.constEnd())
        return false;
    message = it.value();
    return true;
}

bool SqliteDatabaseCollector::StoredMessage(
    int32_t helpId, const QString& ruleName, const QString& category, QString& message)
{
    message.clear();
    sqlite3_stmt* s = Prepared(SelectMessage);
    if (!s)
        return false;
    StatementReset reset { s };
    sqlite3_bind_int(s, 1, helpId);
    BindText(s, 2, ruleName);
    BindText(s, 3, category);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
        message = ColumnText(s, 0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool SqliteDatabaseCollector::WriteMessage(
    int32_t helpId, const QString& ruleName, const QString& category, const QString& message)
{
    QString old;
    if (!StoredMessage(helpId, ruleName, category, old))
        return false;
    if (old == message)
        return true; // nothing to store or log
    sqlite3_stmt* s = Prepared(message.isEmpty() ? DeleteMessage : UpsertMessage);
    if (!s)
        return false;
    {
        StatementReset reset { s };
        sqlite3_bind_int(s, 1, helpId);
        BindText(s, 2, ruleName);
        BindText(s, 3, category);
        if (!message.isEmpty())
            BindText(s, 4, message);
        if (const int rc = sqlite3_step(s); rc != SQLITE_DONE) {
            m_lastCode = rc & 0xff;
            return false;
        }
    }
    return LogChange(vtr_db::kChangeMessage, vtr_db::MessageChangeKey(helpId, ruleName, category), old, message);
}

bool SqliteDatabaseCollector::LogChange(
    const char* what, const QString& key, const QString& oldValue, const QString& newValue)
{
    if (m_schemaVersion < vtr_db::kChangeLogVersion)
        return true;
    sqlite3_stmt* s = Prepared(InsertChange);
    if (!s)
        return false;
    StatementReset reset { s };
    BindText(s, 1, vtr_db::ChangeTime());
    BindText(s, 2, m_user);
    BindText(s, 3, m_host);
    BindText(s, 4, QString::fromLatin1(what));
    BindText(s, 5, key);
    if (oldValue.isEmpty())
        sqlite3_bind_null(s, 6);
    else
        BindText(s, 6, oldValue);
    if (newValue.isEmpty())
        sqlite3_bind_null(s, 7);
    else
        BindText(s, 7, newValue);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE)
        m_lastCode = rc & 0xff;
    return rc == SQLITE_DONE;
}

int32_t SqliteDatabaseCollector::AddCustomMessage(
    int32_t helpId, const QString& ruleName, const QString& category, const QString& message)
{
    if (!Open())
        return -1;
    if (RefuseChange())
        return -1;
    if (!InTransaction([&] {
            if (WriteMessage(helpId, ruleName, category, message))
                return true;
            WriteFailed(QStringLiteral("cannot store the custom message of \"%1\"").arg(ruleName));
            return false;
        }))
        return -1;
    m_writeProblem.clear();
    // Keep the cache in step with our own change; what other copies write
    // shows when the list is next filled.
    if (m_messagesLoaded) {
        const MessageKey key { helpId, ruleName, category };
        if (message.isEmpty())
            m_messages.remove(key);
        else
            m_messages.insert(key, message);
    }
    return 0;
}

int32_t SqliteDatabaseCollector::AddCustomMessages(const QList<vtr_db::CustomMessageRecord>& records)
{
    for (const vtr_db::CustomMessageRecord& r : records)
        if (r.ruleName.isEmpty() || r.category.isEmpty()) {
            m_lastError = QStringLiteral("a custom message needs a rule name and a category");
            return -1;
        }
    if (!Open() || RefuseChange())
        return -1;
    // One transaction: a copy killed half-way leaves the sheet before, and a
    // second import waits on the write lock instead of mixing its rows in.
    const bool stored = InTransaction([&] {
        for (const vtr_db::CustomMessageRecord& r : records) {
            if (!WriteMessage(r.helpId, r.ruleName, r.category, r.message)) {
                m_lastCode = sqlite3_errcode(m_db) & 0xff;
                WriteFailed(QStringLiteral("cannot store the custom message of \"%1\"").arg(r.ruleName));
                return false;
            }
        }
        return true;
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

void SqliteDatabaseCollector::OnRulesListed()
{
    if (m_db && !m_readOnly)
        sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

bool SqliteDatabaseCollector::GetUserRules(const QString& key, QStringList& elements)
{
    elements.clear();
    QList<vtr_db::StoredUserRule> rules;
    if (!GetStoredUserRules(key, rules))
        return false;
    for (const vtr_db::StoredUserRule& r : rules)
        elements << r.element;
    return true;
}

bool SqliteDatabaseCollector::GetStoredUserRules(const QString& key, QList<vtr_db::StoredUserRule>& rules)
{
    rules.clear();
    if (!Open())
        return false;
    if (m_schemaVersion < 2)
        return true; // a file without the table (read-only, older) holds no rule
    // A file not yet numbered (read-only, so not migrated) lists its rules
    // without ids or versions.
    sqlite3_stmt* s = Prepared(m_schemaVersion >= kRuleIdentityVersion ? SelectUserRulesWithIds : SelectUserRules);
    if (!s)
        return false;
    StatementReset reset { s };
    BindText(s, 1, key);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW)
        rules.append({ ColumnText(s, 0), sqlite3_column_int(s, 1), sqlite3_column_int(s, 2) });
    if (rc != SQLITE_DONE) {
        m_lastCode = rc & 0xff;
        ReadFailed(QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(rc)));
        rules.clear();
        return false;
    }
    return true;
}

bool SqliteDatabaseCollector::CanWriteUserRules(const QString& key, const QString& ruleName, const QString& element)
{
    if (key.isEmpty() || ruleName.isEmpty() || element.isEmpty() || !Open())
        return false;
    if (RefuseChange())
        return false;
    if (m_schemaVersion < kRuleIdentityVersion) {
        m_lastError = QStringLiteral("the database has not been updated to keep rules");
        return false;
    }
    return true;
}

int32_t SqliteDatabaseCollector::TakeStoredRuleHelpId()
{
    // The counter only grows: a removed rule's id is never given to another,
    // whose messages and rule files would then meet the old ones.
    LocalStatement next(m_db, "SELECT max(coalesce((SELECT max(Next) FROM StoredRuleHelpIds), ?1),"
                              " coalesce((SELECT max(HelpId) + 1 FROM UserRules), ?1))");
    if (!next.s)
        return 0;
    sqlite3_bind_int(next.s, 1, vtr_db::kFirstStoredRuleHelpId);
    if (sqlite3_step(next.s) != SQLITE_ROW)
        return 0;
    const int64_t id = sqlite3_column_int64(next.s, 0);
    if (id < vtr_db::kFirstStoredRuleHelpId || id > vtr_db::kLastStoredRuleHelpId) {
        m_lastError = QStringLiteral("every help id of stored rules is used");
        return 0;
    }
    const QByteArray count = "DELETE FROM StoredRuleHelpIds; INSERT INTO StoredRuleHelpIds (Next) VALUES ("
        + QByteArray::number(id + 1) + ")";
    return Exec(count.constData()) ? static_cast<int32_t>(id) : 0;
}

bool SqliteDatabaseCollector::WriteUserRule(const QString& key, const QString& ruleName, const QString& category,
    const QString& element, bool replace, bool& taken)
{
    taken = false;
    const QString folded = Folded(ruleName);
    const QString foldedCategory = Folded(category);
    // The stored rule of this identity: the keyed one, else one kept unkeyed
    // (a duplicate from before the key, or written by an older build).
    int64_t row = 0;
    int32_t helpId = 0;
    QString oldElement;
    {
        LocalStatement find(m_db, "SELECT rowid, coalesce(HelpId, 0), RuleName, Category, Element FROM UserRules"
                                  " WHERE (FoldedName = ?1 AND FoldedCategory = ?2) OR FoldedName IS NULL"
                                  " ORDER BY FoldedName IS NULL, rowid");
        if (!find.s)
            return false;
        BindText(find.s, 1, folded);
        BindText(find.s, 2, foldedCategory);
        int rc;
        while ((rc = sqlite3_step(find.s)) == SQLITE_ROW) {
            if (Folded(ColumnText(find.s, 2)) == folded && Folded(ColumnText(find.s, 3)) == foldedCategory) {
                row = sqlite3_column_int64(find.s, 0);
                helpId = sqlite3_column_int(find.s, 1);
                oldElement = ColumnText(find.s, 4);
                break;
            }
        }
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            return false;
    }
    if (row != 0 && !replace) {
        taken = true;
        return false;
    }
    if (helpId == 0 && (helpId = TakeStoredRuleHelpId()) == 0)
        return false;
    if (row != 0) {
        // Another unkeyed row with exactly these texts would block the update.
        LocalStatement clear(m_db, "DELETE FROM UserRules WHERE RuleKey = ?1 AND RuleName = ?2 AND Category = ?3"
                                   " AND rowid <> ?4");
        BindText(clear.s, 1, key);
        BindText(clear.s, 2, ruleName);
        BindText(clear.s, 3, category);
        sqlite3_bind_int64(clear.s, 4, row);
        if (!clear.s || sqlite3_step(clear.s) != SQLITE_DONE)
            return false;
    }
    LocalStatement write(m_db,
        // Each write takes a version above every one given before, so that a
        // rule moved to another key or stored again never returns to a version
        // a copy holds.
        row != 0 ? QByteArray("UPDATE UserRules SET RuleKey = ?1, RuleName = ?2, Category = ?3, Element = ?4,"
                              " HelpId = ?5, FoldedName = ?6, FoldedCategory = ?7,"
                              " Version = (SELECT Last + 1 FROM UserRuleVersion) WHERE rowid = ?8")
                 : QByteArray("INSERT INTO UserRules (RuleKey, RuleName, Category, Element, HelpId, FoldedName,"
                              " FoldedCategory, Version) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7,"
                              " (SELECT Last + 1 FROM UserRuleVersion))"));
    if (!write.s)
        return false;
    BindText(write.s, 1, key);
    BindText(write.s, 2, ruleName);
    BindText(write.s, 3, category);
    BindText(write.s, 4, element);
    sqlite3_bind_int(write.s, 5, helpId);
    BindText(write.s, 6, folded);
    BindText(write.s, 7, foldedCategory);
    if (row != 0)
        sqlite3_bind_int64(write.s, 8, row);
    const int rc = sqlite3_step(write.s);
    if (rc == SQLITE_DONE)
        return LogChange(
            vtr_db::kChangeUserRule, vtr_db::RuleChangeKey(key, ruleName, category), oldElement, element);
    // The unique key is the last word, whatever the lookup above saw.
    taken = (rc & 0xff) == SQLITE_CONSTRAINT && !replace;
    return false;
}

int32_t SqliteDatabaseCollector::AddUserRule(
    const QString& key, const QString& ruleName, const QString& category, const QString& element)
{
    if (!CanWriteUserRules(key, ruleName, element))
        return -1;
    bool taken = false;
    if (!InTransaction([&] { return WriteUserRule(key, ruleName, category, element, true, taken); })) {
        WriteFailed(QStringLiteral("cannot store the rule \"%1\" (%2)").arg(ruleName, category));
        return -1;
    }
    return 0;
}

int32_t SqliteDatabaseCollector::CreateUserRule(
    const QString& key, const QString& ruleName, const QString& category, const QString& element)
{
    if (!CanWriteUserRules(key, ruleName, element))
        return -1;
    bool taken = false;
    if (InTransaction([&] { return WriteUserRule(key, ruleName, category, element, false, taken); }))
        return 0;
    if (taken) {
        m_lastError = QStringLiteral("a rule named \"%1\" is already stored in %2").arg(ruleName, category);
        return 1;
    }
    WriteFailed(QStringLiteral("cannot store the rule \"%1\" (%2)").arg(ruleName, category));
    return -1;
}

int32_t SqliteDatabaseCollector::RemoveUserRule(const QString& key, const QString& ruleName, const QString& category)
{
    if (key.isEmpty() || ruleName.isEmpty() || !Open())
        return -1;
    if (RefuseChange())
        return -1;
    int removed = 0;
    const bool ok = InTransaction([&] {
        // Prepared here rather than kept: removing is rare, once per command.
        LocalStatement find(m_db, "SELECT Element FROM UserRules WHERE RuleKey = ?1 AND RuleName = ?2 AND Category = ?3");
        LocalStatement remove(m_db, "DELETE FROM UserRules WHERE RuleKey = ?1 AND RuleName = ?2 AND Category = ?3");
        if (!find.s || !remove.s) {
            WriteFailed(QStringLiteral("cannot prepare the removal of a rule"));
            return false;
        }
        for (sqlite3_stmt* s : { find.s, remove.s }) {
            BindText(s, 1, key);
            BindText(s, 2, ruleName);
            BindText(s, 3, category);
        }
        const int found = sqlite3_step(find.s);
        if (found == SQLITE_DONE)
            return true;
        const QString element = found == SQLITE_ROW ? ColumnText(find.s, 0) : QString();
        if (found != SQLITE_ROW || sqlite3_step(remove.s) != SQLITE_DONE
            || !LogChange(vtr_db::kChangeUserRule, vtr_db::RuleChangeKey(key, ruleName, category), element, QString())) {
            m_lastCode = sqlite3_errcode(m_db) & 0xff;
            WriteFailed(QStringLiteral("cannot remove the rule \"%1\" (%2)").arg(ruleName, category));
            return false;
        }
        removed = 1;
        return true;
    });
    if (!ok)
        return -1;
    m_writeProblem.clear();
    return removed > 0 ? 1 : 0;
}

namespace {
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

void BindValue(sqlite3_stmt* s, int index, const vtr_db::ProductColumn& column, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        sqlite3_bind_null(s, index);
    else if (column.kind == vtr_db::ColumnKind::Number)
        sqlite3_bind_double(s, index, value.toDouble());
    else
        BindText(s, index, value.toString());
}

// Fills the product tables from the shared seed rows; a material or thread
// the user already has (of the same name) keeps its row and processes.
bool SeedProducts(sqlite3* db)
{
    for (const vtr_db::ProductTable table :
        { vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials, vtr_db::ProductTable::Fasteners }) {
        const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
        const QList<int> stored = StoredColumns(table);
        QByteArray sql = QByteArray("INSERT OR IGNORE INTO ") + vtr_db::ProductSqlTable(table) + " (";
        QByteArray values;
        for (qsizetype i = 0; i < stored.size(); ++i) {
            sql += (i ? ", " : "") + QByteArray(columns[stored[i]].sqlName);
            values += (i ? ", ?" : "?") + QByteArray::number(i + 1);
        }
        sql += ") VALUES (" + values + ")";
        LocalStatement insert(db, sql);
        LocalStatement map(db, "INSERT OR IGNORE INTO MaterialProcesses (MaterialId, Process) VALUES (?1, ?2)");
        if (!insert.s || !map.s)
            return false;
        const int processes = vtr_db::ProductColumnIndex(table, "Processes");
        for (const vtr_db::ProductRow& row : vtr_db::SeedRows(table)) {
            for (qsizetype i = 0; i < stored.size(); ++i)
                BindValue(insert.s, static_cast<int>(i) + 1, columns[stored[i]], row.values[stored[i]]);
            const bool ok = sqlite3_step(insert.s) == SQLITE_DONE;
            sqlite3_reset(insert.s);
            if (!ok)
                return false;
            if (processes < 0 || sqlite3_changes(db) == 0)
                continue;
            const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
            for (const QString& process : row.values[processes].toStringList()) {
                sqlite3_bind_int64(map.s, 1, id);
                BindText(map.s, 2, process);
                const bool mapped = sqlite3_step(map.s) == SQLITE_DONE;
                sqlite3_reset(map.s);
                if (!mapped)
                    return false;
            }
        }
    }
    return true;
}
} // namespace

QByteArray SqliteDatabaseCollector::ProductSelect(vtr_db::ProductTable table) const
{
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    QByteArray sql = QByteArray("SELECT ") + vtr_db::ProductSqlId(table);
    for (int c : StoredColumns(table))
        sql += QByteArray(", ") + columns[c].sqlName;
    // Files from before row versions (read-only, so never migrated) give none.
    sql += m_schemaVersion >= vtr_db::kChangeLogVersion ? ", RowVersion, ChangedBy, ChangedAt" : ", 0, NULL, NULL";
    return sql + " FROM " + vtr_db::ProductSqlTable(table);
}

namespace {
// A row of ProductSelect's columns.
vtr_db::ProductRow DecodeProductRow(sqlite3_stmt* s, vtr_db::ProductTable table)
{
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    const QList<int> stored = StoredColumns(table);
    vtr_db::ProductRow row;
    row.id = sqlite3_column_int64(s, 0);
    row.values.resize(static_cast<qsizetype>(columns.size()));
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const int column = static_cast<int>(i) + 1;
        switch (sqlite3_column_type(s, column)) {
        case SQLITE_NULL:
            break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            row.values[stored[i]] = columns[stored[i]].kind == vtr_db::ColumnKind::Number
                ? QVariant(sqlite3_column_double(s, column))
                : QVariant(ColumnText(s, column));
            break;
        default: {
            const QString text = ColumnText(s, column);
            if (!text.isEmpty())
                row.values[stored[i]] = text;
            break;
        }
        }
    }
    const int extra = static_cast<int>(stored.size()) + 1;
    row.version = sqlite3_column_int64(s, extra);
    row.changedBy = ColumnText(s, extra + 1);
    row.changedAt = ColumnText(s, extra + 2);
    return row;
}
} // namespace

bool SqliteDatabaseCollector::ReadProductTable(
    vtr_db::ProductTable table, QList<vtr_db::ProductRow>& rows, QString& error)
{
    rows.clear();
    if (!Open() || m_schemaVersion < 3) {
        error = m_db ? QStringLiteral("the database holds no product data") : m_lastError;
        return false;
    }
    const QByteArray sql = ProductSelect(table) + " ORDER BY " + vtr_db::ProductSqlId(table);
    QHash<int64_t, qsizetype> rowOfId;
    {
        LocalStatement select(m_db, sql);
        int rc = SQLITE_ERROR;
        while (select.s && (rc = sqlite3_step(select.s)) == SQLITE_ROW) {
            vtr_db::ProductRow row = DecodeProductRow(select.s, table);
            rowOfId.insert(row.id, rows.size());
            rows << row;
        }
        if (rc != SQLITE_DONE) {
            Fail(QStringLiteral("cannot read %1").arg(QLatin1String(vtr_db::ProductSqlTable(table))));
            error = m_lastError;
            rows.clear();
            return false;
        }
    }
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    if (processes < 0)
        return true;
    for (vtr_db::ProductRow& row : rows)
        row.values[processes] = QStringList();
    LocalStatement map(m_db, "SELECT MaterialId, Process FROM MaterialProcesses ORDER BY rowid");
    int rc = SQLITE_ERROR;
    while (map.s && (rc = sqlite3_step(map.s)) == SQLITE_ROW) {
        const auto it = rowOfId.constFind(sqlite3_column_int64(map.s, 0));
        if (it == rowOfId.constEnd())
            continue; // a map row of a material another copy deleted
        QVariant& value = rows[it.value()].values[processes];
        value = value.toStringList() << ColumnText(map.s, 1);
    }
    if (rc != SQLITE_DONE) {
        Fail(QStringLiteral("cannot read the material process map"));
        error = m_lastError;
        rows.clear();
        return false;
    }
    return true;
}

bool SqliteDatabaseCollector::ReadProductRow(vtr_db::ProductTable table, int64_t id, vtr_db::ProductRow& row, bool& found)
{
    found = false;
    LocalStatement select(m_db, ProductSelect(table) + " WHERE " + vtr_db::ProductSqlId(table) + " = ?1");
    if (!select.s)
        return false;
    sqlite3_bind_int64(select.s, 1, id);
    const int rc = sqlite3_step(select.s);
    if (rc == SQLITE_DONE)
        return true;
    if (rc != SQLITE_ROW)
        return false;
    row = DecodeProductRow(select.s, table);
    found = true;
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    if (processes < 0)
        return true;
    QStringList list;
    LocalStatement map(m_db, "SELECT Process FROM MaterialProcesses WHERE MaterialId = ?1 ORDER BY rowid");
    if (!map.s)
        return false;
    sqlite3_bind_int64(map.s, 1, id);
    int step;
    while ((step = sqlite3_step(map.s)) == SQLITE_ROW)
        list << ColumnText(map.s, 0);
    row.values[processes] = list;
    return step == SQLITE_DONE;
}

bool SqliteDatabaseCollector::WriteMaterialProcesses(int64_t materialId, const QStringList& processes)
{
    LocalStatement clear(m_db, "DELETE FROM MaterialProcesses WHERE MaterialId = ?1");
    sqlite3_bind_int64(clear.s, 1, materialId);
    if (!clear.s || sqlite3_step(clear.s) != SQLITE_DONE)
        return false;
    LocalStatement insert(m_db, "INSERT OR IGNORE INTO MaterialProcesses (MaterialId, Process) VALUES (?1, ?2)");
    for (const QString& process : processes) {
        sqlite3_bind_int64(insert.s, 1, materialId);
        BindText(insert.s, 2, process);
        if (!insert.s || sqlite3_step(insert.s) != SQLITE_DONE)
            return false;
        sqlite3_reset(insert.s);
    }
    return true;
}

bool SqliteDatabaseCollector::WriteProductRows(const vtr_db::ProductChanges& changes, QString& error)
{
    const vtr_db::ProductTable table = changes.table;
    const std::vector<vtr_db::ProductColumn>& columns = vtr_db::ProductColumns(table);
    const QList<int> stored = StoredColumns(table);
    const QByteArray name = vtr_db::ProductSqlTable(table);
    const QByteArray id = vtr_db::ProductSqlId(table);
    const int processes = vtr_db::ProductColumnIndex(table, "Processes");
    const QString now = vtr_db::ChangeTime();

    LocalStatement remove(m_db, "DELETE FROM " + name + " WHERE " + id + " = ?1");
    for (int64_t removed : changes.removed) {
        vtr_db::ProductRow old;
        bool found = false;
        if (!remove.s || !ReadProductRow(table, removed, old, found))
            return false;
        if (!found)
            continue; // deleted by another copy already
        sqlite3_bind_int64(remove.s, 1, removed);
        if (sqlite3_step(remove.s) != SQLITE_DONE)
            return false;
        sqlite3_reset(remove.s);
        if (processes >= 0 && !WriteMaterialProcesses(removed, {}))
            return false;
        if (!LogChange(vtr_db::kChangeProductRow, vtr_db::ProductChangeKey(table, removed),
                vtr_db::ProductRowText(table, old), QString()))
            return false;
    }

    // Every write raises the row's version and names its writer, so that an
    // editor that read an older version is refused instead of overwriting it.
    const int n = static_cast<int>(stored.size());
    QByteArray update = "UPDATE " + name + " SET ";
    QByteArray insert = "INSERT INTO " + name + " (";
    QByteArray placeholders;
    for (int i = 0; i < n; ++i) {
        const QByteArray column = columns[stored[i]].sqlName;
        const QByteArray parameter = "?" + QByteArray::number(i + 1);
        update += (i ? ", " : "") + column + " = " + parameter;
        insert += (i ? ", " : "") + column;
        placeholders += (i ? ", " : "") + parameter;
    }
    const QByteArray writer = "?" + QByteArray::number(n + 1);
    const QByteArray when = "?" + QByteArray::number(n + 2);
    update += ", RowVersion = RowVersion + 1, ChangedBy = " + writer + ", ChangedAt = " + when + " WHERE " + id + " = ?"
        + QByteArray::number(n + 3) + " AND (?" + QByteArray::number(n + 4) + " = 0 OR RowVersion = ?"
        + QByteArray::number(n + 4) + ")";
    insert += ", ChangedBy, ChangedAt) VALUES (" + placeholders + ", " + writer + ", " + when + ")";
    LocalStatement updating(m_db, update);
    LocalStatement inserting(m_db, insert);
    if (!updating.s || !inserting.s)
        return false;

    for (const vtr_db::ProductRow& row : changes.rows) {
        const QString problem = vtr_db::CheckProductRow(table, row);
        if (!problem.isEmpty()) {
            error = problem;
            return false;
        }
        int64_t rowId = row.id;
        vtr_db::ProductRow old;
        bool found = false;
        if (rowId > 0) {
            if (!ReadProductRow(table, rowId, old, found))
                return false;
            if (found && row.version > 0 && old.version != row.version) {
                error = ChangedMeanwhile(table, old);
                return false;
            }
        }
        if (found) {
            sqlite3_stmt* s = updating.s;
            for (int i = 0; i < n; ++i)
                BindValue(s, i + 1, columns[stored[i]], row.values[stored[i]]);
            BindText(s, n + 1, m_user);
            BindText(s, n + 2, now);
            sqlite3_bind_int64(s, n + 3, rowId);
            sqlite3_bind_int64(s, n + 4, row.version);
            const bool ok = sqlite3_step(s) == SQLITE_DONE;
            sqlite3_reset(s);
            if (!ok)
                return false;
        } else {
            // A row another copy deleted meanwhile is stored again rather than
            // losing the user's edit.
            sqlite3_stmt* s = inserting.s;
            for (int i = 0; i < n; ++i)
                BindValue(s, i + 1, columns[stored[i]], row.values[stored[i]]);
            BindText(s, n + 1, m_user);
            BindText(s, n + 2, now);
            const bool ok = sqlite3_step(s) == SQLITE_DONE;
            sqlite3_reset(s);
            if (!ok)
                return false;
            rowId = sqlite3_last_insert_rowid(m_db);
        }
        if (processes >= 0 && !WriteMaterialProcesses(rowId, row.values[processes].toStringList()))
            return false;
        const QString before = found ? vtr_db::ProductRowText(table, old) : QString();
        const QString after = vtr_db::ProductRowText(table, row);
        if (before != after
            && !LogChange(vtr_db::kChangeProductRow, vtr_db::ProductChangeKey(table, rowId), before, after))
            return false;
    }
    return true;
}

QString SqliteDatabaseCollector::ChangedMeanwhile(vtr_db::ProductTable table, const vtr_db::ProductRow& now) const
{
    const QString who = now.changedBy.isEmpty() ? QStringLiteral("another user") : now.changedBy;
    const QString when = now.changedAt.isEmpty() ? QString() : QStringLiteral(" at %1").arg(now.changedAt);
    return QStringLiteral("%1 changed this row of %2%3 after you opened the editor; it now holds %4. Nothing "
                          "was stored: note your change, press Cancel and open the editor again to see theirs.")
        .arg(who, QLatin1String(vtr_db::ProductSqlTable(table)), when, vtr_db::ProductRowText(table, now));
}

bool SqliteDatabaseCollector::WriteProductChanges(const vtr_db::ProductChanges& changes, QString& error)
{
    error.clear();
    if (!Open() || m_schemaVersion < 3) {
        error = m_db ? QStringLiteral("the database holds no product data") : m_lastError;
        return false;
    }
    if (RefuseChange()) {
        error = m_writeProblem;
        return false;
    }
    if (changes.IsEmpty())
        return true;
    if (!Exec("BEGIN IMMEDIATE")) {
        Fail(QStringLiteral("cannot start a change"));
        error = m_lastError;
        return false;
    }
    if (!WriteProductRows(changes, error)) {
        if (error.isEmpty()) {
            Fail(QStringLiteral("cannot store the changes of %1")
                     .arg(QLatin1String(vtr_db::ProductSqlTable(changes.table))));
            error = m_lastError;
        }
        Exec("ROLLBACK");
        return false;
    }
    if (!Exec("COMMIT")) {
        Fail(QStringLiteral("cannot commit a change"));
        error = m_lastError;
        Exec("ROLLBACK");
        return false;
    }
    return true;
}

void SqliteDatabaseCollector::NoticeOtherWriters()
{
    // The list asks once per rule: one look a second keeps the cost of a
    // fill flat, and a list filled again later shows what others stored.
    if (!m_messagesLoaded || (m_sinceDataVersion.isValid() && m_sinceDataVersion.elapsed() < 1000))
        return;
    m_sinceDataVersion.start();
    if (QueryText("PRAGMA data_version").toLongLong() != m_dataVersion) {
        m_messages.clear();
        m_messagesLoaded = false;
    }
}

bool SqliteDatabaseCollector::ReadStatus(vtr_db::DatabaseStatus& status)
{
    status = {};
    status.module = QStringLiteral("SQLite");
    status.location = DatabasePath();
    status.connected = Open();
    if (!status.connected) {
        status.problem = m_readProblem.isEmpty() ? m_lastError : m_readProblem;
        return false;
    }
    status.schemaVersion = m_schemaVersion;
    status.readOnly = m_readOnly;
    status.problem = m_writeProblem;
    struct Counted
    {
        const char* table;
        int32_t since; // the schema version that made it
    };
    for (const Counted& c : { Counted { "CustomMessages", 1 }, Counted { "UserRules", 2 }, Counted { "Fasteners", 3 },
             Counted { "Threads", 3 }, Counted { "Materials", 1 }, Counted { "ChangeLog", vtr_db::kChangeLogVersion } }) {
        if (m_schemaVersion < c.since)
            continue;
        LocalStatement count(m_db, QByteArray("SELECT count(*) FROM ") + c.table);
        if (!count.s || sqlite3_step(count.s) != SQLITE_ROW) {
            ReadFailed(QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(sqlite3_errcode(m_db))));
            status.problem = m_readProblem;
            return false;
        }
        status.counts.append({ QString::fromLatin1(c.table), sqlite3_column_int64(count.s, 0) });
    }
    return true;
}

namespace {
QList<vtr_db::ChangeRecord> ReadChanges(sqlite3* db, const QByteArray& sql, const QString& since, bool& ok)
{
    QList<vtr_db::ChangeRecord> changes;
    LocalStatement select(db, sql);
    ok = select.s != nullptr;
    if (!ok)
        return changes;
    BindText(select.s, 1, since);
    int rc;
    while ((rc = sqlite3_step(select.s)) == SQLITE_ROW)
        changes.append({ sqlite3_column_int64(select.s, 0), ColumnText(select.s, 1), ColumnText(select.s, 2),
            ColumnText(select.s, 3), ColumnText(select.s, 4), ColumnText(select.s, 5), ColumnText(select.s, 6),
            ColumnText(select.s, 7) });
    ok = rc == SQLITE_DONE;
    return changes;
}

const char kSelectChanges[]
    = "SELECT ChangeId, ChangedAt, ChangedBy, Host, What, ItemKey, coalesce(OldValue, ''), coalesce(NewValue, '')"
      " FROM ChangeLog WHERE ChangedAt >= ?1 ORDER BY ChangeId ";
} // namespace

bool SqliteDatabaseCollector::ReadChangeLog(const QString& since, QList<vtr_db::ChangeRecord>& changes, QString& error)
{
    changes.clear();
    if (!Open()) {
        error = m_readProblem.isEmpty() ? m_lastError : m_readProblem;
        return false;
    }
    if (m_schemaVersion < vtr_db::kChangeLogVersion)
        return true; // a file from before the log (read-only) has logged nothing
    bool ok = false;
    changes = ReadChanges(m_db, QByteArray(kSelectChanges) + "DESC", since, ok);
    if (!ok) {
        ReadFailed(QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(sqlite3_errcode(m_db))));
        error = m_readProblem;
        changes.clear();
    }
    return ok;
}

bool SqliteDatabaseCollector::ExportContents(vtr_db::DatabaseContents& contents, QString& error)
{
    contents = {};
    if (!Open()) {
        error = m_readProblem.isEmpty() ? m_lastError : m_readProblem;
        return false;
    }
    // One read transaction: a copy made while another seat writes is still
    // one moment's data.
    if (!Exec("BEGIN")) {
        error = QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(m_lastCode));
        return false;
    }
    bool ok = true;
    auto failed = [&] {
        ok = false;
        error = QStringLiteral("%1 cannot be read: %2").arg(m_openPath, Cause(sqlite3_errcode(m_db)));
    };
    if (m_schemaVersion >= 1) {
        LocalStatement select(m_db, "SELECT HelpId, RuleName, Category, Message FROM CustomMessages ORDER BY rowid");
        int rc = SQLITE_ERROR;
        while (select.s && (rc = sqlite3_step(select.s)) == SQLITE_ROW)
            contents.messages.append({ sqlite3_column_int(select.s, 0), ColumnText(select.s, 1),
                ColumnText(select.s, 2), ColumnText(select.s, 3) });
        if (rc != SQLITE_DONE)
            failed();
    }
    if (ok && m_schemaVersion >= 2) {
        const bool numbered = m_schemaVersion >= kRuleIdentityVersion;
        LocalStatement select(m_db,
            numbered ? "SELECT RuleKey, RuleName, Category, Element, coalesce(HelpId, 0), Version FROM UserRules"
                       " ORDER BY rowid"
                     : "SELECT RuleKey, RuleName, Category, Element, 0, 0 FROM UserRules ORDER BY rowid");
        int rc = SQLITE_ERROR;
        while (select.s && (rc = sqlite3_step(select.s)) == SQLITE_ROW)
            contents.rules.append({ ColumnText(select.s, 0), ColumnText(select.s, 1), ColumnText(select.s, 2),
                ColumnText(select.s, 3), sqlite3_column_int(select.s, 4), sqlite3_column_int(select.s, 5) });
        if (rc != SQLITE_DONE)
            failed();
    }
    if (ok && m_schemaVersion >= 3)
        for (const vtr_db::ProductTable table :
            { vtr_db::ProductTable::Fasteners, vtr_db::ProductTable::Threads, vtr_db::ProductTable::Materials })
            if (ok && !ReadProductTable(table, contents.products[static_cast<size_t>(table)], error))
                ok = false;
    if (ok && m_schemaVersion >= vtr_db::kChangeLogVersion) {
        contents.changes = ReadChanges(m_db, QByteArray(kSelectChanges) + "ASC", QString(), ok);
        if (!ok)
            failed();
    }
    Exec("COMMIT");
    if (!ok)
        contents = {};
    return ok;
}
