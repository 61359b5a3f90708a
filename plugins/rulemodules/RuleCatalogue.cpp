#include "RuleCatalogue.h"

#include "VTRDataHelper.h"
#include "VTRFrameWrkUtils.h"
#include "VtrUtf8.h"
#include "VtrXMLNode.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include <pugixml.hpp>

namespace {
// A hash of a NUL-terminated text, eight bytes at a step.
uint64_t TextHash(const char* text, uint64_t seed)
{
    constexpr uint64_t kMultiplier = 0x9e3779b97f4a7c15ull;
    const size_t size = std::strlen(text);
    uint64_t h = (seed ^ size) * kMultiplier;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, 8);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 29;
    }
    if (i < size) {
        uint64_t word = 0;
        std::memcpy(&word, text + i, size - i);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 29;
    }
    return h;
}

uint64_t Mix(uint64_t h, uint64_t value)
{
    return h ^ (value + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2));
}

// A hash of the UTF-8 of an element as the reader takes it in: name,
// attributes, texts and child elements, in order, comments and instructions
// left out. Texts and child elements are hashed apart, as the reader keeps
// them apart. Equal bytes give equal hashes; settings that read the same
// from other bytes (a text split by a comment, say) may not, which only
// costs the shortcut: the caller compares before it shares. Every element
// of every renamed rule read passes through here, so the children are
// walked once.
uint64_t ElementHash(pugi::xml_node element)
{
    uint64_t h = TextHash(element.name(), 0);
    for (pugi::xml_attribute a = element.first_attribute(); a; a = a.next_attribute())
        h = TextHash(a.value(), TextHash(a.name(), h));
    uint64_t texts = 1;
    uint64_t children = 2;
    for (pugi::xml_node c = element.first_child(); c; c = c.next_sibling()) {
        const pugi::xml_node_type type = c.type();
        if (type == pugi::node_element)
            children = Mix(children, ElementHash(c));
        else if (type == pugi::node_pcdata || type == pugi::node_cdata)
            texts = TextHash(c.value(), texts);
    }
    return Mix(Mix(h, texts), children);
}

size_t ElementItemsHash(pugi::xml_node rule)
{
    uint64_t h = 0;
    for (pugi::xml_node c = rule.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            h = Mix(h, ElementHash(c));
    return static_cast<size_t>(h);
}

QString Text(const pugi::xml_attribute& a)
{
    return QString::fromUtf8(a.value());
}

// Expands the catalogue's short parameter form
//   <P Name=".." Unit="Length" Op="&gt;=" Value="1.5" Recom="2" Alert="1"/>
// into the element layout the rules read and write:
//   <Parameter Type="1" Status="1" Name=".." UnitType="Length"><Operator>&gt;=</Operator>
//   <ParameterType>Double</ParameterType><Value>1.5</Value><Recom>2</Recom><Alert>1</Alert></Parameter>
// Unit is "Length", "Angle", "Area" or "Volume" for values that follow the
// document's units, else left out ("None").
// Optional: Type, Status, PType (ParameterType), Min, Max, A1..A5 (attributes
// Attribute1..Attribute5 of the Value element). Child elements of P follow
// the generated ones unchanged.
bool ExpandShortParameter(pugi::xml_node p, QString& error)
{
    const char* name = p.attribute("Name").value();
    if (!*name) {
        error = QStringLiteral("a parameter without a name");
        return false;
    }
    pugi::xml_node parent = p.parent();
    pugi::xml_node out = parent.insert_child_before("Parameter", p);
    out.append_attribute("Type").set_value(p.attribute("Type") ? p.attribute("Type").value() : "1");
    out.append_attribute("Status").set_value(p.attribute("Status") ? p.attribute("Status").value() : "1");
    out.append_attribute("Name").set_value(name);
    out.append_attribute("UnitType").set_value(p.attribute("Unit") ? p.attribute("Unit").value() : "None");
    if (pugi::xml_attribute op = p.attribute("Op"))
        out.append_child("Operator").text().set(op.value());
    out.append_child("ParameterType").text().set(p.attribute("PType") ? p.attribute("PType").value() : "Double");
    if (pugi::xml_attribute v = p.attribute("Value")) {
        pugi::xml_node value = out.append_child("Value");
        static const char* const kShort[] = { "A1", "A2", "A3", "A4", "A5" };
        static const char* const kLong[] = { "Attribute1", "Attribute2", "Attribute3", "Attribute4", "Attribute5" };
        for (int i = 0; i < 5; ++i)
            if (pugi::xml_attribute a = p.attribute(kShort[i]))
                value.append_attribute(kLong[i]).set_value(a.value());
        value.text().set(v.value());
    }
    for (const char* child : { "Recom", "Alert", "Min", "Max" })
        if (pugi::xml_attribute a = p.attribute(child))
            out.append_child(child).text().set(a.value());
    while (pugi::xml_node c = p.first_child())
        out.append_move(c);
    parent.remove_child(p);
    return true;
}

bool ExpandShortParameters(pugi::xml_node node, QString& error)
{
    for (pugi::xml_node c = node.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (c.type() == pugi::node_element) {
            if (!ExpandShortParameters(c, error))
                return false;
            if (std::string_view(c.name()) == "P" && !ExpandShortParameter(c, error))
                return false;
        }
        c = next;
    }
    return true;
}

void SetDefault(pugi::xml_node rule, const char* name, const char* value)
{
    if (!rule.attribute(name))
        rule.append_attribute(name).set_value(value);
}

bool IsWholeNumber(const char* text, int& value)
{
    bool ok = false;
    value = QString::fromUtf8(text).toInt(&ok);
    return ok;
}
} // namespace

