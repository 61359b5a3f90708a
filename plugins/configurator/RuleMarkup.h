#pragma once

#include <memory>

#include <QString>

class CPLQRuleConfigurator;

// Builds a rule from one element's markup; null when it is not a usable rule
// element. Shipped rules and users' stored rules are read the same way.
std::unique_ptr<CPLQRuleConfigurator> RuleFromMarkup(const QString& markup);
