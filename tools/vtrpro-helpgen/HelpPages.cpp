#include "HelpPages.h"

#include "RuleCatalogue.h"
#include "Utilities/StringTable.h"
#include "views/RuleParameters.h"

#include <algorithm>

#include <pugixml.hpp>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {
const char kStyle[] = "body{font-family:sans-serif;margin:2em;max-width:60em}"
                      "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:4px 8px;text-align:left}"
                      "th{background:#eaf2fb}.nav{font-size:90%}";

QString Esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString Head(const QString& title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\"><title>%1</title>\n"
                          "<style>%2</style>\n</head>\n<body>\n")
        .arg(Esc(title), QLatin1String(kStyle));
}

QString UnitName(const QString& unitType)
{
    // Catalogue values are millimetres and degrees.
    if (unitType == QLatin1String("Length"))
        return QStringLiteral("millimeters");
    if (unitType == QLatin1String("Angle"))
        return QStringLiteral("degrees");
    if (unitType == QLatin1String("Area"))
        return QStringLiteral("square millimeters");
    if (unitType == QLatin1String("Volume"))
        return QStringLiteral("cubic millimeters");
    return {};
}

QString CriticalityWord(int criticality)
{
    return VtrString(criticality >= 1 && criticality <= 5 ? 566 + criticality : 569);
}
} // namespace

HelpRule HelpRuleOf(const CVtrRule& source, const QString& why)
{
    HelpRule rule;
    rule.helpId = source.GetHelpId();
    rule.name = source.GetRuleName();
    rule.displayName = source.GetDisplayName();
    rule.module = source.GetRuleModuleName();
    rule.category = source.GetRuleCategory();
    rule.criticality = source.GetCriticality();
    rule.summary = source.GetSummary();
    rule.why = why;
    const RuleParameterEdit edit(source);
    for (int i = 0; i < edit.Count(); ++i) {
        const RuleParameter& p = edit.At(i);
        HelpParameter row;
        row.name = p.key;
        row.op = p.op;
        row.value = edit.Text(i, ParameterField::Value);
        row.recommended = edit.Text(i, ParameterField::Recommended);
        row.alert = edit.Text(i, ParameterField::Alert);
        row.unit = UnitName(p.unitType);
        rule.parameters.push_back(std::move(row));
    }
    return rule;
}

bool ReadHelpModule(const QString& cataloguePath, HelpModule& module, QString& error)
{
    QFile file(cataloguePath);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1 cannot be read").arg(cataloguePath);
        return false;
    }
    const QByteArray bytes = file.readAll();
    RuleCatalogue catalogue;
    if (!catalogue.Load(bytes.constData(), static_cast<std::size_t>(bytes.size()), error)) {
        error = cataloguePath + QStringLiteral(": ") + error;
        return false;
    }
    // The reader drops the paragraphs; take them from the catalogue itself.
    pugi::xml_document doc;
    doc.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    QHash<int, QString> why;
    for (pugi::xml_node rule : doc.child("RuleCatalogue").children("Rule"))
        why.insert(rule.attribute("HelpId").as_int(), QString::fromUtf8(rule.attribute("Why").value()));

    module.library = catalogue.Library();
    module.name = catalogue.ModuleName();
    module.summary = catalogue.Summary();
    module.rules.clear();
    for (const auto& prototype : catalogue.Rules())
        module.rules.push_back(HelpRuleOf(*prototype, why.value(prototype->GetHelpId())));
    return true;
}

