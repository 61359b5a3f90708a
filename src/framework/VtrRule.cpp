#include "VtrRule.h"

#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "RuleEditor.h"
#include "UnitConversionChecks.h"
#include "VTRFrameWrkUtils.h"
#include "VtrRuleMarkup.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrXMLNodeList.h"
#include "VtrUtf8.h"

#include <charconv>
#include <cstring>
#include <cmath>
#include <utility>

namespace {
IVtrRuleEditor* g_ruleEditor = nullptr;

// The attributes every rule element carries, in the order they are written.
enum CommonAttribute {
    kName,
    kDisplayName,
    kRuleCategory,
    kSeverity,
    kRuleModule,
    kSelected,
    kHelpId,
    kRuleId,
    kValidator,
    kLinearUnit,
    kAngularUnit,
    kCommonAttributeCount
};
const char* const kCommonAttributes[kCommonAttributeCount] = { "Name", "DisplayName", "RuleCategory", "Severity",
    "RuleModule", "Selected", "HelpId", "RuleId", "Validator", "LinearUnit", "AngularUnit" };

// Whether a NUL-terminated text is expected, compared in place: the names
// are short and a library call costs more than the comparison.
bool SameName(const char* name, const char* expected)
{
    for (; *expected; ++name, ++expected)
        if (*name != *expected)
            return false;
    return *name == '\0';
}

// The common attribute of that name, or -1. Every attribute of every rule
// read asks: two letters leave at most one name to compare.
int CommonAttributeIndex(const char* name)
{
    int index = -1;
    switch (name[0]) {
    case 'N':
        index = kName;
        break;
    case 'D':
        index = kDisplayName;
        break;
    case 'R':
        if (name[1] != 'u' || name[2] != 'l' || name[3] != 'e')
            return -1;
        index = name[4] == 'C' ? kRuleCategory : (name[4] == 'M' ? kRuleModule : kRuleId);
        break;
    case 'S':
        index = name[1] == 'e' && name[2] == 'v' ? kSeverity : kSelected;
        break;
    case 'H':
        index = kHelpId;
        break;
    case 'V':
        index = kValidator;
        break;
    case 'L':
        index = kLinearUnit;
        break;
    case 'A':
        index = kAngularUnit;
        break;
    default:
        return -1;
    }
    return index >= 0 && SameName(name, kCommonAttributes[index]) ? index : -1;
}

// Hands the value of the first attribute of each common name to values (by
// position), and every other attribute to other.
template <typename Other> void GatherAttributes(pugi::xml_node node, const char** values, Other&& other)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char* name = a.name();
        const int index = CommonAttributeIndex(name);
        if (index < 0)
            other(a);
        else if (!values[index])
            values[index] = a.value();
    }
}

int32_t ToInt(const QString& text, int32_t fallback)
{
    bool ok = false;
    int32_t v = text.trimmed().toInt(&ok);
    return ok ? v : fallback;
}

// ToInt of the text a UTF-8 value gives, without making the text for the
// usual short run of digits.
int32_t ToInt(const char* utf8, int32_t fallback)
{
    const char* p = utf8;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    int32_t value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 9; ++p, ++digits)
        value = value * 10 + (*p - '0');
    if (*p == '\0' && digits > 0)
        return negative ? -value : value;
    return ToInt(QString::fromUtf8(utf8), fallback);
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

// Whether text equals what QString::fromUtf8 makes of utf8, without making it.
bool SameText(const QString& text, const char* utf8)
{
    // constData, not utf16: that one copies a string a literal made.
    const auto* p = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0;; ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0)
            return i == n;
        if (c >= 0x80)
            return text == QString::fromUtf8(utf8);
        if (i == n || p[i] != c)
            return false;
    }
}

