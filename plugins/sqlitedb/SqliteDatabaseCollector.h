#pragma once

#include "ChangeLogText.h"
#include "DatabaseSchema.h"
#include "VTRDataHelper.h"

#include <array>
#include <cstdint>

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

struct sqlite3;
struct sqlite3_stmt;

// The product database in one SQLite file, "VTRProDatabase.sqlite" in the
// database folder ($VTR_PRO_DATABASE_DIR, else the data-settings folder).
// The file is created with its schema on first use and migrated forward in
// one transaction. Several copies of the program may share it: WAL journal,
// a busy timeout and one transaction per change. A file (or folder) that
// cannot be written is opened read-only: reads work, every change returns -1
// and WriteProblem says why. Anything at the path that is not a regular file
// (FIFO, device, folder, dangling link) is refused before SQLite opens it.
// VTRPRO_DATABASE_READONLY=1 forces read-only opening (tests running as root,
// for whom file permissions do not apply).
class SqliteDatabaseCollector final : public vtr_db::IDatabaseCollector
{
public:
    // The schema this build creates and migrates to.
    static constexpr int32_t kSchemaVersion = vtr_db::kSchemaVersion;
    static constexpr int32_t kRuleIdentityVersion = vtr_db::kRuleIdentityVersion;

    SqliteDatabaseCollector();
    ~SqliteDatabaseCollector() override;
    SqliteDatabaseCollector(const SqliteDatabaseCollector&) = delete;
    SqliteDatabaseCollector& operator=(const SqliteDatabaseCollector&) = delete;

    // Opens (and creates) the database: 0 on success, -1 when it cannot be opened.
    int32_t Initialize() override;
    // 1 when the database holds material data (seeded on first use), which
    // enables the material editors.
    int32_t GetMaterialDataFlag() override;
    // The schema version of the open file, 0 when none is open.
    int32_t GetSchemaVersion() override;
    void Release() override;
    bool IsConnected() override;
    bool IsAvailable() override;
    bool GetCustomMessage(int32_t helpId, const QString& ruleName, const QString& category, QString& message) override;
    // An empty message removes the rule's message.
    int32_t AddCustomMessage(
        int32_t helpId, const QString& ruleName, const QString& category, const QString& message) override;
    // One write transaction for the whole sheet; a second copy importing at
    // once waits for it (up to the busy timeout) or fails with nothing stored.
    int32_t AddCustomMessages(const QList<vtr_db::CustomMessageRecord>& records) override;
    // Folds the write-ahead log back into the file while nobody waits on it.
    void OnRulesListed() override;
    QString ReadProblem() override;
    QString WriteProblem() override;
    bool GetUserRules(const QString& key, QStringList& elements) override;
    bool GetStoredUserRules(const QString& key, QList<vtr_db::StoredUserRule>& rules) override;
    int32_t AddUserRule(
        const QString& key, const QString& ruleName, const QString& category, const QString& element) override;
    int32_t CreateUserRule(
        const QString& key, const QString& ruleName, const QString& category, const QString& element) override;
    int32_t RemoveUserRule(const QString& key, const QString& ruleName, const QString& category) override;

    bool ReadProductTable(vtr_db::ProductTable table, QList<vtr_db::ProductRow>& rows, QString& error) override;
    bool WriteProductChanges(const vtr_db::ProductChanges& changes, QString& error) override;

    bool ReadStatus(vtr_db::DatabaseStatus& status) override;
    bool ReadChangeLog(const QString& since, QList<vtr_db::ChangeRecord>& changes, QString& error) override;
    bool ExportContents(vtr_db::DatabaseContents& contents, QString& error) override;

    // Path of the database file as it is resolved now.
    static QString DatabasePath();
    // Whether the open connection cannot write.
    bool IsReadOnly() const { return m_readOnly; }
    // Why the last open or change failed.
    QString LastError() const { return m_lastError; }

private:
    enum Statement {
        SelectMessages,
        UpsertMessage,
        DeleteMessage,
        SelectUserRules,
        SelectUserRulesWithIds,
        SelectMessage,
        InsertChange,
        StatementCount
    };

