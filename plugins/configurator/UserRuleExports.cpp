// Exports through which the rule-creation program and the command-line tool
// keep users' custom and product rules in the product database, one element
// per rule under the key of the rule module its category belongs to.

#include "PLQRuleConfigurator.h"
#include "ProductRuleCatalogue.h"
#include "PtrArray.h"
#include "RuleMarkup.h"
#include "VTRDataHelper.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <memory>

#include <QMap>
#include <QStringList>

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
vtr_db::IDatabaseCollector* Collector(QString* error)
{
    vtr_db::IDatabaseCollector* collector = vtr_db::VTRDataHelper::getInstance()->GetCollector();
    if (!collector && error)
        *error = QStringLiteral("The product database is not available.");
    return collector;
}

// The collector's own reason when it gives one, else the general text.
QString Reason(const QString& problem, const char* general)
{
    return problem.isEmpty() ? QString::fromLatin1(general) : problem;
}

struct Stored
{
    QString key;
    std::unique_ptr<CPLQRuleConfigurator> rule;
};

// Every readable stored rule, key by key; false when the database cannot be read.
bool ReadAll(std::vector<Stored>& out, QString* error)
{
    vtr_db::IDatabaseCollector* collector = Collector(error);
    if (!collector)
        return false;
    for (const ProductRuleKey& k : ProductRuleCatalogue::Keys()) {
        const QString key = QLatin1String(k.key);
        QList<vtr_db::StoredUserRule> stored;
        if (!collector->GetStoredUserRules(key, stored)) {
            if (error)
                *error = Reason(collector->ReadProblem(), "The product database cannot be read.");
            return false;
        }
        for (const vtr_db::StoredUserRule& s : stored)
            if (auto rule = RuleFromMarkup(s.element)) {
                rule->SetHelpId(s.helpId);
                rule->SetStoredVersion(s.version);
                out.push_back({ key, std::move(rule) });
            }
    }
    return true;
}

bool Same(const CVtrRule& rule, const QString& name, const QString& category)
{
    return rule.GetRuleName().compare(name, Qt::CaseInsensitive) == 0
        && rule.GetRuleCategory().compare(category, Qt::CaseInsensitive) == 0;
}

// Removes every stored rule of that name and category (case ignored), under any key.
int32_t RemoveAll(const QString& name, const QString& category, QString* error)
{
    std::vector<Stored> stored;
    if (!ReadAll(stored, error))
        return -1;
    vtr_db::IDatabaseCollector* collector = Collector(error);
    int32_t removed = 0;
    for (const Stored& s : stored) {
        if (!Same(*s.rule, name, category))
            continue;
        const int32_t result = collector->RemoveUserRule(s.key, s.rule->GetRuleName(), s.rule->GetRuleCategory());
        if (result < 0) {
            if (error)
                *error = Reason(collector->WriteProblem(), "The product database cannot be written.");
            return -1;
        }
        removed += result;
    }
    return removed;
}

// Whether the rule a write would replace (the one edited, else the one of the
// rule's own name) is stored as the version the rule was read from; a rule
// stored since, or stored where the writer read none, is not overwritten.
// False with the reason in error.
bool StoredSince(const CVtrRule& rule, const QString& previousName, const QString& previousCategory, QString* error)
{
    const auto* copy = dynamic_cast<const CPLQRuleConfigurator*>(&rule);
    const int32_t read = copy ? copy->StoredVersion() : 0;
    const QString name = previousName.isEmpty() ? rule.GetRuleName() : previousName;
    const QString category = previousName.isEmpty() ? rule.GetRuleCategory() : previousCategory;
    std::vector<Stored> stored;
    if (!ReadAll(stored, error))
        return false;
    const bool renamed = !previousName.isEmpty() && !Same(rule, previousName, previousCategory);
    for (const Stored& s : stored) {
        // A rename onto another stored rule would replace that rule unseen.
        if (renamed && Same(*s.rule, rule.GetRuleName(), rule.GetRuleCategory())) {
            if (error)
                *error = QStringLiteral("\"%1\" (%2) is already stored: choose another name.")
                             .arg(s.rule->GetRuleName(), s.rule->GetRuleCategory());
            return false;
        }
        if (!Same(*s.rule, name, category) || s.rule->StoredVersion() == read)
            continue;
        if (error)
            *error = read == 0
                ? QStringLiteral("\"%1\" (%2) is already stored: open the stored rule to change it.")
                      .arg(s.rule->GetRuleName(), s.rule->GetRuleCategory())
                : QStringLiteral("\"%1\" (%2) was changed and stored after this copy was read, so this copy "
                                 "would overwrite the newer rule: open the rule again to edit what is stored.")
                      .arg(s.rule->GetRuleName(), s.rule->GetRuleCategory());
        return false;
    }
    return true;
}
} // namespace

