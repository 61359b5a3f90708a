// diff and reset: the rule settings report and Reset to Default from the
// command line, through the code the rule list's context menu runs.

#include "CliContext.h"
#include "CliDocument.h"
#include "Commands.h"
#include "ExitCodes.h"

#include "VtrRule.h"
#include "document/FileDetails.h"
#include "document/RuleFile.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/ResetToDefault.h"
#include "views/RuleListController.h"
#include "views/RuleSettingsReport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
// A rule named on the command line; the category is optional.
struct Target
{
    QString name;
    QString category;
    bool hasCategory = false;
};

struct Arguments
{
    QString file;
    std::vector<Target> targets;
    bool all = false;
    bool json = false;
    QString password;
    bool hasPassword = false;
};

bool Parse(const QStringList& args, bool reset, Arguments& out, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (i + 1 >= args.size()) {
                error = a + QStringLiteral(" needs a value");
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--rule")) {
            Target t;
            if (!value(t.name))
                return false;
            out.targets.push_back(t);
        } else if (a == QLatin1String("--category")) {
            if (out.targets.empty()) {
                error = QStringLiteral("--category follows the --rule it belongs to");
                return false;
            }
            if (!value(out.targets.back().category))
                return false;
            out.targets.back().hasCategory = true;
        } else if (reset && a == QLatin1String("--all")) {
            out.all = true;
        } else if (reset && a == QLatin1String("--password")) {
            if (!value(out.password))
                return false;
            out.hasPassword = true;
        } else if (!reset && a == QLatin1String("--format")) {
            QString format;
            if (!value(format))
                return false;
            if (format != QLatin1String("json") && format != QLatin1String("text")) {
                error = QStringLiteral("unknown format ") + format;
                return false;
            }
            out.json = format == QLatin1String("json");
        } else if (a.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + a;
            return false;
        } else if (out.file.isEmpty()) {
            out.file = a;
        } else {
            error = QStringLiteral("more than one file given");
            return false;
        }
    }
    if (out.file.isEmpty()) {
        error = QStringLiteral("no file given");
        return false;
    }
    if (!reset && out.targets.size() > 1) {
        error = QStringLiteral("diff takes at most one --rule");
        return false;
    }
    if (reset && out.all == !out.targets.empty()) {
        error = QStringLiteral("give either --all or at least one --rule");
        return false;
    }
    return true;
}

// The unit codes a rule file states, as the reader takes them: a missing or
// non-numeric attribute leaves the stored default.
RuleUnits FileUnits(const QString& path)
{
    RuleUnits units = CVTRFileDetails().units;
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromFile(path));
    if (!root)
        return units;
    auto read = [&root](const char* name, int32_t& code) {
        QString text;
        if (!root->GetAttributeValue(QString::fromLatin1(name), text))
            return;
        const QByteArray narrow = text.toUtf8();
        char* end = nullptr;
        const long long parsed = std::strtoll(narrow.constData(), &end, 10);
        if (end != narrow.constData())
            code = static_cast<int32_t>(parsed);
    };
    read("Unit", units.LinearUnit);
    read("AngularUnit", units.AngularUnit);
    return units;
}

// Writes the all-rules file as the program does when a view opens: every
// rule of the installed modules, converted from the previous to the current
// units, written by the rule-file writer. The application's list of all
// rules is handed back as it was.
bool WriteDefaultsFile(AppContext& app, const QList<CVtrRule*>& installed, const RuleUnits& previous,
    const RuleUnits& current, const QString& path)
{
    for (CVtrRule* rule : installed)
        if (rule)
            rule->UpdateRule(&previous, &current);
    const QList<CVtrRule*> saved = app.AllRules();
    app.AllRules() = installed;
    CVTRFileDetails record;
    record.units = current;
    const bool written = WriteRuleFile(record, path, true);
    app.AllRules() = saved;
    return written;
}

