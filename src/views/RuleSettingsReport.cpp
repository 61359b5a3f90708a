#include "views/RuleSettingsReport.h"

#include "document/VTRProMD5.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include <QFileInfo>

namespace {

QString KeyOf(const QString& name, const QString& category)
{
    return name.toLower() + QChar(0x1f) + category.toLower();
}

// The rules whose listing differs from the general one, decided once per rule.
struct RuleCases
{
    explicit RuleCases(const QString& name)
        : standardHoles(name == QLatin1String("Standard Hole Sizes"))
        , bendRadius(name == QLatin1String("Recommended Bend Radius and Tolerance"))
    { }
    bool standardHoles;
    bool bendRadius;
};

const char* Attr(pugi::xml_node node, const char* name)
{
    return node.attribute(name).value();
}

const char* Text(pugi::xml_node node)
{
    return node.type() == pugi::node_element ? node.child_value() : node.value();
}

const char* OneWhenEmpty(const char* value)
{
    return *value ? value : "1";
}

class Lister
{
public:
    Lister(const RuleCases& cases, ISettingsSink& sink)
        : m_cases(cases)
        , m_sink(sink)
    { }

    void Rule(pugi::xml_node rule)
    {
        Line("Severity", Attr(rule, "Severity"));
        if (m_cases.standardHoles)
            for (const char* name :
                { "DBCategory", "StdHoleUnit", "StdHoleFilterType", "StdHoleTolerance", "StdHoleToleranceUnit" })
                Line("Status", Attr(rule, name));
        Constraints(rule);
    }

private:
    void Line(const char* key, const char* value) { m_sink.Line(key, value); }

    void Constraints(pugi::xml_node element)
    {
        for (pugi::xml_node c : element.children("Constraint")) {
            Line("Constraint", "Constraint");
            Line("Type", Attr(c, "Type"));
            Line("Value", Attr(c, "Value"));
            Parameters(c);
        }
        Parameters(element);
    }

    void Parameters(pugi::xml_node element)
    {
        bool any = false;
        for (pugi::xml_node p : element.children("Parameter")) {
            any = true;
            Line("Type", Attr(p, "Type"));
            if (pugi::xml_node op = p.child("Operator"))
                Line("Operator", Text(op));
            if (pugi::xml_node parameterType = p.child("ParameterType"))
                Line("ParameterType", Text(parameterType));
            Line("Status", Attr(p, "Status"));
            // Every value the parameter editor shows and marks is listed, in
            // every rule: a change the editor marks is a change here too.
            Values(p, "Value");
            for (const char* name : { "Recom", "Alert" })
                for (pugi::xml_node v : p.children(name))
                    Line(name, Text(v));
        }
        if (any)
            return;
        if (element.child("Configuration"))
            Configured(element);
        else
            Definition(element);
    }

    void Values(pugi::xml_node parent, const char* name)
    {
        for (pugi::xml_node v : parent.children(name)) {
            const char* text = Text(v);
            // A zero tolerance is what the module writes when none is set.
            if (m_cases.bendRadius && std::strcmp(text, "0.000000") == 0)
                continue;
            Line("Value", text);
        }
        if (m_cases.bendRadius)
            return;
        for (pugi::xml_node v : parent.children(name))
            for (const char* attribute : { "Attribute1", "Attribute2", "Attribute3", "Attribute4", "Attribute5" })
                Line(attribute, Attr(v, attribute));
    }

    void Configured(pugi::xml_node element)
    {
        const pugi::xml_node configuration = element.child("Configuration");
        if (!element.child("Constraint")) {
            const pugi::xml_node selected = configuration.child("SelectedConfig");
            for (pugi::xml_node k : selected.children("Constraint")) {
                Line("ExpName", Attr(k, "ExpName"));
                Line("Operator", Attr(k, "Operator"));
                Line("Status", Attr(k, "Status"));
                Line("IsDefaultAllowed", OneWhenEmpty(Attr(k, "IsDefaultAllowed")));
            }
            for (pugi::xml_node v : selected.children("Validation")) {
                Line("ExpName", Attr(v, "ExpName"));
                Line("Operator", Attr(v, "Operator"));
                Line("Status", Attr(v, "Status"));
            }
        }
        for (pugi::xml_node c : configuration.child("ConstraintList").children("Constraint"))
            Chain(c);
    }

    void Definition(pugi::xml_node element)
    {
        if (!element.child("Constraint")) {
            for (pugi::xml_node d : element.child("ConstraintDefList").children("ConstraintDef")) {
                for (pugi::xml_node x : d.children("ParamExp")) {
                    Line("ExpName", Text(x));
                    Line("Operator", Attr(d, "Operator"));
                    Line("Status", Attr(d, "Status"));
                    Line("IsDefaultAllowed", OneWhenEmpty(Attr(d, "IsDefaultAllowed")));
                }
            }
            const pugi::xml_node w = element.child("ValidationDefList").child("ValidationDef");
            for (pugi::xml_node x : w.children("ParamExp")) {
                Line("ExpName", Text(x));
                Line("Operator", Attr(w, "Operator"));
                Line("Status", Attr(w, "Status"));
            }
        }
        for (pugi::xml_node c : element.child("ConstraintList").children("Constraint"))
            Chain(c);
    }

    // Walked in a loop, not by recursion: a deeply nested file cannot
    // exhaust the stack.
    void Chain(pugi::xml_node element)
    {
        for (;;) {
            Line("Value", Attr(element, "Value"));
            const pugi::xml_node next = element.child("Constraint");
            if (!next)
                break;
            element = next;
        }
        for (pugi::xml_node p : element.children("Parameter")) {
            for (pugi::xml_node n : p.children()) {
                if (n.type() != pugi::node_element)
                    continue; // text has no name
                const char* value = Text(n);
                if (*n.name() && *value)
                    Line(n.name(), value);
            }
        }
    }