// The keys user rules can be stored under, each with its categories.
VTR_EXPORT void GetUserRuleKeys(QStringList* keys, QMap<QString, QStringList>* categories)
{
    for (const ProductRuleKey& k : ProductRuleCatalogue::Keys()) {
        if (keys)
            keys->append(QLatin1String(k.key));
        if (categories) {
            QStringList names;
            for (const char* c : k.categories)
                if (c)
                    names << QLatin1String(c);
            categories->insert(QLatin1String(k.key), names);
        }
    }
}

// Appends new rule objects for every stored user rule (released with
// DeleteRule) and, in keys, the key of each. False with the reason in error
// when the database cannot be read.
VTR_EXPORT bool GetStoredUserRules(PtrArray* rules, QStringList* keys, QString* error)
{
    std::vector<Stored> stored;
    if (!rules || !ReadAll(stored, error))
        return false;
    for (Stored& s : stored) {
        if (keys)
            keys->append(s.key);
        rules->Add(static_cast<CVtrRule*>(s.rule.release()));
    }
    return true;
}

// Stores a rule's element under a key. A rule stored before under
// previousName and previousCategory (the rule being edited; may be empty) is
// replaced, under whatever key it was. 0 when stored, -1 with the reason in error.
VTR_EXPORT int32_t StoreUserRule(const QString* key, CVtrRule* rule, const QString* previousName,
    const QString* previousCategory, const QString* markup, QString* error)
{
    if (!key || key->isEmpty() || !rule || !markup || markup->isEmpty()) {
        if (error)
            *error = QStringLiteral("Nothing to store.");
        return -1;
    }
    vtr_db::IDatabaseCollector* collector = Collector(error);
    if (!collector)
        return -1;
    const QString oldName = previousName ? *previousName : QString();
    const QString oldCategory = previousCategory ? *previousCategory : QString();
    if (!StoredSince(*rule, oldName, oldCategory, error))
        return -1;
    // Written first, so that a failure leaves the rule as it was stored.
    if (collector->AddUserRule(*key, rule->GetRuleName(), rule->GetRuleCategory(), *markup) != 0) {
        if (error)
            *error = Reason(collector->WriteProblem(), "The product database cannot be written.");
        return -1;
    }
    // Then one element per rule: the element it had before a rename or a
    // move, and the same rule under another key or case, go.
    std::vector<Stored> stored;
    if (!ReadAll(stored, error))
        return -1;
    for (const Stored& s : stored) {
        const bool written = s.key == *key && s.rule->GetRuleName() == rule->GetRuleName()
            && s.rule->GetRuleCategory() == rule->GetRuleCategory();
        if (written)
            continue;
        if (!Same(*s.rule, rule->GetRuleName(), rule->GetRuleCategory())
            && (oldName.isEmpty() || !Same(*s.rule, oldName, oldCategory)))
            continue;
        if (collector->RemoveUserRule(s.key, s.rule->GetRuleName(), s.rule->GetRuleCategory()) < 0) {
            if (error)
                *error = Reason(collector->WriteProblem(), "The product database cannot be written.");
            return -1;
        }
    }
    return 0;
}

// Stores a new rule's element under a key unless a rule of its name and
// category (case ignored) is stored: the check and the write are one step of
// the database. 0 when stored, 1 when the name is taken, -1 with the reason
// in error.
VTR_EXPORT int32_t CreateUserRule(const QString* key, CVtrRule* rule, const QString* markup, QString* error)
{
    if (!key || key->isEmpty() || !rule || !markup || markup->isEmpty()) {
        if (error)
            *error = QStringLiteral("Nothing to store.");
        return -1;
    }
    vtr_db::IDatabaseCollector* collector = Collector(error);
    if (!collector)
        return -1;
    const int32_t result = collector->CreateUserRule(*key, rule->GetRuleName(), rule->GetRuleCategory(), *markup);
    if (result == 1 && error)
        *error = QStringLiteral("name taken: a rule named \"%1\" is already stored in %2.")
                     .arg(rule->GetRuleName(), rule->GetRuleCategory());
    else if (result < 0 && error)
        *error = Reason(collector->WriteProblem(), "The product database cannot be written.");
    return result < 0 ? -1 : result;
}

// Removes the stored rule of that name and category (case ignored): 1 when
// one was removed, 0 when none is stored, -1 with the reason in error.
VTR_EXPORT int32_t RemoveUserRule(const QString* name, const QString* category, QString* error)
{
    if (!name || !category)
        return 0;
    const int32_t removed = RemoveAll(*name, *category, error);
    return removed < 0 ? -1 : (removed > 0 ? 1 : 0);
}