// Lines of two listings that differ: the common start and end are left out,
// the rest is matched by a shortest edit script (so a line both hold is not
// shown because lines around it differ), and each run of changed lines pairs
// the file's lines with the defaults' in order.
struct Difference
{
    QString key;
    std::optional<QString> file;
    std::optional<QString> defaults;
};

enum class Step : char { Same, FileOnly, DefaultOnly };

// Myers' shortest edit script from a to b; nothing when it takes more than
// maxEdits edits (its trace grows with the edits times the lines).
std::optional<std::vector<Step>> ShortestEdit(const SettingsLine* a, int n, const SettingsLine* b, int m, int maxEdits)
{
    const int most = std::min(n + m, maxEdits);
    const int offset = most + 1;
    std::vector<int> v(static_cast<size_t>(2 * most + 3), 0);
    std::vector<std::vector<int>> trace;
    for (int d = 0; d <= most; ++d) {
        trace.push_back(v);
        for (int k = -d; k <= d; k += 2) {
            const bool down = k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]);
            int x = down ? v[offset + k + 1] : v[offset + k - 1] + 1;
            int y = x - k;
            while (x < n && y < m && a[x] == b[y]) {
                ++x;
                ++y;
            }
            v[offset + k] = x;
            if (x < n || y < m)
                continue;
            std::vector<Step> steps;
            for (int e = d; e > 0; --e) {
                const std::vector<int>& before = trace[static_cast<size_t>(e)];
                const int kk = x - y;
                const bool wasDown = kk == -e || (kk != e && before[offset + kk - 1] < before[offset + kk + 1]);
                const int prevK = wasDown ? kk + 1 : kk - 1;
                const int prevX = before[offset + prevK];
                const int prevY = prevX - prevK;
                for (; x > (wasDown ? prevX : prevX + 1); --x, --y)
                    steps.push_back(Step::Same);
                steps.push_back(wasDown ? Step::DefaultOnly : Step::FileOnly);
                x = prevX;
                y = prevY;
            }
            for (; x > 0; --x)
                steps.push_back(Step::Same);
            std::reverse(steps.begin(), steps.end());
            return steps;
        }
    }
    return std::nullopt;
}

std::vector<Difference> Differences(const std::vector<SettingsLine>& file, const std::vector<SettingsLine>& defaults)
{
    size_t start = 0;
    while (start < file.size() && start < defaults.size() && file[start] == defaults[start])
        ++start;
    size_t fileEnd = file.size();
    size_t defaultEnd = defaults.size();
    while (fileEnd > start && defaultEnd > start && file[fileEnd - 1] == defaults[defaultEnd - 1]) {
        --fileEnd;
        --defaultEnd;
    }
    const int n = static_cast<int>(fileEnd - start);
    const int m = static_cast<int>(defaultEnd - start);
    std::optional<std::vector<Step>> steps = ShortestEdit(file.data() + start, n, defaults.data() + start, m, 200);
    if (!steps) {
        // Too different to match line by line: pair them in order.
        steps.emplace();
        for (int i = 0; i < std::max(n, m); ++i) {
            if (i < n)
                steps->push_back(Step::FileOnly);
            if (i < m)
                steps->push_back(Step::DefaultOnly);
        }
    }

    std::vector<Difference> out;
    std::vector<const SettingsLine*> fileRun;
    std::vector<const SettingsLine*> defaultRun;
    const auto flush = [&] {
        for (size_t i = 0; i < std::max(fileRun.size(), defaultRun.size()); ++i) {
            const SettingsLine* f = i < fileRun.size() ? fileRun[i] : nullptr;
            const SettingsLine* d = i < defaultRun.size() ? defaultRun[i] : nullptr;
            if (f && d && *f == *d)
                continue;
            Difference diff;
            diff.key = QString::fromStdString(f ? f->key : d->key);
            if (f)
                diff.file = QString::fromStdString(f->value);
            if (d)
                diff.defaults = QString::fromStdString(d->value);
            if (f && d && f->key != d->key)
                diff.key += QStringLiteral(" / ") + QString::fromStdString(d->key);
            out.push_back(std::move(diff));
        }
        fileRun.clear();
        defaultRun.clear();
    };
    size_t fi = start;
    size_t di = start;
    for (const Step step : *steps) {
        switch (step) {
        case Step::Same:
            flush();
            ++fi;
            ++di;
            break;
        case Step::FileOnly:
            fileRun.push_back(&file[fi++]);
            break;
        case Step::DefaultOnly:
            defaultRun.push_back(&defaults[di++]);
            break;
        }
    }
    flush();
    return out;
}