    const RuleCases& m_cases;
    ISettingsSink& m_sink;
};

class LinesSink : public ISettingsSink
{
public:
    void Line(const char* key, const char* value) override { lines.push_back({ key, value }); }
    std::vector<SettingsLine> lines;
};

class DigestSink : public ISettingsSink
{
public:
    void Line(const char* key, const char* value) override
    {
        md5.Add(key, std::strlen(key));
        md5.Add(" = ", 3);
        md5.Add(value, std::strlen(value));
        md5.Add("\r\n", 2);
    }
    Md5Stream md5;
};

const std::vector<pugi::xml_node>& NoElements()
{
    static const std::vector<pugi::xml_node> none;
    return none;
}

} // namespace

bool RuleElementIndex::Load(const QString& path)
{
    m_byKey.clear();
    m_rules.clear();
    m_loaded = false;
    m_error.clear();
    // Only regular files: a FIFO or a device would block the reader.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        m_error = path.isEmpty() ? QStringLiteral("no file") : path + QStringLiteral(" is not a readable file");
        return false;
    }
    std::unique_ptr<VtrXMLNode> root(m_doc.LoadFromFile(path));
    if (!root) {
        m_error = m_doc.LastError().isEmpty() ? path + QStringLiteral(" cannot be read") : m_doc.LastError();
        return false;
    }
    // Sized once: a growing table would rehash every key several times.
    qsizetype count = 0;
    for (pugi::xml_node rule : root->Native().children("Rule")) {
        (void)rule;
        ++count;
    }
    m_byKey.reserve(count);
    m_rules.reserve(static_cast<size_t>(count));
    for (pugi::xml_node rule : root->Native().children("Rule")) {
        const QString name = QString::fromUtf8(Attr(rule, "Name"));
        const QString category = QString::fromUtf8(Attr(rule, "RuleCategory"));
        std::vector<pugi::xml_node>& elements = m_byKey[KeyOf(name, category)];
        if (elements.empty())
            m_rules.push_back({ name, category });
        elements.push_back(rule);
    }
    m_loaded = true;
    return true;
}

const std::vector<pugi::xml_node>& RuleElementIndex::Elements(const QString& name, const QString& category) const
{
    const auto it = m_byKey.constFind(KeyOf(name, category));
    return it == m_byKey.constEnd() ? NoElements() : it.value();
}

void ListRuleSettings(const std::vector<pugi::xml_node>& elements, const QString& ruleName, ISettingsSink& sink)
{
    const RuleCases cases(ruleName);
    Lister lister(cases, sink);
    for (pugi::xml_node element : elements)
        lister.Rule(element);
}

std::vector<SettingsLine> RuleSettingsLines(const std::vector<pugi::xml_node>& elements, const QString& ruleName)
{
    LinesSink sink;
    ListRuleSettings(elements, ruleName, sink);
    return std::move(sink.lines);
}

QString RuleSettingsDigest(const std::vector<pugi::xml_node>& elements, const QString& ruleName)
{
    DigestSink sink;
    if (!sink.md5.IsValid())
        return {};
    ListRuleSettings(elements, ruleName, sink);
    return sink.md5.Finish();
}

bool RuleSettingsReport::Load(const QString& currentPath, const QString& defaultPath)
{
    const bool current = m_current.Load(currentPath);
    const bool defaults = m_defaults.Load(defaultPath);
    return current && defaults;
}

SettingsVerdict RuleSettingsReport::Compare(const QString& name, const QString& category, int32_t& differsFlag) const
{
    const SettingsVerdict verdict = Compare(name, category);
    if (verdict != SettingsVerdict::Unknown)
        differsFlag = verdict == SettingsVerdict::Differs ? 1 : 0;
    return verdict;
}

SettingsVerdict RuleSettingsReport::Compare(const QString& name, const QString& category) const
{
    if (!IsLoaded())
        return SettingsVerdict::Unknown;
    // Line by line rather than by digest: numbers that a change of units
    // and back left a little apart are still the same setting.
    const std::vector<SettingsLine> current = RuleSettingsLines(m_current.Elements(name, category), name);
    const std::vector<SettingsLine> defaults = RuleSettingsLines(m_defaults.Elements(name, category), name);
    return current == defaults ? SettingsVerdict::Same : SettingsVerdict::Differs;
}

namespace {
std::string_view Trimmed(std::string_view text)
{
    constexpr std::string_view kSpace = " \t\r\n";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool ParseWhole(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && std::isfinite(value);
}
} // namespace

bool SameSettingValue(std::string_view a, std::string_view b)
{
    a = Trimmed(a);
    b = Trimmed(b);
    if (a == b)
        return true;
    double x = 0;
    double y = 0;
    if (!ParseWhole(a, x) || !ParseWhole(b, y))
        return false;
    return std::fabs(x - y) <= 1e-9 * std::max(std::fabs(x), std::fabs(y));
}

bool SettingsLine::operator==(const SettingsLine& other) const
{
    return key == other.key && SameSettingValue(value, other.value);
}

bool IsNeverResetRule(const QString& ruleName)
{
    static const char* const kNames[] = { "Recommended Thread Connection", "Fastener Engagement Length",
        "Check Preferred Components", "Check Contact Material", "Fastener Clearance",
        "Fastener Accessibility - Based On Fastening Tool Parameters" };
    for (const char* name : kNames)
        if (ruleName == QLatin1String(name))
            return true;
    return false;
}
