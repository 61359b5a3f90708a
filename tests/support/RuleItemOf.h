#pragma once

#include "ConcreteVTRRule.h"

#include <utility>
#include <vector>

#include <QString>

// One child element of a rule, built in one expression.
inline VtrRuleItem RuleItemOf(const QString& name, std::vector<std::pair<QString, QString>> attributes = {},
    const QString& text = {}, std::vector<VtrRuleItem> children = {})
{
    VtrRuleItem item;
    item.name = name;
    item.attributes = std::move(attributes);
    item.text = text;
    item.children = std::move(children);
    return item;
}