// Whether ReadItem would read node into item as it is. Run on every element
// of every copy of a module's rule read back: the nodes are walked with as
// few calls into the parser's library as the walk allows.
bool SameItem(pugi::xml_node node, const VtrRuleItem& item)
{
    if (!SameText(item.name, node.name()))
        return false;
    size_t attribute = 0;
    const size_t attributes = item.attributes.size();
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        if (attribute == attributes || !SameText(item.attributes[attribute].first, a.name())
            || !SameText(item.attributes[attribute].second, a.value()))
            return false;
        ++attribute;
    }
    if (attribute != attributes)
        return false;
    size_t child = 0;
    const size_t children = item.children.size();
    int texts = 0;
    pugi::xml_node onlyText;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        const pugi::xml_node_type type = c.type();
        if (type == pugi::node_element) {
            if (child == children || !SameItem(c, item.children[child]))
                return false;
            ++child;
        } else if (type == pugi::node_pcdata || type == pugi::node_cdata) {
            ++texts;
            onlyText = c;
        }
    }
    if (child != children)
        return false;
    if (texts == 0)
        return item.text.isEmpty();
    if (texts == 1)
        return SameText(item.text, onlyText.value());
    QString text; // pieces converted one by one, as ReadItem does
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            text += QString::fromUtf8(c.value());
    return text == item.text;
}

// Whether the element children of a rule element read as items.
bool SameItems(pugi::xml_node rule, const std::vector<VtrRuleItem>& items)
{
    size_t i = 0;
    for (pugi::xml_node c = rule.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        if (i == items.size() || !SameItem(c, items[i]))
            return false;
        ++i;
    }
    return i == items.size();
}

void WriteItem(pugi::xml_node parent, const VtrRuleItem& item)
{
    pugi::xml_node node = parent.append_child(VtrUtf8(item.name));
    for (const auto& [name, value] : item.attributes)
        node.append_attribute(VtrUtf8(name, 0)).set_value(VtrUtf8(value, 1));
    if (!item.text.isEmpty())
        node.append_child(pugi::node_pcdata).set_value(VtrUtf8(item.text));
    for (const VtrRuleItem& c : item.children)
        WriteItem(node, c);
}

// What WriteItem builds, as markup: the element at a depth under the root
// (its level counted from the document is one more), afterText when it
// follows its parent's text.
void AppendItemMarkup(VtrMarkupWriter& out, const VtrRuleItem& item, int depth, bool afterText)
{
    const int level = depth + 1;
    out.NoteLevel(level);
    if (out.TooDeep())
        return;
    // Converted once: the start and the end tag both need it, and VtrUtf8's
    // buffers are reused by the calls in between.
    const std::string name = VtrUtf8(item.name);
    out.StartElement(name.c_str(), depth, afterText);
    for (const auto& [attributeName, value] : item.attributes)
        out.Attribute(VtrUtf8(attributeName, 0), VtrUtf8(value, 1));
    const bool text = !item.text.isEmpty();
    if (!text && item.children.empty()) {
        out.EndEmptyElement();
        return;
    }
    out.EndStartTag();
    if (text) {
        out.NoteLevel(level + 1);
        out.Text(VtrUtf8(item.text));
    }
    // An element right after text starts on the text's line.
    bool lastWasText = text;
    for (const VtrRuleItem& c : item.children) {
        AppendItemMarkup(out, c, depth + 1, lastWasText);
        lastWasText = false;
    }
    out.EndElement(name.c_str(), depth, lastWasText);
}

// Converts the numeric texts of a parameter's value children.
void ConvertItem(VtrRuleItem& item, const RuleUnits& from, const RuleUnits& to)
{
    if (item.name == QLatin1String("Parameter")) {
        const VtrUnits::Quantity kind = VtrUnits::QuantityOfUnitType(item.Attribute(QStringLiteral("UnitType")));
        if (VtrUnits::ChangesWith(kind, from, to)) {
            for (VtrRuleItem& c : item.children) {
                if (c.name != QLatin1String("Value") && c.name != QLatin1String("Recom")
                    && c.name != QLatin1String("Alert") && c.name != QLatin1String("Min")
                    && c.name != QLatin1String("Max"))
                    continue;
                bool ok = false;
                const double v = c.text.trimmed().toDouble(&ok);
                if (!ok)
                    continue;
                c.text = ConcreteVTRRule::FormatNumber(
                    VtrUnits::RoundConverted(VtrUnits::ConvertQuantity(kind, v, from, to)));
            }
        }
    }
    for (VtrRuleItem& c : item.children)
        ConvertItem(c, from, to);
}

bool IsConvertedChild(const QString& name)
{
    return name == QLatin1String("Value") || name == QLatin1String("Recom") || name == QLatin1String("Alert")
        || name == QLatin1String("Min") || name == QLatin1String("Max");
}

