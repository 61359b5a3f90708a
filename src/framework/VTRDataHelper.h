#pragma once

#include "ProductData.h"

#include <array>
#include <cstdint>

#include <QList>
#include <QString>
#include <QStringList>

namespace vtr_db {

// Help ids the database gives the custom and product rules users store, one
// each and never reused. Rule modules and the configurator's shipped rules
// keep below this range (their catalogues use 20000-22999 and 900000-900999).
inline constexpr int32_t kFirstStoredRuleHelpId = 1000000;
inline constexpr int32_t kLastStoredRuleHelpId = 1999999;
inline constexpr bool IsStoredRuleHelpId(int32_t helpId)
{
    return helpId >= kFirstStoredRuleHelpId && helpId <= kLastStoredRuleHelpId;
}

// One custom message of a sheet being stored.
struct CustomMessageRecord
{
    int32_t helpId = 0;
    QString ruleName;
    QString category;
    QString message; // empty removes the rule's message
};

// A stored custom or product rule: its element (markup) and its help id.
struct StoredUserRule
{
    QString element;
    int32_t helpId = 0;
    // Raised by every write of the rule; 0 where the database keeps none.
    int32_t version = 0;
};

// One entry of a database's change log: who changed what, when, from
// where, with the value before and after (empty where there was none).
struct ChangeRecord
{
    int64_t id = 0; // grows with every change; orders the log
    QString time; // UTC, ISO 8601 with seconds ("2026-12-11T10:15:02Z")
    QString user; // login name
    QString host;
    QString what; // kChangeMessage, kChangeUserRule or kChangeProductRow
    QString key; // see ChangeKey*
    QString oldValue;
    QString newValue;
};
inline constexpr char kChangeMessage[] = "custom message";
inline constexpr char kChangeUserRule[] = "user rule";
inline constexpr char kChangeProductRow[] = "product row";

// The rows of one table, for status and for copying.
struct TableCount
{
    QString table;
    int64_t rows = 0;
};

// What "db status" shows of a database.
struct DatabaseStatus
{
    QString module; // "SQLite" or "PostgreSQL"
    QString location; // a file path, or a connection string without its password
    int32_t schemaVersion = 0;
    bool connected = false;
    bool readOnly = false;
    QString problem; // why it cannot be read or written; empty when it can
    QList<TableCount> counts; // CustomMessages, UserRules, Fasteners, Threads, Materials, ChangeLog
};

// A stored custom or product rule with everything that identifies it.
struct StoredRuleRecord
{
    QString key; // "Mill", "SheetMetal", ...
    QString name;
    QString category;
    QString element;
    int32_t helpId = 0;
    int32_t version = 0;
};

// Everything a product database holds, as copied from one to another.
struct DatabaseContents
{
    QList<CustomMessageRecord> messages;
    QList<StoredRuleRecord> rules; // oldest first
    // Indexed by ProductTable; materials carry their process list.
    std::array<QList<ProductRow>, 3> products;
    QList<ChangeRecord> changes; // oldest first
};

// What copying into a database did: rows added per table and, when merging,
// the items both hold with different values (left as the target has them).
struct CopyReport
{
    QList<TableCount> added;
    QStringList differing;
};

// The product database as the program sees it. The database module
// (VtrSqliteDatabaseu.so) implements it; without that module there is no
// collector and every caller behaves as for "no database".
class IDatabaseCollector
{
public:
    virtual ~IDatabaseCollector() = default;

    // First start-up call: opens the database (creating it on first use).
    virtual int32_t Initialize() = 0;
    // Second start-up call: 1 when material data is available.
    virtual int32_t GetMaterialDataFlag() = 0;
    // Third start-up call: the database's schema version.
    virtual int32_t GetSchemaVersion() = 0;
    // Called after each external database editor closes and once at exit:
    // closes the connection and drops cached data, so the next use sees what
    // others wrote.
    virtual void Release() = 0;
    // Whether the database file is open (or can be opened).
    virtual bool IsConnected() = 0;
    // Whether the database holds usable data.
    virtual bool IsAvailable() = 0;
    // The custom message of a rule; false when it has none.
    virtual bool GetCustomMessage(int32_t helpId, const QString& ruleName, const QString& category, QString& message) = 0;
    // Stores a custom message; -1 when the database cannot be written, else 0.
    virtual int32_t AddCustomMessage(int32_t helpId, const QString& ruleName, const QString& category, const QString& message) = 0;
    // Called once after the rule list has been filled.
    virtual void OnRulesListed() = 0;
    // Stores a whole sheet of custom messages: all of them or, on failure,
    // none (-1); 0 when stored. A record without a rule name or category
    // refuses the sheet. This fallback is not all or nothing; collectors
    // that can should override it.
    virtual int32_t AddCustomMessages(const QList<CustomMessageRecord>& records)
    {
        for (const CustomMessageRecord& r : records)
            if (r.ruleName.isEmpty() || r.category.isEmpty())
                return -1;
        for (const CustomMessageRecord& r : records)
            if (AddCustomMessage(r.helpId, r.ruleName, r.category, r.message) != 0)
                return -1;
        return 0;
    }

    // Why the database could not be read (it could not be opened, or a read
    // failed) since it was last opened or released, in words for the user;
    // empty when everything asked so far was read. A caller that shows
    // stored data says this instead of showing it empty.
    virtual QString ReadProblem() { return {}; }
    // Why changes cannot be stored (the database opened read-only or was
    // made by a newer program) or why the last change failed; empty when
    // changes can be stored.
    virtual QString WriteProblem() { return {}; }

