#pragma once

// Helpers the list controller's filling and matching share.

#include "VtrRule.h"

#include <QString>
#include <QStringView>

namespace RuleListDetail {

inline const QString kUserDefinedModule = QStringLiteral("Interactive User Defined Rule");
inline const QString kVstaModule = QStringLiteral("VSTA Rule");
inline const QString kManualCheck = QStringLiteral("Manual Check Rules");
inline const QString kManualCheckDrafting = QStringLiteral("Manual Check Drafting Rules");

inline bool IsUserDefined(const CVtrRule* rule)
{
    return rule->GetRuleModuleName() == kUserDefinedModule || rule->GetRuleModuleName() == kVstaModule;
}

inline QStringView FileNameViewOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringView(path) : QStringView(path).mid(slash + 1);
}

inline QString FileNameOf(const QString& path)
{
    return FileNameViewOf(path).toString();
}

} // namespace RuleListDetail