std::vector<HelpTopicPage> ReadTopicPages(const QString& folder)
{
    static const QRegularExpression kTitle(QStringLiteral("<title>(.*?)</title>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression kNumbered(QStringLiteral("^[0-9]+\\.html$"));
    std::vector<std::pair<int, HelpTopicPage>> found;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({ QStringLiteral("*.html") }, QDir::Files)) {
        if (!kNumbered.match(name).hasMatch())
            continue;
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QString title = kTitle.match(QString::fromUtf8(f.readAll())).captured(1).trimmed();
        title.remove(QStringLiteral("VTRPro Rule Manager - "));
        found.push_back({ QStringView(name).chopped(5).toInt(), { name, title.isEmpty() ? name : title } });
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<HelpTopicPage> topics;
    for (auto& [number, page] : found)
        topics.push_back(std::move(page));
    return topics;
}

QString ModuleAnchor(const HelpModule& module)
{
    return QStringLiteral("module-") + module.library;
}

QString RulePage(const HelpModule& module, const HelpRule& rule)
{
    QString html = Head(rule.displayName + QStringLiteral(" - VTRPro Rule Manager"));
    html += QStringLiteral(
        "<p class=\"nav\"><a href=\"index.html\">Contents</a> &gt; <a href=\"index.html#%1\">%2</a></p>\n")
                .arg(ModuleAnchor(module), Esc(module.name));
    html += QStringLiteral("<h1>%1</h1>\n").arg(Esc(rule.displayName));
    html += QStringLiteral("<table>\n");
    if (rule.name != rule.displayName)
        html += QStringLiteral("<tr><th>Rule</th><td>%1</td></tr>\n").arg(Esc(rule.name));
    html += QStringLiteral("<tr><th>Module</th><td>%1</td></tr>\n").arg(Esc(rule.module));
    html += QStringLiteral("<tr><th>Category</th><td>%1</td></tr>\n").arg(Esc(rule.category));
    html += QStringLiteral("<tr><th>Criticality</th><td>%1</td></tr>\n").arg(Esc(CriticalityWord(rule.criticality)));
    html += QStringLiteral("<tr><th>Help id</th><td>%1</td></tr>\n</table>\n").arg(rule.helpId);
    if (!rule.summary.isEmpty())
        html += QStringLiteral("<h2>What it checks</h2>\n<p>%1</p>\n").arg(Esc(rule.summary));
    if (!rule.why.isEmpty())
        html += QStringLiteral("<h2>Why it matters in manufacture</h2>\n<p>%1</p>\n").arg(Esc(rule.why));
    html += QStringLiteral("<h2>Parameters</h2>\n");
    if (rule.parameters.empty()) {
        html += QStringLiteral("<p>The rule has no parameters to set; it is switched on by ticking it.</p>\n");
    } else {
        html += QStringLiteral("<table>\n<tr><th>Parameter</th><th>Operator</th><th>Default</th><th>Recommended</th>"
                               "<th>Alert</th><th>Unit</th></tr>\n");
        for (const HelpParameter& p : rule.parameters)
            html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td>%6</td></tr>\n")
                        .arg(Esc(p.name), Esc(p.op), Esc(p.value), Esc(p.recommended), Esc(p.alert), Esc(p.unit));
        html += QStringLiteral("</table>\n<p>Defaults are shown in millimeters and degrees. The parameter editor "
                               "(<em>Configure rule</em>) shows and changes them in the rule file's units.</p>\n");
    }
    html += QStringLiteral("<p><a href=\"1000.html\">The program's commands</a></p>\n</body>\n</html>\n");
    return html;
}

QString IndexPage(const std::vector<HelpModule>& modules, const std::vector<HelpTopicPage>& topics)
{
    QString html = Head(QStringLiteral("VTRPro Rule Manager - Help"));
    html += QStringLiteral("<h1>VTRPro Rule Manager help</h1>\n<h2>Topics</h2>\n<ul>\n");
    for (const HelpTopicPage& t : topics)
        html += QStringLiteral("<li><a href=\"%1\">%2</a></li>\n").arg(t.file, Esc(t.title));
    html += QStringLiteral("</ul>\n<h2>Rules by module</h2>\n<p>Select a rule in the list and press F1 to open its "
                           "page.</p>\n<ul>\n");
    std::vector<const HelpModule*> sorted;
    for (const HelpModule& m : modules)
        sorted.push_back(&m);
    std::sort(sorted.begin(), sorted.end(),
        [](const HelpModule* a, const HelpModule* b) { return a->name.localeAwareCompare(b->name) < 0; });
    for (const HelpModule* m : sorted)
        html += QStringLiteral("<li><a href=\"#%1\">%2</a> (%3 rules)</li>\n")
                    .arg(ModuleAnchor(*m), Esc(m->name))
                    .arg(m->rules.size());
    html += QStringLiteral("</ul>\n");
    for (const HelpModule* m : sorted) {
        html += QStringLiteral("<h3 id=\"%1\"><a name=\"%1\"></a>%2</h3>\n<p>%3</p>\n<ul>\n")
                    .arg(ModuleAnchor(*m), Esc(m->name), Esc(m->summary));
        for (const HelpRule& r : m->rules)
            html += QStringLiteral("<li><a href=\"%1.html\">%2</a> (%3)</li>\n")
                        .arg(r.helpId)
                        .arg(Esc(r.displayName), Esc(r.category));
        html += QStringLiteral("</ul>\n");
    }
    html += QStringLiteral("</body>\n</html>\n");
    return html;
}
