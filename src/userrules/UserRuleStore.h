#pragma once

#include "userrules/UserRuleDraft.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

class CPLQRuleConfigurator;

// Users' custom and product rules in the product database, reached through
// the configurator library's exports. The library stays loaded by the caller
// for as long as this object and the rules it listed live.
class UserRuleStore
{
public:
    // configuratorLibrary: a handle of "PLQRuleConfiguratoru", or null.
    explicit UserRuleStore(void* configuratorLibrary);

    // Whether the library offers every export this needs.
    bool IsUsable() const;
    // The keys and their categories.
    UserRuleKeys Keys() const;

    struct Entry
    {
        QString key;
        std::shared_ptr<CPLQRuleConfigurator> rule; // released by the configurator
    };
    // Every stored rule with its key; false with the reason when the database cannot be read.
    bool List(std::vector<Entry>& entries, QString& error) const;
    // The stored rule of that name and category (case ignored), or an empty entry.
    Entry Find(const QString& name, const QString& category, QString& error) const;
    // Stores a validated draft entered in units, replacing the stored rule
    // previousName/previousCategory. With previousName empty it creates: a
    // rule of the same name and category (case ignored) already stored
    // refuses it with an error that starts "name taken".
    bool Store(const UserRuleDraft& draft, const RuleUnits& units, const QString& previousName,
        const QString& previousCategory, QString& error);
    // 1 removed, 0 none stored, -1 with the reason in error.
    int32_t Remove(const QString& name, const QString& category, QString& error);

private:
    void* m_library;
};