// The first parameter (by name) whose value would not stay finite in the
// other units; walked with a stack so that deep nesting costs no recursion.
QString FirstOverflow(const std::vector<VtrRuleItem>& items, const RuleUnits& from, const RuleUnits& to)
{
    std::vector<const VtrRuleItem*> pending;
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        pending.push_back(&*it);
    while (!pending.empty()) {
        const VtrRuleItem& item = *pending.back();
        pending.pop_back();
        if (item.name == QLatin1String("Parameter")) {
            const VtrUnits::Quantity kind = VtrUnits::QuantityOfUnitType(item.Attribute(QStringLiteral("UnitType")));
            if (VtrUnits::ChangesWith(kind, from, to)) {
                for (const VtrRuleItem& c : item.children) {
                    if (!IsConvertedChild(c.name))
                        continue;
                    bool ok = false;
                    const double v = c.text.trimmed().toDouble(&ok);
                    if (ok && std::isfinite(v) && !std::isfinite(VtrUnits::ConvertQuantity(kind, v, from, to)))
                        return item.Attribute(QStringLiteral("Name"));
                }
            }
        }
        for (auto it = item.children.rbegin(); it != item.children.rend(); ++it)
            pending.push_back(&*it);
    }
    return {};
}
} // namespace

void VtrSetRuleEditor(IVtrRuleEditor* editor)
{
    g_ruleEditor = editor;
}
IVtrRuleEditor* VtrGetRuleEditor()
{
    return g_ruleEditor;
}

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
    const char* values[kCommonAttributeCount] = {};
    GatherAttributes(node->Native(), values, [](pugi::xml_attribute) {});
    ReadCommonAttributes(values);
}

void CVtrRule::ReadCommonAttributes(const char* const* values)
{
    // The first attribute of each name counts, as a lookup by name finds it.
    // A text equal to the one the rule holds (a copy of a module's rule read
    // back, mostly) keeps that one, shared.
    const auto text = [&values](int index, QString& field) {
        if (values[index] && !SameText(field, values[index]))
            field = QString::fromUtf8(values[index]);
    };
    const auto number = [&values](int index, int32_t& field) {
        if (values[index])
            field = ToInt(values[index], field);
    };
    text(kName, m_name);
    if (values[kDisplayName])
        text(kDisplayName, m_displayName);
    else if (m_displayName.isEmpty())
        m_displayName = m_name;
    if (values[kRuleCategory] && !SameText(m_category, values[kRuleCategory]))
        SetRuleCategory(QString::fromUtf8(values[kRuleCategory]));
    number(kSeverity, m_criticality);
    text(kRuleModule, m_moduleName);
    number(kSelected, m_selected);
    number(kHelpId, m_helpId);
    number(kRuleId, m_ruleId);
    text(kValidator, m_validatorName);
    number(kLinearUnit, m_units.LinearUnit);
    number(kAngularUnit, m_units.AngularUnit);
}

template <typename Add> void CVtrRule::ForEachCommonAttribute(Add&& add) const
{
    // Narrow texts and numbers formatted on the stack: this runs for every
    // rule of every save.
    const auto number = [&add](const char* name, int32_t value) {
        char text[16];
        const auto result = std::to_chars(text, text + sizeof(text) - 1, value);
        *result.ptr = '\0';
        add(name, text);
    };
    add("Name", VtrUtf8(m_name));
    add("DisplayName", VtrUtf8(m_displayName));
    add("RuleCategory", VtrUtf8(m_category));
    number("Severity", m_criticality);
    add("RuleModule", VtrUtf8(m_moduleName));
    number("Selected", m_selected);
    number("HelpId", m_helpId);
    number("RuleId", m_ruleId);
    add("Validator", VtrUtf8(m_validatorName));
    number("LinearUnit", m_units.LinearUnit);
    number("AngularUnit", m_units.AngularUnit);
}

void CVtrRule::WriteCommonAttributes(VtrXMLNode* node) const
{
    ForEachCommonAttribute([node](const char* name, const char* value) { node->AddAttribute1(name, value); });
}

