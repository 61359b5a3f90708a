#include "VtrRule.h"

#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "RuleEditor.h"
#include "VTRFrameWrkUtils.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"

#include <charconv>
#include <cstring>
#include <cmath>

namespace {
IVtrRuleEditor* g_ruleEditor = nullptr;

// The attributes every rule element carries, in the order they are written.
const char* const kCommonAttributes[] = {"Name", "DisplayName", "RuleCategory", "Severity", "RuleModule", "Selected",
                                         "HelpId", "RuleId", "Validator", "LinearUnit", "AngularUnit"};

bool IsCommonAttribute(const char* name)
{
    for (const char* a : kCommonAttributes)
        if (std::strcmp(a, name) == 0)
            return true;
    return false;
}

int32_t ToInt(const QString& text, int32_t fallback)
{
    bool ok = false;
    int32_t v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

void ReadItem(pugi::xml_node node, VtrRuleItem& item)
{
    item.name = QString::fromUtf8(node.name());
    for (pugi::xml_attribute a : node.attributes())
        item.attributes.emplace_back(QString::fromUtf8(a.name()), QString::fromUtf8(a.value()));
    for (pugi::xml_node c : node.children()) {
        if (c.type() == pugi::node_element) {
            item.children.emplace_back();
            ReadItem(c, item.children.back());
        } else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            item.text += QString::fromUtf8(c.value());
        }
    }
}

void WriteItem(pugi::xml_node parent, const VtrRuleItem& item)
{
    pugi::xml_node node = parent.append_child(item.name.toUtf8().constData());
    for (const auto& [name, value] : item.attributes)
        node.append_attribute(name.toUtf8().constData()).set_value(value.toUtf8().constData());
    if (!item.text.isEmpty())
        node.append_child(pugi::node_pcdata).set_value(item.text.toUtf8().constData());
    for (const VtrRuleItem& c : item.children)
        WriteItem(node, c);
}

// Converts the numeric texts of a parameter's value children.
void ConvertItem(VtrRuleItem& item, const RuleUnits& from, const RuleUnits& to)
{
    if (item.name == QLatin1String("Parameter")) {
        const VtrUnits::Quantity kind = VtrUnits::QuantityOfUnitType(item.Attribute(QStringLiteral("UnitType")));
        if (VtrUnits::ChangesWith(kind, from, to)) {
            for (VtrRuleItem& c : item.children) {
                if (c.name != QLatin1String("Value") && c.name != QLatin1String("Recom") && c.name != QLatin1String("Alert")
                    && c.name != QLatin1String("Min") && c.name != QLatin1String("Max"))
                    continue;
                bool ok = false;
                const double v = c.text.trimmed().toDouble(&ok);
                if (!ok)
                    continue;
                c.text = ConcreteVTRRule::FormatNumber(VtrUnits::ConvertQuantity(kind, v, from, to));
            }
        }
    }
    for (VtrRuleItem& c : item.children)
        ConvertItem(c, from, to);
}
} // namespace

void VtrSetRuleEditor(IVtrRuleEditor* editor) { g_ruleEditor = editor; }
IVtrRuleEditor* VtrGetRuleEditor() { return g_ruleEditor; }

// ---------------------------------------------------------------- CVtrRule

CVtrRule::CVtrRule() = default;
CVtrRule::~CVtrRule() = default;

void CVtrRule::SetRuleCategory(const QString& v)
{
    m_category = v;
    m_categoryEnum = CVTRFrameWrkUtils::GetRuleCategoryIndex(v);
}

VtrXMLDocument* CVtrRule::XMLDocForWriting() const
{
    return VtrFrameworkXMLDoc();
}

void CVtrRule::ReadCommonAttributes(VtrXMLNode* node)
{
    QString v;
    if (node->GetAttributeValue(QStringLiteral("Name"), v))
        m_name = v;
    if (node->GetAttributeValue(QStringLiteral("DisplayName"), v))
        m_displayName = v;
    else if (m_displayName.isEmpty())
        m_displayName = m_name;
    if (node->GetAttributeValue(QStringLiteral("RuleCategory"), v))
        SetRuleCategory(v);
    if (node->GetAttributeValue(QStringLiteral("Severity"), v))
        m_criticality = ToInt(v, m_criticality);
    if (node->GetAttributeValue(QStringLiteral("RuleModule"), v))
        m_moduleName = v;
    if (node->GetAttributeValue(QStringLiteral("Selected"), v))
        m_selected = ToInt(v, m_selected);
    if (node->GetAttributeValue(QStringLiteral("HelpId"), v))
        m_helpId = ToInt(v, m_helpId);
    if (node->GetAttributeValue(QStringLiteral("RuleId"), v))
        m_ruleId = ToInt(v, m_ruleId);
    if (node->GetAttributeValue(QStringLiteral("Validator"), v))
        m_validatorName = v;
    if (node->GetAttributeValue(QStringLiteral("LinearUnit"), v))
        m_units.LinearUnit = ToInt(v, m_units.LinearUnit);
    if (node->GetAttributeValue(QStringLiteral("AngularUnit"), v))
        m_units.AngularUnit = ToInt(v, m_units.AngularUnit);
}

