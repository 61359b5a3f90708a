#include "userrules/UserDefinedRuleCriticality.h"

#include "Utilities/StringTable.h"

namespace {
constexpr int kFirstString = 61633;
constexpr int kCount = 5;
} // namespace

QStringList UserDefinedRuleCriticality::Entries()
{
    QStringList words;
    for (int i = 0; i < kCount; ++i)
        words << VtrString(kFirstString + i);
    return words;
}

int UserDefinedRuleCriticality::EntryOf(int32_t criticality)
{
    return criticality >= 1 && criticality <= kCount ? criticality - 1 : 0;
}

int32_t UserDefinedRuleCriticality::CodeOf(const QString& text)
{
    const QStringList words = Entries();
    for (int i = 0; i < kCount; ++i)
        if (text == words[i])
            return i + 1;
    return 0;
}