QString RuleCatalogue::Key(const QString& name, const QString& category)
{
    return name.toCaseFolded() + QChar(0x1F) + category.toCaseFolded();
}

bool RuleCatalogue::Load(const char* data, std::size_t size, QString& error)
{
    m_rules.clear();
    m_index.clear();
    m_utf8Index.clear();
    m_byElementItems.clear();
    m_ownModuleNames.clear();
    m_strings.clear();

    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(data, size);
    if (!parsed) {
        error = QStringLiteral("the rule catalogue does not parse: %1 at offset %2")
                    .arg(QString::fromUtf8(parsed.description()))
                    .arg(parsed.offset);
        return false;
    }
    pugi::xml_node root = doc.child("RuleCatalogue");
    if (!root) {
        error = QStringLiteral("the rule catalogue has no RuleCatalogue element");
        return false;
    }
    m_library = Text(root.attribute("Library"));
    m_moduleName = Text(root.attribute("ModuleName"));
    m_summary = Text(root.attribute("Summary"));
    const std::string validator = root.attribute("Validator").value();
    if (m_moduleName.isEmpty()) {
        error = QStringLiteral("the rule catalogue names no module");
        return false;
    }
    m_ownModuleNames.append(m_moduleName);

    QSet<int> helpIds;
    std::vector<std::unique_ptr<CVtrModuleRule>> rules;
    QHash<QString, const CVtrModuleRule*> index;
    QHash<size_t, const CVtrModuleRule*> byElementItems;
    VtrXMLDocument* noDocument = nullptr;
    for (pugi::xml_node rule = root.child("Rule"); rule; rule = rule.next_sibling("Rule")) {
        const QString name = Text(rule.attribute("Name"));
        const QString where = QStringLiteral("rule \"%1\": ").arg(name);
        if (name.isEmpty()) {
            error = QStringLiteral("a rule without a name");
            return false;
        }
        const QString category = Text(rule.attribute("RuleCategory"));
        if (CVTRFrameWrkUtils::GetRuleCategoryIndex(category) < 0) {
            error = where + QStringLiteral("unknown category \"%1\"").arg(category);
            return false;
        }
        int helpId = 0;
        if (!IsWholeNumber(rule.attribute("HelpId").value(), helpId) || helpId <= 0 || helpIds.contains(helpId)) {
            error = where + QStringLiteral("missing or repeated help id");
            return false;
        }
        // The database numbers users' stored rules in a range of its own.
        if (vtr_db::IsStoredRuleHelpId(helpId)) {
            error = where + QStringLiteral("help id %1 is in the range kept for stored rules").arg(helpId);
            return false;
        }
        helpIds.insert(helpId);
        int severity = 3;
        if (rule.attribute("Severity")
            && (!IsWholeNumber(rule.attribute("Severity").value(), severity) || severity < 1 || severity > 5)) {
            error = where + QStringLiteral("criticality outside 1 to 5");
            return false;
        }
        if (!ExpandShortParameters(rule, error)) {
            error = where + error;
            return false;
        }
        SetDefault(rule, "DisplayName", rule.attribute("Name").value());
        SetDefault(rule, "Severity", "3");
        SetDefault(rule, "RuleModule", root.attribute("ModuleName").value());
        SetDefault(rule, "Selected", "0");
        SetDefault(rule, "RuleId", rule.attribute("HelpId").value());
        SetDefault(rule, "Validator", validator.c_str());
        SetDefault(rule, "LinearUnit", "0");
        SetDefault(rule, "AngularUnit", "0");
        const QString summary = Text(rule.attribute("Summary"));
        rule.remove_attribute("Summary");
        // The paragraph on why the rule matters feeds the help pages only;
        // kept on the rule it would be written into every rule file.
        rule.remove_attribute("Why");

        auto prototype = std::make_unique<CVtrModuleRule>();
        VtrXMLNode node(rule, noDocument);
        prototype->PopulateParametersFromXML(&node);
        if (!std::as_const(*prototype).Items().empty()) {
            const size_t hash = ElementItemsHash(rule);
            if (!byElementItems.contains(hash)) // the first of equal ones
                byElementItems.insert(hash, prototype.get());
        }
        prototype->SetSummary(summary);
        const QString key = Key(prototype->GetRuleName(), prototype->GetRuleCategory());
        if (index.contains(key)) {
            error = where + QStringLiteral("listed twice in category \"%1\"").arg(category);
            return false;
        }
        index.insert(key, prototype.get());
        if (!m_ownModuleNames.contains(prototype->GetRuleModuleName()))
            m_ownModuleNames.append(prototype->GetRuleModuleName());
        rules.push_back(std::move(prototype));
    }
    m_rules = std::move(rules);
    m_index = std::move(index);
    for (auto it = m_index.cbegin(); it != m_index.cend(); ++it)
        m_utf8Index.emplace(it.key().toStdString(), it.value());
    m_byElementItems = std::move(byElementItems);
    m_ownAsciiNames.clear();
    for (const QString& own : m_ownModuleNames) {
        if (!QtPrivate::isAscii(QStringView(own))) {
            m_ownAsciiNames.clear();
            break;
        }
        m_ownAsciiNames.push_back(own.toLower().toStdString());
    }
    for (const auto& rule : m_rules) {
        CollectStrings(*rule);
        const std::vector<VtrRuleItem>& items = std::as_const(*rule).Items();
        if (!items.empty())
            m_byItems.insert(ItemsHash(items), rule.get());
    }
    return true;
}

