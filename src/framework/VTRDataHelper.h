#pragma once

#include "ProductData.h"

#include <cstdint>

#include <QList>
#include <QString>
#include <QStringList>

namespace vtr_db {

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
    // The same with the stored version of each element, which every write of
    // a rule raises beyond any version stored before (0 where the database
    // keeps none).
    virtual bool GetUserRules(const QString& key, QStringList& elements, QList<int32_t>& versions)
    {
        const bool ok = GetUserRules(key, elements);
        versions = QList<int32_t>(elements.size(), 0);
        return ok;
    }
    // Stores a rule element under a key, replacing the one of the same name
    // and category; -1 when the database cannot be written, else 0.
    virtual int32_t AddUserRule(
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
    // failure (with the reason), none.
    virtual bool WriteProductChanges(const ProductChanges& changes, QString& error)
    {
        error = QStringLiteral("the database holds no product data");
        return false;
    }
};

// Finds the collector of the database module once per process.
class VTRDataHelper
{
public:
    // The process-wide helper.
    static VTRDataHelper* getInstance();
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
};

} // namespace vtr_db

extern "C" {
// Exports of a database module.
typedef vtr_db::IDatabaseCollector* (*PFN_GetDbInterface)();
typedef void (*PFN_DeleteDbInterface)(vtr_db::IDatabaseCollector* collector);
}
