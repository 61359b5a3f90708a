#pragma once

#include "DatabaseSchema.h"
#include "VTRDataHelper.h"

#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>

struct pg_conn;
struct pg_result;

// The product database on a shop's PostgreSQL server, shared by every seat.
// The server comes from vtr_db::DatabaseServer() (a libpq connection
// string); the schema is created and migrated forward in one transaction
// under an advisory lock, so seats starting together migrate once. Every
// change is one transaction that also writes the change log and notifies
// the other seats, which drop their cached messages when they hear of it.
// A serialization failure, a deadlock or a dropped connection is retried
// once; otherwise the change is reported and nothing of it is stored.
class PostgresDatabaseCollector final : public vtr_db::IDatabaseCollector
{
public:
    PostgresDatabaseCollector();
    ~PostgresDatabaseCollector() override;
    PostgresDatabaseCollector(const PostgresDatabaseCollector&) = delete;
    PostgresDatabaseCollector& operator=(const PostgresDatabaseCollector&) = delete;

    int32_t Initialize() override;
    int32_t GetMaterialDataFlag() override;
    int32_t GetSchemaVersion() override;
    void Release() override;
    bool IsConnected() override;
    bool IsAvailable() override;
    bool GetCustomMessage(int32_t helpId, const QString& ruleName, const QString& category, QString& message) override;
    int32_t AddCustomMessage(
        int32_t helpId, const QString& ruleName, const QString& category, const QString& message) override;
    int32_t AddCustomMessages(const QList<vtr_db::CustomMessageRecord>& records) override;
    void OnRulesListed() override { }
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
    bool ImportContents(
        const vtr_db::DatabaseContents& contents, bool merge, vtr_db::CopyReport& report, QString& error) override;

    // A parameter of a statement: text, a number or NULL.
    struct Param
    {
        QByteArray bytes;
        bool null = false;
        Param(const QString& text)
            : bytes(text.toUtf8())
        { }
        Param(const char* text)
            : bytes(text)
        { }
        template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
        Param(Number n)
            : bytes(QByteArray::number(static_cast<qlonglong>(n)))
        { }
        static Param Null()
        {
            Param p(QString {});
            p.null = true;
            return p;
        }
    };

private:
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

    // Connects unless connected to the server in force. A server that
    // failed is not tried again until Release, unless retry (a change the
    // user asked for) says to.
    bool Open(bool retry = false);
    void Close();
    bool Migrate();
    bool SeedProducts();
    bool NumberStoredRules();
    int32_t ReadSchemaVersion();
    // Runs sql with params; null (with the failure remembered) when it failed.
    pg_result* Run(const QByteArray& sql, std::initializer_list<Param> params = {});
    pg_result* Run(const QByteArray& sql, const std::vector<Param>& params);
    // Runs a statement whose result is not needed; false when it failed.
    bool Command(const QByteArray& sql, std::initializer_list<Param> params = {});
    // Sends rows (already in COPY text form) through COPY sql FROM STDIN.
    bool CopyIn(const QByteArray& sql, const QByteArray& data);
    // Runs change in one transaction, retried once after a serialization
    // failure, a deadlock or a lost connection; false, rolled back and with
    // the reason kept, otherwise. change returns false to give up.
    template <typename Change> bool InTransaction(const QString& what, Change&& change);
    // Marks the running change as refused for a reason of its own (no retry).
    void Refuse(const QString& reason);
    bool RefuseChange();
    bool CanWriteUserRules(const QString& key, const QString& ruleName, const QString& element);
    bool WriteUserRule(const QString& key, const QString& ruleName, const QString& category, const QString& element,
        bool replace, bool& taken);
    int32_t TakeStoredRuleHelpId();
    bool LoadMessages();
    // Drops the message cache when another seat has changed something.
    void HearOthers();
    bool ReadProductRows(vtr_db::ProductTable table, QList<vtr_db::ProductRow>& rows, const QByteArray& where,
        std::initializer_list<Param> params, bool lock = false);
    bool WriteProductRows(const vtr_db::ProductChanges& changes);
    bool StoreProductRow(vtr_db::ProductTable table, const vtr_db::ProductRow& row, bool keepId, int64_t& id);
    bool WriteMaterialProcesses(int64_t materialId, const QStringList& processes);
    bool Log(const QString& what, const QString& key, const QString& oldValue, const QString& newValue);
    bool InsertContents(const vtr_db::DatabaseContents& contents, bool keepProductIds, vtr_db::CopyReport& report);
    bool ReadCounts(QList<vtr_db::TableCount>& counts);
    bool ExportInTransaction(vtr_db::DatabaseContents& contents);
    // The server's words for the last failure, with any password taken out.
    QString ServerError() const;
    void ReadFailed(const QString& what);
    void WriteFailed(const QString& what);
    QString Location() const;

    pg_conn* m_conn = nullptr;
    QString m_server; // the connection string m_conn was opened with
    QString m_failedServer; // the server that last failed to connect, until Release
    QString m_password; // of m_server, to take out of the server's messages
    int32_t m_schemaVersion = 0;
    bool m_readOnly = false;
    bool m_messagesLoaded = false;
    QElapsedTimer m_heard; // since the server's notices were last read
    QHash<MessageKey, QString> m_messages;
    QByteArray m_lastState; // SQLSTATE of the last failed statement
    QString m_lastServerError;
    bool m_refused = false;
    QString m_refusal;
    QString m_lastError;
    QString m_readProblem;
    QString m_writeProblem;
};