const CVtrModuleRule* RuleCatalogue::WithSettingsLike(pugi::xml_node ruleElement) const
{
    if (m_byElementItems.isEmpty()
        || !ruleElement.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }))
        return nullptr;
    return m_byElementItems.value(ElementItemsHash(ruleElement), nullptr);
}

const CVtrModuleRule* RuleCatalogue::Find(const QString& name, const QString& category) const
{
    return m_index.value(Key(name, category), nullptr);
}

const CVtrModuleRule* RuleCatalogue::Find(const char* name, const char* category) const
{
    // ASCII texts fold as ASCII does: the key is made in place, as bytes.
    char key[512];
    size_t size = 0;
    const auto fold = [&](const char* text) {
        for (; *text; ++text) {
            const auto c = static_cast<unsigned char>(*text);
            if (c >= 0x80 || size == sizeof key)
                return false;
            key[size++] = static_cast<char>(VtrAsciiLower(c));
        }
        return true;
    };
    if (!fold(name) || size == sizeof key)
        return Find(QString::fromUtf8(name), QString::fromUtf8(category));
    key[size++] = '\x1f';
    if (!fold(category))
        return Find(QString::fromUtf8(name), QString::fromUtf8(category));
    const auto it = m_utf8Index.find(std::string_view(key, size));
    return it == m_utf8Index.end() ? nullptr : it->second;
}

bool RuleCatalogue::OwnsModuleName(const QString& moduleName) const
{
    return !moduleName.isEmpty() && m_ownModuleNames.contains(moduleName, Qt::CaseInsensitive);
}

bool RuleCatalogue::OwnsModuleName(const char* moduleName) const
{
    // ASCII against ASCII names: case folding is ASCII folding then.
    if (!m_ownAsciiNames.empty()) {
        bool ascii = true;
        for (const std::string& own : m_ownAsciiNames) {
            size_t i = 0;
            for (; moduleName[i] != '\0'; ++i) {
                const auto c = static_cast<unsigned char>(moduleName[i]);
                if (c >= 0x80) {
                    ascii = false;
                    break;
                }
                if (i == own.size() || own[i] != static_cast<char>(VtrAsciiLower(c)))
                    break;
            }
            if (!ascii)
                break;
            if (moduleName[i] == '\0' && i == own.size() && i > 0)
                return true;
        }
        if (ascii)
            return false;
    }
    return OwnsModuleName(QString::fromUtf8(moduleName));
}