// Rules a target names: its category, or every category the file (else the
// defaults) gives that name. The name is spelled as the module spells it,
// since the spelling decides the special cases of the listing.
std::vector<RuleElementIndex::RuleKey> Resolve(const RuleSettingsReport& report, const Target& target)
{
    std::vector<RuleElementIndex::RuleKey> out;
    QHash<QString, int> seen;
    auto consider = [&](const RuleElementIndex::RuleKey& key) {
        if (key.name.compare(target.name, Qt::CaseInsensitive) != 0)
            return;
        if (target.hasCategory && key.category.compare(target.category, Qt::CaseInsensitive) != 0)
            return;
        const QString lower = key.category.toLower();
        if (!seen.contains(lower)) {
            seen.insert(lower, static_cast<int>(out.size()));
            out.push_back(key);
        }
    };
    // The file's own rules first: a name that other categories share in the
    // modules means the one the file holds.
    for (const RuleElementIndex::RuleKey& key : report.Current().Rules())
        consider(key);
    if (out.empty())
        for (const RuleElementIndex::RuleKey& key : report.Defaults().Rules())
            consider(key);
    return out;
}

// The spelling of a rule's name in the defaults, else in the file.
QString ModuleSpelling(const RuleSettingsReport& report, const RuleElementIndex::RuleKey& key)
{
    const auto& defaults = report.Defaults().Elements(key.name, key.category);
    if (!defaults.empty())
        return QString::fromUtf8(defaults.front().attribute("Name").value());
    return key.name;
}

QJsonValue JsonText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

void PrintQuoted(const std::optional<QString>& text)
{
    if (text)
        std::printf("\"%s\"", qUtf8Printable(*text));
    else
        std::printf("(none)");
}

int Usage(const QString& error, bool reset)
{
    std::fprintf(stderr, "vtrpro-rules: %s\nusage: %s\n", qUtf8Printable(error),
        reset ? "vtrpro-rules reset FILE (--rule NAME [--category CAT]... | --all) [--password TEXT] "
                "[--drop-unoffered]"
              : "vtrpro-rules diff FILE [--rule NAME [--category CAT]] [--format json]");
    return ExitCode::kRefused;
}
} // namespace

RuleUnits RuleFileUnits(const QString& path)
{
    return FileUnits(path);
}

bool WriteOfferedDefaults(CliContext& cli, const RuleUnits& units, const QString& path)
{
    // The modules' rules, listed as a view lists them, give the defaults.
    // A new document holds them, so no rule file is locked.
    CVTRRuleBuilderDoc doc;
    doc.OnNewDocument();
    RuleListController list(&doc);
    RuleListDocLink link(&list);
    list.Fill(false, false);
    const bool written
        = WriteDefaultsFile(cli.App(), list.InstalledRules(), CVTRFileDetails().previousUnits, units, path);
    doc.OnCloseDocument();
    return written;
}