    struct MessageKey
    {
        int32_t helpId;
        QString name;
        QString category;
        bool operator==(const MessageKey& o) const
        {
            return helpId == o.helpId && name == o.name && category == o.category;
        }
    };
    friend size_t qHash(const MessageKey& key, size_t seed)
    {
        return qHashMulti(seed, key.helpId, key.name, key.category);
    }

    bool Open();
    // Opens path, read-write or read-only, and reads its schema version;
    // false with m_readProblem set.
    bool OpenFile(const QString& path, bool readOnly);
    void Close();
    bool Migrate();
    // Gives the files SQLite made beside the database its group and mode.
    void MatchCompanionFiles(const QString& path);
    // A read failed: remembers why for ReadProblem.
    void ReadFailed(const QString& what);
    // A change failed: remembers why for WriteProblem.
    void WriteFailed(const QString& what);
    // True (with the reason kept) when the connection cannot store changes.
    bool RefuseChange();
    int32_t ReadSchemaVersion();
    bool Exec(const char* sql);
    // Runs sql; the SQLite result, kept in m_lastCode when it failed.
    int ExecCode(const char* sql);
    // The first column of the first row of a query; empty on failure.
    QString QueryText(const char* sql);
    sqlite3_stmt* Prepared(Statement which);
    bool LoadMessages();
    // Runs one change statement per call of write inside one transaction.
    bool WriteProductRows(const vtr_db::ProductChanges& changes, QString& error);
    bool WriteMaterialProcesses(int64_t materialId, const QStringList& processes);
    // Runs change inside one write transaction: committed when it returns
    // true, rolled back otherwise.
    template <typename Change> bool InTransaction(Change&& change);
    // Stores a rule element in the open write transaction: over the stored
    // rule of the same identity when replace, else only when none is stored
    // (taken is then set). False when the database refused.
    bool WriteUserRule(const QString& key, const QString& ruleName, const QString& category, const QString& element,
        bool replace, bool& taken);
    // The next unused help id of stored rules, counted on; 0 when none is left.
    int32_t TakeStoredRuleHelpId();
    // Refuses a change of user rules (with the reason) unless they can be written.
    bool CanWriteUserRules(const QString& key, const QString& ruleName, const QString& element);
    void Fail(const QString& what);
    // Logs a change in the open write transaction (files before the change
    // log have none); false when the database refused.
    bool LogChange(const char* what, const QString& key, const QString& oldValue, const QString& newValue);
    // The stored message of a rule, empty when it has none; false when the
    // database refused.
    bool StoredMessage(int32_t helpId, const QString& ruleName, const QString& category, QString& message);
    // Stores (or, when empty, removes) one message and logs it, in the open
    // write transaction.
    bool WriteMessage(int32_t helpId, const QString& ruleName, const QString& category, const QString& message);
    // Drops the message cache when another copy has changed the file since
    // it was filled; looked at no more than once a second.
    void NoticeOtherWriters();
    // The select of a product table's stored columns, with version and writer.
    QByteArray ProductSelect(vtr_db::ProductTable table) const;
    bool ReadProductRow(vtr_db::ProductTable table, int64_t id, vtr_db::ProductRow& row, bool& found);
    // Why a row read at an older version is not written.
    QString ChangedMeanwhile(vtr_db::ProductTable table, const vtr_db::ProductRow& now) const;

    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    bool m_immutable = false; // opened without locks: see OpenFile
    int m_lastCode = 0; // the primary SQLite result of the last failure
    int32_t m_schemaVersion = 0;
    bool m_messagesLoaded = false;
    QHash<MessageKey, QString> m_messages;
    std::array<sqlite3_stmt*, StatementCount> m_statements {};
    QString m_lastError;
    QString m_user = vtr_db::ChangeUser();
    QString m_host = vtr_db::ChangeHost();
    int64_t m_dataVersion = -1; // SQLite's count of other connections' commits when the cache was filled
    QElapsedTimer m_sinceDataVersion;
    QString m_failedPath; // the file that last failed to open, until Release
    QString m_openPath; // the file m_db has open
    QString m_readProblem;
    QString m_writeProblem;
};