namespace {
size_t ItemHash(const VtrRuleItem& item, size_t seed)
{
    seed = qHash(item.name, seed);
    for (const auto& [n, v] : item.attributes)
        seed = qHash(v, qHash(n, seed));
    seed = qHash(item.text, seed);
    for (const VtrRuleItem& c : item.children)
        seed = ItemHash(c, seed);
    return qHash(item.children.size(), seed);
}

bool SameItem(const VtrRuleItem& a, const VtrRuleItem& b)
{
    if (a.name != b.name || a.attributes != b.attributes || a.text != b.text || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!SameItem(a.children[i], b.children[i]))
            return false;
    return true;
}

bool SameItems(const std::vector<VtrRuleItem>& a, const std::vector<VtrRuleItem>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameItem(a[i], b[i]))
            return false;
    return true;
}

void CollectItem(const VtrRuleItem& item, QSet<QString>& strings)
{
    strings.insert(item.name);
    for (const auto& [n, v] : item.attributes) {
        strings.insert(n);
        strings.insert(v);
    }
    strings.insert(item.text);
    for (const VtrRuleItem& c : item.children)
        CollectItem(c, strings);
}
} // namespace

void RuleCatalogue::CollectStrings(const CVtrModuleRule& rule)
{
    for (const QString* s : { &rule.GetRuleName(), &rule.GetDisplayName(), &rule.GetRuleCategory(),
             &rule.GetRuleModuleName(), &rule.GetValidatorName() })
        m_strings.insert(*s);
    for (const auto& [n, v] : rule.ExtraAttributes()) {
        m_strings.insert(n);
        m_strings.insert(v);
    }
    for (const VtrRuleItem& item : rule.Items())
        CollectItem(item, m_strings);
}

size_t RuleCatalogue::ItemsHash(const std::vector<VtrRuleItem>& items)
{
    size_t seed = items.size();
    for (const VtrRuleItem& item : items)
        seed = ItemHash(item, seed);
    return seed;
}

QString RuleCatalogue::Shared(const QString& text) const
{
    auto it = m_strings.constFind(text);
    return it == m_strings.constEnd() ? text : *it;
}

void RuleCatalogue::InternItem(VtrRuleItem& item) const
{
    item.name = Shared(item.name);
    for (auto& [n, v] : item.attributes) {
        n = Shared(n);
        v = Shared(v);
    }
    item.text = Shared(item.text);
    for (VtrRuleItem& c : item.children)
        InternItem(c);
}

void RuleCatalogue::Intern(CVtrModuleRule& rule, const CVtrModuleRule* origin) const
{
    // A text equal to origin's is taken from it: a comparison costs less
    // than a lookup.
    const auto sameAsOrigin
        = [](const QString& text, const QString& original) { return text.isSharedWith(original) || text == original; };
    const auto shared = [&](const QString& text, const QString& (CVtrRule::*field)() const) {
        return origin && sameAsOrigin(text, (origin->*field)()) ? (origin->*field)() : Shared(text);
    };
    rule.SetRuleName(shared(rule.GetRuleName(), &CVtrRule::GetRuleName));
    rule.SetDisplayName(shared(rule.GetDisplayName(), &CVtrRule::GetDisplayName));
    rule.SetRuleModuleName(shared(rule.GetRuleModuleName(), &CVtrRule::GetRuleModuleName));
    rule.SetValidatorName(shared(rule.GetValidatorName(), &CVtrRule::GetValidatorName));
    // The category setter also recomputes the category number; keep it for
    // when the text actually changes.
    const QString category = shared(rule.GetRuleCategory(), &CVtrRule::GetRuleCategory);
    if (!category.isSharedWith(rule.GetRuleCategory()))
        rule.SetRuleCategory(category);
    static const std::vector<std::pair<QString, QString>> kNoExtras;
    const auto& originExtras = origin ? origin->ExtraAttributes() : kNoExtras;
    size_t i = 0;
    for (auto& [n, v] : rule.ExtraAttributes()) {
        if (i < originExtras.size() && sameAsOrigin(n, originExtras[i].first)
            && sameAsOrigin(v, originExtras[i].second)) {
            n = originExtras[i].first;
            v = originExtras[i].second;
        } else {
            n = Shared(n);
            v = Shared(v);
        }
        ++i;
    }
    // Shared items came from a rule of the catalogue and hold its texts
    // already. Items equal to those of a rule of the catalogue (a renamed
    // copy of it, say) are shared with it; only others keep their own.
    const std::vector<VtrRuleItem>& items = std::as_const(rule).Items();
    if (rule.ItemsShared() || items.empty())
        return;
    const size_t hash = ItemsHash(items);
    const auto [first, last] = m_byItems.equal_range(hash);
    for (auto it = first; it != last; ++it)
        if (SameItems((*it)->Items(), items)) {
            rule.ShareItems(**it);
            return;
        }
    for (VtrRuleItem& item : rule.Items())
        InternItem(item);
}