int RunDiff(const QStringList& args)
{
    Arguments a;
    QString error;
    if (!Parse(args, false, a, error))
        return Usage(error, false);
    const QString path = QFileInfo(a.file).absoluteFilePath();
    if (!QFileInfo(path).isFile()) {
        std::fprintf(stderr, "vtrpro-rules: %s is not a readable file\n", qUtf8Printable(path));
        return ExitCode::kRefused;
    }

    CliContext cli;
    if (const int code = cli.Start())
        return code;
    RuleElementIndex probe;
    if (!probe.Load(path)) {
        std::fprintf(
            stderr, "vtrpro-rules: %s cannot be read: %s\n", qUtf8Printable(path), qUtf8Printable(probe.LastError()));
        return ExitCode::kRefused;
    }
    const RuleUnits units = FileUnits(path);

    QTemporaryDir scratch;
    const QString defaultsPath = scratch.filePath(QString::fromLatin1(RuleFileNames::kAllRulesFile));
    RuleSettingsReport report;
    if (!scratch.isValid() || !WriteOfferedDefaults(cli, units, defaultsPath) || !report.Load(path, defaultsPath)) {
        std::fprintf(stderr, "vtrpro-rules: the default settings of the loaded modules cannot be written\n");
        return ExitCode::kRefused;
    }

    if (!a.targets.empty()) {
        const Target& target = a.targets.front();
        const std::vector<RuleElementIndex::RuleKey> keys = Resolve(report, target);
        if (keys.empty()) {
            std::fprintf(stderr, "vtrpro-rules: no rule named \"%s\"%s in the file or the loaded modules\n",
                qUtf8Printable(target.name),
                target.hasCategory ? qUtf8Printable(QStringLiteral(" in category \"") + target.category + '"') : "");
            return ExitCode::kRefused;
        }
        // Only the defaults have it: there is nothing of the file's to compare.
        if (report.Current().Elements(keys.front().name, keys.front().category).empty()) {
            std::fprintf(stderr, "vtrpro-rules: \"%s\"%s is not in %s\n", qUtf8Printable(keys.front().name),
                target.hasCategory ? qUtf8Printable(QStringLiteral(" (") + keys.front().category + ')') : "",
                qUtf8Printable(path));
            return ExitCode::kRefused;
        }
        bool differs = false;
        for (const RuleElementIndex::RuleKey& key : keys)
            differs = report.Compare(ModuleSpelling(report, key), key.category) == SettingsVerdict::Differs || differs;
        if (a.json) {
            QJsonObject o { { "rule", keys.front().name }, { "differs", differs } };
            if (target.hasCategory)
                o.insert(QStringLiteral("category"), keys.front().category);
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        } else {
            std::printf("%s\n", differs ? "differs" : "same");
        }
        return differs ? ExitCode::kFound : ExitCode::kDone;
    }

    QJsonArray rules;
    int differing = 0;
    for (const RuleElementIndex::RuleKey& key : report.Current().Rules()) {
        const QString name = ModuleSpelling(report, key);
        if (report.Compare(name, key.category) != SettingsVerdict::Differs)
            continue;
        ++differing;
        const std::vector<Difference> diffs
            = Differences(RuleSettingsLines(report.Current().Elements(key.name, key.category), name),
                RuleSettingsLines(report.Defaults().Elements(key.name, key.category), name));
        if (a.json) {
            QJsonArray list;
            for (const Difference& d : diffs)
                list.append(QJsonObject {
                    { "key", d.key }, { "file", JsonText(d.file) }, { "default", JsonText(d.defaults) } });
            rules.append(QJsonObject { { "rule", key.name }, { "category", key.category }, { "differences", list } });
        } else {
            std::printf("%s (%s)\n", qUtf8Printable(key.name), qUtf8Printable(key.category));
            for (const Difference& d : diffs) {
                std::printf("  %s: ", qUtf8Printable(d.key));
                PrintQuoted(d.file);
                std::printf(", default ");
                PrintQuoted(d.defaults);
                std::printf("\n");
            }
        }
    }
    if (a.json)
        std::printf("%s", QJsonDocument(rules).toJson(QJsonDocument::Indented).constData()); // ends with a newline
    else if (differing == 0)
        std::printf("every rule of %s has its default settings\n", qUtf8Printable(path));
    return differing > 0 ? ExitCode::kFound : ExitCode::kDone;
}

