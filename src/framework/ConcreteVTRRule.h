#pragma once

#include "VtrRule.h"

#include <memory>
#include <utility>
#include <vector>

#include <QString>

// One child element of a rule element, kept as read so it is written back as it was.
struct VtrRuleItem
{
    QString name;
    std::vector<std::pair<QString, QString>> attributes;
    QString text;
    std::vector<VtrRuleItem> children;

    // Value of an attribute, or empty.
    QString Attribute(const QString& attributeName) const;
    // Sets an attribute, appending it when missing.
    void SetAttribute(const QString& attributeName, const QString& value);
    // First child of that name, or null.
    const VtrRuleItem* Child(const QString& childName) const;
    VtrRuleItem* Child(const QString& childName);
};

// The framework's own rule class. It reads and writes its "Rule" element
// itself: the common attributes become fields, everything else (further
// attributes, parameters, constraints, configurations) is kept in order and
// written back unchanged. Parameters whose "UnitType" attribute is "Length",
// "Angle", "Area" or "Volume" are converted by UpdateRule.
class ConcreteVTRRule : public CVtrRule
{
public:
    ConcreteVTRRule();
    ~ConcreteVTRRule() override;

    bool PopulateParametersFromXML(VtrXMLNode* ruleNode) override;
    VtrXMLNode* GetXML() override;
    bool AppendMarkup(VtrMarkupWriter& out) const override;
    bool UpdateRule(const RuleUnitSystemStructure* from, const RuleUnitSystemStructure* to) override;
    bool UpdateRule(CVtrRule* source) override;
    // Opens the rule in the editor the application registered; without one
    // nothing changes and the result is false.
    bool EditRule() override;

    // The child elements of the rule element, in order. Copies of a rule
    // share them until one of the copies asks for them to change them (the
    // non-const call), so the rules of a big file that keep a module's
    // settings hold no settings of their own.
    const std::vector<VtrRuleItem>& Items() const;
    std::vector<VtrRuleItem>& Items();
    // Whether the items are shared with another rule.
    bool ItemsShared() const { return m_items.use_count() > 1; }
    // Takes the other rule's items, shared.
    void ShareItems(const ConcreteVTRRule& other) { m_items = other.m_items; }
    // Root attributes that are not common rule attributes, in order.
    const std::vector<std::pair<QString, QString>>& ExtraAttributes() const { return m_extraAttributes; }
    std::vector<std::pair<QString, QString>>& ExtraAttributes() { return m_extraAttributes; }

    // Formats a number so that reading it back gives the same double.
    static QString FormatNumber(double value);

private:
    std::vector<std::pair<QString, QString>> m_extraAttributes;
    // Null while the rule has no items.
    std::shared_ptr<std::vector<VtrRuleItem>> m_items;
};