void CVtrRule::WriteCommonAttributes(VtrXMLNode* node) const
{
    node->AddAttribute(QStringLiteral("Name"), m_name);
    node->AddAttribute(QStringLiteral("DisplayName"), m_displayName);
    node->AddAttribute(QStringLiteral("RuleCategory"), m_category);
    node->AddAttribute(QStringLiteral("Severity"), QString::number(m_criticality));
    node->AddAttribute(QStringLiteral("RuleModule"), m_moduleName);
    node->AddAttribute(QStringLiteral("Selected"), QString::number(m_selected));
    node->AddAttribute(QStringLiteral("HelpId"), QString::number(m_helpId));
    node->AddAttribute(QStringLiteral("RuleId"), QString::number(m_ruleId));
    node->AddAttribute(QStringLiteral("Validator"), m_validatorName);
    node->AddAttribute(QStringLiteral("LinearUnit"), QString::number(m_units.LinearUnit));
    node->AddAttribute(QStringLiteral("AngularUnit"), QString::number(m_units.AngularUnit));
}

bool CVtrRule::PopulateParametersFromXML(VtrXMLNode* ruleNode)
{
    if (!ruleNode || ruleNode->IsNull())
        return false;
    ReadCommonAttributes(ruleNode);
    return true;
}

VtrXMLNode* CVtrRule::GetXML()
{
    VtrXMLDocument* doc = XMLDocForWriting();
    if (!doc)
        return nullptr;
    VtrXMLNode* node = doc->CreateNode(QStringLiteral("Rule"));
    if (node)
        WriteCommonAttributes(node);
    return node;
}

bool CVtrRule::UpdateRule(const RuleUnitSystemStructure* from, const RuleUnitSystemStructure* to)
{
    if (!from || !to)
        return false;
    m_units = *to;
    return true;
}

bool CVtrRule::UpdateRule(CVtrRule* source)
{
    if (!source || source == this)
        return false;
    *this = *source;
    return true;
}

bool CVtrRule::EditRule()
{
    return false;
}

// ---------------------------------------------------------------- items

QString VtrRuleItem::Attribute(const QString& attributeName) const
{
    for (const auto& [n, v] : attributes)
        if (n == attributeName)
            return v;
    return {};
}

void VtrRuleItem::SetAttribute(const QString& attributeName, const QString& value)
{
    for (auto& [n, v] : attributes)
        if (n == attributeName) {
            v = value;
            return;
        }
    attributes.emplace_back(attributeName, value);
}

const VtrRuleItem* VtrRuleItem::Child(const QString& childName) const
{
    for (const VtrRuleItem& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

VtrRuleItem* VtrRuleItem::Child(const QString& childName)
{
    for (VtrRuleItem& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

// ---------------------------------------------------------------- ConcreteVTRRule

ConcreteVTRRule::ConcreteVTRRule() = default;
ConcreteVTRRule::~ConcreteVTRRule() = default;

QString ConcreteVTRRule::FormatNumber(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    char buffer[400];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed);
    if (ec != std::errc())
        return QString::number(value, 'g', 17);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(end - buffer));
}

bool ConcreteVTRRule::PopulateParametersFromXML(VtrXMLNode* ruleNode)
{
    if (!ruleNode || ruleNode->IsNull())
        return false;
    ReadCommonAttributes(ruleNode);
    m_extraAttributes.clear();
    m_items.clear();
    pugi::xml_node node = ruleNode->Native();
    for (pugi::xml_attribute a : node.attributes())
        if (!IsCommonAttribute(a.name()))
            m_extraAttributes.emplace_back(QString::fromUtf8(a.name()), QString::fromUtf8(a.value()));
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        m_items.emplace_back();
        ReadItem(c, m_items.back());
    }
    return true;
}

VtrXMLNode* ConcreteVTRRule::GetXML()
{
    VtrXMLNode* node = CVtrRule::GetXML();
    if (!node)
        return nullptr;
    for (const auto& [name, value] : m_extraAttributes)
        node->AddAttribute(name, value);
    pugi::xml_node n = node->Native();
    for (const VtrRuleItem& item : m_items)
        WriteItem(n, item);
    return node;
}

bool ConcreteVTRRule::UpdateRule(const RuleUnitSystemStructure* from, const RuleUnitSystemStructure* to)
{
    if (!from || !to)
        return false;
    if (!(*from == *to))
        for (VtrRuleItem& item : m_items)
            ConvertItem(item, *from, *to);
    return CVtrRule::UpdateRule(from, to);
}

bool ConcreteVTRRule::UpdateRule(CVtrRule* source)
{
    if (!source || source == this)
        return false;
    // Take the settings; the rule keeps being the rule it is (its name,
    // module and place in the list do not move).
    SetCriticality(source->GetCriticality());
    if (auto* concrete = dynamic_cast<ConcreteVTRRule*>(source)) {
        m_items = concrete->m_items;
        m_extraAttributes = concrete->m_extraAttributes;
        SetRuleUnits(source->GetRuleUnits());
    }
    return true;
}

bool ConcreteVTRRule::EditRule()
{
    IVtrRuleEditor* editor = VtrGetRuleEditor();
    return editor ? editor->EditRule(*this) : false;
}
