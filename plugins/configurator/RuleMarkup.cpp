#include "RuleMarkup.h"

#include "PLQRuleConfigurator.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"

std::unique_ptr<CPLQRuleConfigurator> RuleFromMarkup(const QString& markup)
{
    VtrXMLDocument document;
    const QByteArray utf8 = markup.toUtf8();
    std::unique_ptr<VtrXMLNode> root(document.LoadFromBuffer(utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!root || root->GetNodeName() != QLatin1String("Rule"))
        return nullptr;
    auto rule = std::make_unique<CPLQRuleConfigurator>();
    if (!rule->PopulateParametersFromXML(root.get()) || rule->GetRuleName().isEmpty())
        return nullptr;
    for (const auto& [name, value] : rule->ExtraAttributes())
        if (name == QLatin1String("Summary"))
            rule->SetSummary(value);
    return rule;
}
