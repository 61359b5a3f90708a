#include "CliContext.h"
#include "Commands.h"

#include "Utilities/StringTable.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"
#include "views/ModuleRuleSource.h"

#include <cstdio>
#include <vector>

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// A listed rule and the module entry that releases it.
struct ListedRule
{
    CVtrRule* rule;
    PFN_DeleteRule deleteRule;
};

QString CriticalityWord(int32_t criticality)
{
    return VtrString(criticality >= 1 && criticality <= 5 ? 566 + criticality : 569);
}

// Appends the rules of one GetAllRules or GetModuleRules call, stamped with
// the library they came from, as the rule list stamps them.
void Collect(PtrArray& rules, void* library, const QString& moduleName, std::vector<ListedRule>& out)
{
    auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(library, ModuleExports::kDeleteRule));
    const QString path = VtrLibrary::FileName(library);
    for (int32_t i = 0; i < rules.GetSize(); ++i) {
        auto* rule = static_cast<CVtrRule*>(rules.GetAt(i));
        if (!rule)
            continue;
        StampModuleRule(rule, path, moduleName);
        out.push_back({ rule, deleteRule });
    }
}

bool ParseArguments(const QStringList& args, bool& json)
{
    json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        QString format;
        if (args[i] == QLatin1String("--format") && i + 1 < args.size())
            format = args[++i];
        else if (args[i].startsWith(QLatin1String("--format=")))
            format = args[i].mid(9);
        else
            return false;
        if (format == QLatin1String("json"))
            json = true;
        else if (format != QLatin1String("text"))
            return false;
    }
    return true;
}
} // namespace

int RunRules(const QStringList& args)
{
    bool json = false;
    if (!ParseArguments(args, json)) {
        std::fprintf(stderr, "vtrpro-rules: usage: rules [--format text|json]\n");
        return 2;
    }
    CliContext cli;
    if (const int code = cli.Start())
        return code;
    ModuleSet& modules = cli.Modules();

    auto getModuleRules = reinterpret_cast<PFN_GetModuleRules>(
        VtrLibrary::Find(modules.configuratorLibrary, ModuleExports::kGetModuleRules));
    std::vector<ListedRule> listed;
    for (int32_t i = 0; i < modules.loadedRuleModules.GetSize(); ++i) {
        void* library = modules.loadedRuleModules.GetAt(i);
        auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(library, ModuleExports::kGetAllRules));
        if (!getAll)
            continue;
        PtrArray rules;
        getAll(&rules);
        Collect(rules, library, ModuleDisplayName(library), listed);
        // The configurator's rules for this module follow the module's own.
        const QString key = ConfiguratorKeyOfModule(QFileInfo(VtrLibrary::FileName(library)).fileName());
        if (getModuleRules && !key.isEmpty()) {
            PtrArray productRules;
            getModuleRules(&key, &productRules);
            Collect(productRules, modules.configuratorLibrary, ModuleDisplayName(modules.configuratorLibrary), listed);
        }
    }

    if (json) {
        QJsonArray array;
        for (const ListedRule& l : listed) {
            const CVtrRule& r = *l.rule;
            array.append(QJsonObject { { QStringLiteral("helpId"), r.GetHelpId() },
                { QStringLiteral("name"), r.GetRuleName() }, { QStringLiteral("displayName"), r.GetDisplayName() },
                { QStringLiteral("category"), r.GetRuleCategory() },
                { QStringLiteral("module"), r.GetRuleModuleName() },
                { QStringLiteral("criticality"), CriticalityWord(r.GetCriticality()) },
                { QStringLiteral("severity"), r.GetCriticality() } });
        }
        const QByteArray text = QJsonDocument(array).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    } else {
        for (const ListedRule& l : listed) {
            const CVtrRule& r = *l.rule;
            std::printf("%d\t%s\t%s\t%s\t%s\n", r.GetHelpId(), qUtf8Printable(r.GetRuleName()),
                qUtf8Printable(r.GetRuleCategory()), qUtf8Printable(r.GetRuleModuleName()),
                qUtf8Printable(CriticalityWord(r.GetCriticality())));
        }
    }
    std::fflush(stdout);

    // Rules go back to their modules before the context frees the libraries.
    for (ListedRule& l : listed)
        if (l.deleteRule)
            l.deleteRule(&l.rule);
    return 0;
}