void CVtrRule::AppendCommonMarkup(VtrMarkupWriter& out) const
{
    out.NoteLevel(2);
    out.StartElement("Rule", 1);
    ForEachCommonAttribute([&out](const char* name, const char* value) { out.Attribute(name, value); });
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

bool CVtrRule::AppendMarkup(VtrMarkupWriter&) const
{
    return false;
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

const std::vector<VtrRuleItem>& ConcreteVTRRule::Items() const
{
    static const std::vector<VtrRuleItem> kNone;
    return m_items ? *m_items : kNone;
}

std::vector<VtrRuleItem>& ConcreteVTRRule::Items()
{
    if (!m_items)
        m_items = std::make_shared<std::vector<VtrRuleItem>>();
    else if (m_items.use_count() > 1)
        m_items = std::make_shared<std::vector<VtrRuleItem>>(*m_items);
    return *m_items;
}

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
    // Texts equal to those the rule had in the same place are kept, shared.
    std::vector<std::pair<QString, QString>> had = std::move(m_extraAttributes);
    m_extraAttributes.clear();
    pugi::xml_node node = ruleNode->Native();
    const char* values[kCommonAttributeCount] = {};
    GatherAttributes(node, values, [&](pugi::xml_attribute a) {
        const size_t at = m_extraAttributes.size();
        if (at < had.size() && SameText(had[at].first, a.name()) && SameText(had[at].second, a.value()))
            m_extraAttributes.push_back(std::move(had[at]));
        else
            m_extraAttributes.emplace_back(QString::fromUtf8(a.name()), QString::fromUtf8(a.value()));
    });
    ReadCommonAttributes(values);
    // A copy of a module's rule usually reads back the settings it already
    // has: it keeps them (and keeps sharing them) instead of building its own.
    if (m_items && SameItems(node, *m_items))
        return true;
    auto items = std::make_shared<std::vector<VtrRuleItem>>();
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        items->emplace_back();
        ReadItem(c, items->back());
    }
    m_items = items->empty() ? nullptr : std::move(items);
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
    for (const VtrRuleItem& item : std::as_const(*this).Items())
        WriteItem(n, item);
    return node;
}

bool ConcreteVTRRule::AppendMarkup(VtrMarkupWriter& out) const
{
    AppendCommonMarkup(out);
    for (const auto& [name, value] : m_extraAttributes) {
        const char* narrowName = VtrUtf8(name, 0);
        if (*narrowName) // GetXML drops an attribute without a name too
            out.Attribute(narrowName, VtrUtf8(value, 1));
    }
    if (!m_items || m_items->empty()) {
        out.EndEmptyElement();
        return true;
    }
    out.EndStartTag();
    if (m_items.use_count() > 1) {
        // The settings of a module's rule, repeated across the file: written once.
        auto& shared = out.SharedMarkup();
        auto found = shared.find(m_items.get());
        if (found == shared.end()) {
            VtrMarkupWriter part(out.WrittenForms());
            for (const VtrRuleItem& item : *m_items)
                AppendItemMarkup(part, item, 2, false);
            if (part.TooDeep())
                out.NoteLevel(VtrXMLDocument::kMaxNestingDepth + 1);
            found = shared.emplace(m_items.get(), std::make_pair(std::move(part.file), std::move(part.raw))).first;
        }
        out.file += found->second.first;
        out.raw += found->second.second;
    } else {
        for (const VtrRuleItem& item : *m_items)
            AppendItemMarkup(out, item, 2, false);
    }
    out.EndElement("Rule", 1, false);
    return true;
}

bool ConcreteVTRRule::UpdateRule(const RuleUnitSystemStructure* from, const RuleUnitSystemStructure* to)
{
    if (!from || !to)
        return false;
    if (!(*from == *to) && m_items)
        for (VtrRuleItem& item : Items())
            ConvertItem(item, *from, *to);
    return CVtrRule::UpdateRule(from, to);
}

QString OverflowingParameter(const ConcreteVTRRule& rule, const RuleUnits& from, const RuleUnits& to)
{
    if (from == to)
        return {};
    return FirstOverflow(rule.Items(), from, to);
}

bool ConcreteVTRRule::UpdateRule(CVtrRule* source)
{
    if (!source || source == this)
        return false;
    // Take the settings; the rule keeps being the rule it is (its name,
    // module and place in the list do not move).
    SetCriticality(source->GetCriticality());
    if (auto* concrete = dynamic_cast<ConcreteVTRRule*>(source)) {
        m_items = concrete->m_items; // shared until either changes them
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