    // Custom and product rules of the configurator, kept per module key
    // ("Mill", "SheetMetal", ...). Not pure, so that other collectors need
    // not know about them.
    // The stored rule elements (markup) of a key, oldest first; false when
    // the database cannot be read.
    virtual bool GetUserRules(const QString& key, QStringList& elements)
    {
        elements.clear();
        return false;
    }
    // The stored rules of a key with their help ids and versions, oldest first; false
    // when the database cannot be read. Collectors that give no help ids
    // answer with 0 for each.
    virtual bool GetStoredUserRules(const QString& key, QList<StoredUserRule>& rules)
    {
        rules.clear();
        QStringList elements;
        if (!GetUserRules(key, elements))
            return false;
        for (const QString& e : elements)
            rules.append({ e, 0 });
        return true;
    }
    // Stores a rule element under a key, replacing the one of the same name
    // and category (case ignored, under any key) and keeping its help id; -1
    // when the database cannot be written, else 0.
    virtual int32_t AddUserRule(
        const QString& key, const QString& ruleName, const QString& category, const QString& element)
    {
        return -1;
    }
    // Stores a new rule element unless a rule of that name and category (case
    // ignored, under any key) is stored: the check and the write are one step,
    // so of two copies adding one name, one wins. 0 stored, 1 the name is
    // taken, -1 when the database cannot be written.
    virtual int32_t CreateUserRule(
        const QString& key, const QString& ruleName, const QString& category, const QString& element)
    {
        return -1;
    }
    // Removes the rule element stored under a key with exactly that name and
    // category; 1 when one was removed, 0 when none was stored, -1 when the
    // database cannot be written.
    virtual int32_t RemoveUserRule(const QString& key, const QString& ruleName, const QString& category) { return -1; }

    // Product data of the hardware, thread and material editors. Not pure
    // either. The rows of a table in stored order; false (with the reason)
    // when the database cannot be read.
    virtual bool ReadProductTable(ProductTable table, QList<ProductRow>& rows, QString& error)
    {
        rows.clear();
        error = QStringLiteral("the database holds no product data");
        return false;
    }
    // Writes an editor's changes in one transaction: all of them or, on
    // failure (with the reason), none. A row whose version is no longer the
    // stored one refuses the whole change, the reason naming who changed
    // the row, when, and what it holds now.
    virtual bool WriteProductChanges(const ProductChanges& changes, QString& error)
    {
        error = QStringLiteral("the database holds no product data");
        return false;
    }

    // The shop's view of the database: which module, where, its schema and
    // what it holds. False (with status.problem) when it cannot be read.
    virtual bool ReadStatus(DatabaseStatus& status)
    {
        status = {};
        status.problem = QStringLiteral("this database module reports no status");
        return false;
    }
    // The change log from since (UTC, ISO 8601; empty for all), newest
    // first; false with the reason when it cannot be read.
    virtual bool ReadChangeLog(const QString& since, QList<ChangeRecord>& changes, QString& error)
    {
        changes.clear();
        error = QStringLiteral("this database module keeps no change log");
        return false;
    }
    // Everything the database holds; false with the reason.
    virtual bool ExportContents(DatabaseContents& contents, QString& error)
    {
        contents = {};
        error = QStringLiteral("this database module cannot be copied from");
        return false;
    }
    // Copies contents in, in one transaction. Without merge the database
    // must hold no custom message, stored rule or logged change (product
    // tables are then replaced); with merge, what is missing is added and
    // what differs is reported and left alone. False with the reason, and
    // nothing changed, when refused or failed.
    virtual bool ImportContents(const DatabaseContents& contents, bool merge, CopyReport& report, QString& error)
    {
        report = {};
        error = QStringLiteral("this database module cannot be copied into");
        return false;
    }
};

// The database modules registered in a "ConfigModule.ini" (section
// RULE_DATABASE_MODULES: module1, module2, ... up to the first missing key),
// read as the module lists read them, %NAME% references expanded; empty when
// the file cannot be read.
QStringList RegisteredDatabaseModules(const QString& configModuleIni);

// A database module loaded for use, with its collector.
struct LoadedDatabaseModule
{
    QString path; // as loaded; empty when none
    void* library = nullptr;
    IDatabaseCollector* collector = nullptr;
};

// Finds the collector of the database module once per process.
class VTRDataHelper
{
public:
    // The module the program uses: the one VTRPRO_DATABASE_MODULE names when
    // it is set (set but empty: none); else the first module registered in
    // "ConfigModule.ini" that is not the shipped SQLite module and that loads
    // and gives a collector, so that a shop registers its server's module
    // once per seat; else the shipped SQLite module. A registered module that
    // fails is logged and passed over.
    static LoadedDatabaseModule LoadDatabaseModule();
    // Deletes the collector of a module loaded above and frees it.
    static void UnloadDatabaseModule(LoadedDatabaseModule& module);

    // The process-wide helper.
    static VTRDataHelper* getInstance();
    // The path the collector's module was loaded from; empty without one.
    QString ModulePath() const { return m_path; }
    // The collector, or null when no database module is available.
    operator IDatabaseCollector*() const { return m_collector; }
    IDatabaseCollector* GetCollector() const { return m_collector; }
    // Whether the database reports itself available (false without one).
    bool IsDatabaseAvailable() const;
    // Drops the collector and frees the module (at exit).
    void Shutdown();

private:
    VTRDataHelper();
    ~VTRDataHelper();

    void* m_library = nullptr;
    IDatabaseCollector* m_collector = nullptr;
    QString m_path;
};

} // namespace vtr_db

extern "C" {
// Exports of a database module.
typedef vtr_db::IDatabaseCollector* (*PFN_GetDbInterface)();
typedef void (*PFN_DeleteDbInterface)(vtr_db::IDatabaseCollector* collector);
}
