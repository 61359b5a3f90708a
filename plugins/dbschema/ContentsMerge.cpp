#include "ContentsMerge.h"

#include "ChangeLogText.h"

#include <QHash>
#include <QSet>

namespace vtr_db {

namespace {
const QChar kSeparator(u'\x1f');

QString MessageIdentity(int32_t helpId, const QString& name, const QString& category)
{
    return QString::number(helpId) + kSeparator + name + kSeparator + category;
}

QString ChangeIdentity(const ChangeRecord& c)
{
    return QStringList { c.time, c.user, c.host, c.what, c.key, c.oldValue, c.newValue }.join(kSeparator);
}

// The column a product row is matched by (case ignored): a thread's
// designation, a material's name; -1 for fasteners, matched by every value.
int IdentityColumn(ProductTable table)
{
    if (table == ProductTable::Threads)
        return ProductColumnIndex(table, "Designation");
    if (table == ProductTable::Materials)
        return ProductColumnIndex(table, "Name");
    return -1;
}

QString ProductIdentity(ProductTable table, const ProductRow& row)
{
    const int index = IdentityColumn(table);
    if (index < 0)
        return ProductRowText(table, row);
    return index < row.values.size() ? row.values[index].toString().toCaseFolded() : QString();
}

QString Quoted(const QString& text)
{
    constexpr qsizetype kShown = 400;
    return QLatin1Char('"') + (text.size() > kShown ? text.left(kShown) + QStringLiteral("...") : text)
        + QLatin1Char('"');
}
} // namespace

QString FoldedRuleIdentity(const QString& name, const QString& category)
{
    return name.toCaseFolded() + kSeparator + category.toCaseFolded();
}

MergePlan PlanMerge(const DatabaseContents& target, const DatabaseContents& source, int32_t nextHelpId)
{
    MergePlan plan;

    // Rules first: where one gets another help id its messages follow it.
    QHash<QString, const StoredRuleRecord*> targetRules;
    QSet<int32_t> usedIds;
    for (const StoredRuleRecord& r : target.rules) {
        targetRules.insert(FoldedRuleIdentity(r.name, r.category), &r);
        usedIds.insert(r.helpId);
        if (r.helpId >= nextHelpId)
            nextHelpId = r.helpId + 1;
    }
    // Source help id and folded identity -> the help id its messages go to.
    QHash<QString, int32_t> movedMessages;
    QSet<QString> added;
    for (const StoredRuleRecord& r : source.rules) {
        const QString identity = FoldedRuleIdentity(r.name, r.category);
        const QString movedKey = QString::number(r.helpId) + kSeparator + identity;
        if (const auto it = targetRules.constFind(identity); it != targetRules.constEnd()) {
            const StoredRuleRecord& here = *it.value();
            if (here.helpId != r.helpId)
                movedMessages.insert(movedKey, here.helpId);
            if (here.element != r.element || here.key != r.key)
                plan.differing << QStringLiteral("user rule %1: differs (%2 %3 here, %4 %5 in the copy)")
                                      .arg(RuleChangeKey(here.key, here.name, here.category), here.key,
                                          Quoted(here.element), r.key, Quoted(r.element));
            continue;
        }
        if (added.contains(identity))
            continue; // the source holds it twice (from before the unique key): the first counts
        added.insert(identity);
        StoredRuleRecord copy = r;
        if (!IsStoredRuleHelpId(copy.helpId) || usedIds.contains(copy.helpId)) {
            copy.helpId = nextHelpId++;
            movedMessages.insert(movedKey, copy.helpId);
        } else if (copy.helpId >= nextHelpId) {
            nextHelpId = copy.helpId + 1;
        }
        usedIds.insert(copy.helpId);
        plan.add.rules << copy;
    }
    plan.nextHelpId = nextHelpId;

    QHash<QString, const CustomMessageRecord*> targetMessages;
    for (const CustomMessageRecord& m : target.messages)
        targetMessages.insert(MessageIdentity(m.helpId, m.ruleName, m.category), &m);
    QSet<QString> addedMessages;
    for (const CustomMessageRecord& m : source.messages) {
        CustomMessageRecord copy = m;
        const auto moved = movedMessages.constFind(
            QString::number(m.helpId) + kSeparator + FoldedRuleIdentity(m.ruleName, m.category));
        if (moved != movedMessages.constEnd())
            copy.helpId = moved.value();
        const QString identity = MessageIdentity(copy.helpId, copy.ruleName, copy.category);
        if (const auto it = targetMessages.constFind(identity); it != targetMessages.constEnd()) {
            if (it.value()->message != copy.message)
                plan.differing << QStringLiteral("custom message %1: %2 here, %3 in the copy")
                                      .arg(MessageChangeKey(copy.helpId, copy.ruleName, copy.category),
                                          Quoted(it.value()->message), Quoted(copy.message));
            continue;
        }
        if (copy.message.isEmpty() || addedMessages.contains(identity))
            continue;
        addedMessages.insert(identity);
        plan.add.messages << copy;
    }

    for (const ProductTable table : { ProductTable::Fasteners, ProductTable::Threads, ProductTable::Materials }) {
        const auto index = static_cast<size_t>(table);
        QHash<QString, const ProductRow*> here;
        for (const ProductRow& row : target.products[index])
            here.insert(ProductIdentity(table, row), &row);
        QSet<QString> taken;
        for (const ProductRow& row : source.products[index]) {
            const QString identity = ProductIdentity(table, row);
            if (const auto it = here.constFind(identity); it != here.constEnd()) {
                // The key spelt in another case is the same row, not a difference.
                ProductRow same = row;
                if (const int key = IdentityColumn(table); key >= 0 && key < same.values.size())
                    same.values[key] = it.value()->values.value(key);
                const QString mine = ProductRowText(table, *it.value());
                const QString theirs = ProductRowText(table, same);
                if (mine != theirs)
                    plan.differing << QStringLiteral("product row %1: %2 here, %3 in the copy")
                                          .arg(ProductChangeKey(table, it.value()->id), Quoted(mine), Quoted(theirs));
                continue;
            }
            if (taken.contains(identity))
                continue;
            taken.insert(identity);
            ProductRow copy = row;
            copy.id = 0;
            plan.add.products[index] << copy;
        }
    }

    QSet<QString> logged;
    for (const ChangeRecord& c : target.changes)
        logged.insert(ChangeIdentity(c));
    for (const ChangeRecord& c : source.changes) {
        const QString identity = ChangeIdentity(c);
        if (logged.contains(identity))
            continue;
        logged.insert(identity);
        plan.add.changes << c;
    }
    return plan;
}

} // namespace vtr_db
