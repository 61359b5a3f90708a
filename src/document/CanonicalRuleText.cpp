#include "document/CanonicalRuleText.h"

#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

#include <pugixml.hpp>

namespace {
// Written anew by every save, or derived from the rest: not a setting.
bool IsSaveRecord(const char* attribute)
{
    for (const char* name : { "Name", "Createdby", "CreatedOn", "Password", "RulesData" })
        if (std::strcmp(attribute, name) == 0)
            return true;
    return false;
}

// Keeps a value on one line: a diff reads one line per setting.
std::string OneLine(const char* value)
{
    std::string out;
    for (const char* c = value; *c; ++c) {
        switch (*c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += *c;
        }
    }
    return out;
}

bool Skipped(const char* name, std::initializer_list<const char*> skip)
{
    return std::any_of(skip.begin(), skip.end(), [&](const char* s) { return std::strcmp(s, name) == 0; });
}

void AddAttributes(std::vector<CanonicalSetting>& out, const std::string& owner, const std::string& path,
    pugi::xml_node node, bool saveRecord, std::initializer_list<const char*> skip)
{
    std::vector<pugi::xml_attribute> attributes;
    for (pugi::xml_attribute a : node.attributes())
        if (!(saveRecord && IsSaveRecord(a.name())) && !Skipped(a.name(), skip))
            attributes.push_back(a);
    std::stable_sort(attributes.begin(), attributes.end(),
        [](pugi::xml_attribute x, pugi::xml_attribute y) { return std::strcmp(x.name(), y.name()) < 0; });
    for (pugi::xml_attribute a : attributes)
        out.push_back({ owner, path + '@' + a.name(), OneLine(a.value()) });
}

std::string Segment(pugi::xml_node node)
{
    std::string segment = node.name();
    if (const pugi::xml_attribute name = node.attribute("Name"))
        segment += '[' + std::string(name.value()) + ']';
    return segment;
}

// An element's text, its attributes and then its elements, sorted by tag
// and name; elements that would have the same path are numbered.
void AddChildren(std::vector<CanonicalSetting>& out, const std::string& owner, const std::string& path,
    pugi::xml_node node, int depth)
{
    // Loading refuses deeper trees; a second guard for the stack.
    if (depth > VtrXMLDocument::kMaxNestingDepth)
        return;
    std::vector<std::pair<std::string, pugi::xml_node>> children;
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element)
            children.emplace_back(Segment(child), child);
    std::stable_sort(
        children.begin(), children.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    size_t same = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        same = i > 0 && children[i - 1].first == children[i].first ? same + 1 : 0;
        const bool repeated = same > 0 || (i + 1 < children.size() && children[i + 1].first == children[i].first);
        const std::string childPath = path + (path.empty() ? "" : ".") + children[i].first
            + (repeated ? '#' + std::to_string(same + 1) : std::string());
        const pugi::xml_node child = children[i].second;
        std::string text;
        for (pugi::xml_node part : child.children())
            if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata)
                text += part.value();
        if (!text.empty())
            out.push_back({ owner, childPath, OneLine(text.c_str()) });
        AddAttributes(out, owner, childPath, child, false, { "Name" });
        AddChildren(out, owner, childPath, child, depth + 1);
    }
}

std::string Folded(const char* text)
{
    return QString::fromUtf8(text).toCaseFolded().toStdString();
}
} // namespace

bool ReadCanonicalRuleFile(const QString& path, CanonicalRuleFile& out, QString& error)
{
    out = {};
    VtrXMLDocument document;
    const std::unique_ptr<VtrXMLNode> top(document.LoadFromFile(path));
    if (!top) {
        error = document.LastError().isEmpty() ? path + QStringLiteral(" cannot be read") : document.LastError();
        return false;
    }
    const pugi::xml_node root = top->Native();
    AddAttributes(out.file, "(file)", std::string(), root, true, {});
    struct Item
    {
        std::string category, name, owner;
        pugi::xml_node node;
    };
    std::vector<Item> items;
    for (pugi::xml_node child : root.children()) {
        if (child.type() != pugi::node_element)
            continue;
        const bool rule = std::strcmp(child.name(), "Rule") == 0;
        const char* name = child.attribute("Name").value();
        const char* category = child.attribute("RuleCategory").value();
        items.push_back({ rule ? Folded(category) : std::string(), rule ? Folded(name) : std::string(),
            rule ? std::string(category) + '/' + name : '(' + std::string(child.name()) + ')', child });
    }
    // Other root elements first, then rules by category and name.
    std::stable_sort(items.begin(), items.end(), [](const Item& x, const Item& y) {
        return std::tie(x.category, x.name, x.owner) < std::tie(y.category, y.name, y.owner);
    });
    for (size_t i = 0; i < items.size(); ++i) {
        CanonicalRule rule;
        rule.owner = items[i].owner;
        const pugi::xml_node node = items[i].node;
        rule.identity = Folded(node.attribute("RuleModule").value()) + '\x1f' + items[i].category + '\x1f'
            + items[i].name + '\x1f' + node.name();
        // A rule the file holds twice keeps both, told apart.
        if (i > 0 && items[i - 1].owner == items[i].owner) {
            rule.owner += " #" + std::to_string(i);
            rule.identity += '\x1f' + std::to_string(i);
        }
        AddAttributes(rule.settings, rule.owner, std::string(), node, false, { "Name", "RuleCategory" });
        AddChildren(rule.settings, rule.owner, std::string(), node, 0);
        out.rules.push_back(std::move(rule));
    }
    return true;
}

bool AppendCanonicalRuleText(const QString& path, std::string& out, QString& error)
{
    CanonicalRuleFile file;
    if (!ReadCanonicalRuleFile(path, file, error))
        return false;
    auto append = [&](const CanonicalSetting& s) {
        out += s.owner;
        out += ' ';
        out += s.setting;
        out += " = ";
        out += s.value;
        out += '\n';
    };
    for (const CanonicalSetting& s : file.file)
        append(s);
    for (const CanonicalRule& rule : file.rules)
        for (const CanonicalSetting& s : rule.settings)
            append(s);
    return true;
}
