#include "views/RuleFileLint.h"

#include "RuleUnits.h"
#include "VtrRegularFile.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "document/Fingerprint.h"
#include "views/RuleSettingsReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include <QFile>
#include <QSet>

namespace {
// Line starts of the file, so that an element's offset gives its line.
class LineIndex
{
public:
    explicit LineIndex(const QByteArray& text)
    {
        m_starts.push_back(0);
        for (qsizetype i = 0; i < text.size(); ++i)
            if (text[i] == '\n')
                m_starts.push_back(static_cast<ptrdiff_t>(i) + 1);
    }
    int LineOf(pugi::xml_node node) const
    {
        const ptrdiff_t offset = node.offset_debug();
        if (offset < 0)
            return 0;
        return static_cast<int>(std::upper_bound(m_starts.begin(), m_starts.end(), offset) - m_starts.begin());
    }

private:
    std::vector<ptrdiff_t> m_starts;
};

std::string_view Trimmed(std::string_view text)
{
    constexpr std::string_view kSpace = " \t\r\n";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool ParseNumber(std::string_view text, double& value)
{
    text = Trimmed(text);
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && at == end && std::isfinite(value);
}

// Whether a value's text fits its parameter's type; empty texts are left
// to the rules (several parameters hold none).
bool FitsType(std::string_view type, std::string_view text)
{
    text = Trimmed(text);
    if (text.empty())
        return true;
    double number = 0;
    if (type == "Double")
        return ParseNumber(text, number);
    if (type == "Integer")
        return ParseNumber(text, number) && number == std::floor(number);
    if (type == "Boolean")
        return text == "0" || text == "1" || text == "true" || text == "false";
    return true; // String and types this program does not know
}

QString Text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

class Linter
{
public:
    Linter(const LintContext& context, const LineIndex& lines, LintResult& result)
        : m_context(context)
        , m_lines(lines)
        , m_result(result)
    {
    }

    void File(pugi::xml_node root)
    {
        m_fileLinear = root.attribute("Unit").as_int(0);
        m_fileAngular = root.attribute("AngularUnit").as_int(0);
        CheckUnits(root, QString(), "Unit", "AngularUnit");
        const bool password = !Trimmed(root.attribute("Password").value()).empty();
        const bool fingerprint = !Trimmed(root.attribute("RulesData").value()).empty();
        if (password && !fingerprint)
            Add(root, QString(), "password-without-fingerprint",
                QStringLiteral("the file has a password but no fingerprint, so changes made outside the program "
                               "cannot be told"));
        for (pugi::xml_node rule : root.children("Rule"))
            Rule(rule);
    }

private:
    void Add(pugi::xml_node at, const QString& rule, const char* check, const QString& message)
    {
        m_result.findings.append({ m_lines.LineOf(at), rule, Text(check), message });
    }

    void CheckUnits(pugi::xml_node node, const QString& rule, const char* linear, const char* angular)
    {
        for (const auto& [attribute, count] :
            { std::pair { linear, VtrUnits::kLinearCount }, std::pair { angular, VtrUnits::kAngularCount } }) {
            const pugi::xml_attribute a = node.attribute(attribute);
            if (!a)
                continue;
            double code = 0;
            if (!ParseNumber(a.value(), code) || code != std::floor(code) || code < 0 || code >= count)
                Add(node, rule, "units-out-of-range",
                    QStringLiteral("%1=\"%2\" is not a unit code (0 to %3)")
                        .arg(Text(attribute), Text(a.value()))
                        .arg(count - 1));
        }
    }

    void Rule(pugi::xml_node rule)
    {
        const QString name = Text(rule.attribute("Name").value());
        const QString category = Text(rule.attribute("RuleCategory").value());
        const QString label = category + QLatin1Char('/') + name;
        const QString identity = Text(rule.attribute("RuleModule").value()).toCaseFolded() + QChar(0x1f)
            + category.toCaseFolded() + QChar(0x1f) + name.toCaseFolded();
        if (m_seen.contains(identity))
            Add(rule, label, "duplicate-rule", QStringLiteral("the file holds this rule more than once"));
        m_seen.insert(identity);

        CheckUnits(rule, label, "LinearUnit", "AngularUnit");
        const pugi::xml_attribute linear = rule.attribute("LinearUnit");
        const pugi::xml_attribute angular = rule.attribute("AngularUnit");
        if ((linear && linear.as_int(-1) != m_fileLinear) || (angular && angular.as_int(-1) != m_fileAngular))
            Add(rule, label, "units-disagree",
                QStringLiteral("the rule's units (%1, %2) are not the file's (%3, %4)")
                    .arg(Text(linear.value()), Text(angular.value()))
                    .arg(m_fileLinear)
                    .arg(m_fileAngular));

        const std::vector<pugi::xml_node>* defaults = nullptr;
        if (m_context.offered) {
            const std::vector<pugi::xml_node>& offered = m_context.offered->Elements(name, category);
            if (offered.empty())
                Add(rule, label, "unoffered-rule",
                    QStringLiteral("no loaded module offers this rule (module \"%1\"); the program drops it when it "
                                   "opens the file")
                        .arg(Text(rule.attribute("RuleModule").value())));
            else
                defaults = &offered;
        }
        QSet<QString> known;
        if (defaults)
            for (pugi::xml_node element : *defaults)
                Parameters(element, 0, [&](pugi::xml_node p) { known.insert(Text(p.attribute("Name").value())); });
        Parameters(rule, 0, [&](pugi::xml_node p) { Parameter(p, label, defaults ? &known : nullptr); });

        if (m_context.customMessage) {
            const QString message = m_context.customMessage(rule.attribute("HelpId").as_int(0), name, category);
            if (message.size() > kLongestListedMessage)
                Add(rule, label, "long-custom-message",
                    QStringLiteral("its custom message has %1 characters; the list shows %2")
                        .arg(message.size())
                        .arg(kLongestListedMessage));
        }
    }

    template <typename Visit> static void Parameters(pugi::xml_node node, int depth, Visit&& visit)
    {
        if (depth > VtrXMLDocument::kMaxNestingDepth)
            return;
        for (pugi::xml_node child : node.children()) {
            if (child.type() != pugi::node_element)
                continue;
            if (std::strcmp(child.name(), "Parameter") == 0)
                visit(child);
            else
                Parameters(child, depth + 1, visit);
        }
    }

    void Parameter(pugi::xml_node p, const QString& rule, const QSet<QString>* known)
    {
        const QString name = Text(p.attribute("Name").value());
        const QString label = rule + QStringLiteral(": \"") + name + QLatin1Char('"');
        if (known && !known->contains(name)) {
            Add(p, rule, "unknown-setting", QStringLiteral("the module does not know the setting \"%1\"").arg(name));
            return;
        }
        const std::string_view type = Trimmed(p.child_value("ParameterType"));
        struct Item
        {
            const char* tag;
            pugi::xml_node node;
            bool number;
            double value;
        };
        Item items[] = { { "Value", p.child("Value"), false, 0 }, { "Recom", p.child("Recom"), false, 0 },
            { "Alert", p.child("Alert"), false, 0 } };
        for (Item& item : items) {
            if (!item.node)
                continue;
            const char* text = item.node.child_value();
            if (!FitsType(type.empty() ? std::string_view("Double") : type, text)) {
                Add(item.node, rule, "bad-value",
                    QStringLiteral("%1 of \"%2\" is \"%3\", not a %4")
                        .arg(Text(item.tag), name, Text(text), QString::fromUtf8(type.data(), type.size())));
                continue;
            }
            item.number = ParseNumber(text, item.value);
        }
        const std::string_view unit = Trimmed(p.attribute("UnitType").value());
        if (unit == "Length" || unit == "Area" || unit == "Volume")
            for (const Item& item : items)
                if (item.number && item.value < 0)
                    Add(item.node, rule, "negative-size",
                        QStringLiteral("%1 of \"%2\" is a negative %3 (%4)")
                            .arg(Text(item.tag), name, QString::fromUtf8(unit.data(), unit.size()).toLower())
                            .arg(item.value));
        // Recommended values lie on the safe side of the limit, alert values
        // on the other: for a minimum (>=) recommended >= value >= alert.
        const std::string_view op = Trimmed(p.child_value("Operator"));
        const int direction = op == ">=" || op == ">" ? 1 : op == "<=" || op == "<" ? -1 : 0;
        const Item& value = items[0];
        if (direction == 0 || !value.number)
            return;
        if (items[1].number && direction * (items[1].value - value.value) < 0)
            Add(items[1].node, rule, "recommended-wrong-side",
                QStringLiteral("the recommended value of \"%1\" (%2) is on the wrong side of its limit %3 %4")
                    .arg(name)
                    .arg(items[1].value)
                    .arg(QString::fromUtf8(op.data(), op.size()))
                    .arg(value.value));
        if (items[2].number && direction * (items[2].value - value.value) > 0)
            Add(items[2].node, rule, "alert-wrong-side",
                QStringLiteral("the alert value of \"%1\" (%2) is on the safe side of its limit %3 %4")
                    .arg(name)
                    .arg(items[2].value)
                    .arg(QString::fromUtf8(op.data(), op.size()))
                    .arg(value.value));
    }

    const LintContext& m_context;
    const LineIndex& m_lines;
    LintResult& m_result;
    int m_fileLinear = 0;
    int m_fileAngular = 0;
    QSet<QString> m_seen;
};
} // namespace

LintResult LintRuleFile(const QString& path, const LintContext& context)
{
    LintResult result;
    // Only regular files: reading a FIFO would wait for ever.
    if (!VtrIsRegularFile(path, &result.error))
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray text = file.readAll();
    VtrXMLDocument document;
    const std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(text.constData(), static_cast<size_t>(text.size())));
    if (!root) {
        result.error = document.LastError().isEmpty() ? QStringLiteral("it is not well-formed XML") : document.LastError();
        return result;
    }
    result.readable = true;
    const LineIndex lines(text);
    Linter linter(context, lines, result);
    linter.File(root->Native());
    const FingerprintStatus fingerprint = VerifyRuleFileFingerprint(path);
    result.fingerprintMatches = fingerprint == FingerprintStatus::Matches;
    if (fingerprint == FingerprintStatus::Modified) {
        result.fingerprintMismatch = true;
        result.findings.append({ lines.LineOf(root->Native()), QString(), QStringLiteral("fingerprint-mismatch"),
            QStringLiteral("the rules were changed outside the program since the file was saved with its password") });
    }
    std::stable_sort(result.findings.begin(), result.findings.end(),
        [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
    return result;
}