int RunReset(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool dropUnoffered = CliDocument::TakeDropUnoffered(args);
    Arguments a;
    QString error;
    if (!Parse(args, true, a, error))
        return Usage(error, true);

    CliDocument file(
        QStringLiteral("vtrpro-rules"), a.file, a.hasPassword ? std::optional<QString>(a.password) : std::nullopt);
    file.SetDropUnoffered(dropUnoffered);
    return file.Change([&a](CliDocument& open) {
        CVTRRuleBuilderDoc& doc = open.Doc();
        RuleListController& list = open.List();
        const QString& path = open.Path();

        QTemporaryDir scratch;
        const QString defaultsPath = scratch.filePath(QString::fromLatin1(RuleFileNames::kAllRulesFile));
        const bool written = scratch.isValid()
            && WriteDefaultsFile(
                open.Cli().App(), list.InstalledRules(), doc.PreviousUnits(), doc.CurrentUnits(), defaultsPath);

        // The rows to reset: every row, or those of the named rules.
        RuleListModel* model = list.Model();
        QList<int> rows;
        QStringList unknown;
        QStringList notInFile;
        if (a.all) {
            for (int r = 0; r < model->RowCount(); ++r)
                rows.append(r);
        } else {
            QHash<QString, QList<int>> rowsByName;
            for (int r = 0; r < model->RowCount(); ++r)
                rowsByName[model->RuleAt(r)->GetRuleName().toLower()].append(r);
            QSet<int> taken;
            for (const Target& t : a.targets) {
                bool found = false;
                bool inFile = false;
                for (int r : rowsByName.value(t.name.toLower())) {
                    if (t.hasCategory
                        && model->RuleAt(r)->GetRuleCategory().compare(t.category, Qt::CaseInsensitive) != 0)
                        continue;
                    found = true;
                    // A rule the file does not hold has nothing to reset.
                    if (!doc.SelectedRules().Contains(model->RuleAt(r)))
                        continue;
                    inFile = true;
                    if (!taken.contains(r)) {
                        taken.insert(r);
                        rows.append(r);
                    }
                }
                if (!found)
                    unknown << t.name;
                else if (!inFile)
                    notInFile << t.name;
            }
            std::sort(rows.begin(), rows.end());
        }

        QList<CVtrRule*> rules;
        for (int r : rows)
            rules.append(model->RuleAt(r));
        if (!written)
            return open.Refuse(QStringLiteral("the default settings of the loaded modules cannot be written"));
        if (!unknown.isEmpty() || !notInFile.isEmpty()) {
            for (const QString& name : unknown)
                open.Refuse(QStringLiteral("no rule named \"%1\" in the loaded modules").arg(name));
            for (const QString& name : notInFile)
                open.Refuse(QStringLiteral("\"%1\" is not in %2").arg(name, path));
            return ExitCode::kRefused;
        }
        if (!MarkRulesThatDiffer(path, defaultsPath, rules)) {
            std::printf("%s: no rule to reset\n", qUtf8Printable(path));
            return ExitCode::kDone;
        }
        QStringList names;
        for (CVtrRule* rule : rules)
            if (rule->GetDiffersFromDefault() == 1)
                names << rule->GetRuleName();
        const int reset = ResetRulesToDefault(list, rows, defaultsPath);
        if (reset < 0)
            return open.Refuse(QStringLiteral("the rules could not be reset"));
        if (const int code = open.Save())
            return code;
        std::printf("%s: %d rules reset to default: %s\n", qUtf8Printable(path), reset,
            qUtf8Printable(names.join(QStringLiteral(", "))));
        return ExitCode::kDone;
    });
}
