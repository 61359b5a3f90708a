#include "PLQRuleConfigurator.h"

#include "VtrXMLNode.h"

CPLQRuleConfigurator::CPLQRuleConfigurator()
{
    SetValidatorName(ValidatorName());
    SetRuleModuleName(CustomModuleName());
}

CPLQRuleConfigurator::~CPLQRuleConfigurator() = default;

bool CPLQRuleConfigurator::IsConfiguratorModuleName(const QString& moduleName)
{
    return moduleName.compare(CustomModuleName(), Qt::CaseInsensitive) == 0
        || moduleName.compare(ProductModuleName(), Qt::CaseInsensitive) == 0;
}

void CPLQRuleConfigurator::SetProductRule(bool productRule)
{
    m_bProductRule = productRule;
    // Only the default names move with the flag; a name read from a file
    // stays as the user's file had it.
    const QString& module = GetRuleModuleName();
    if (module.isEmpty() || module == CustomModuleName() || module == ProductModuleName())
        SetRuleModuleName(productRule ? ProductModuleName() : CustomModuleName());
}

bool CPLQRuleConfigurator::PopulateParametersFromXML(VtrXMLNode* ruleNode)
{
    if (!ConcreteVTRRule::PopulateParametersFromXML(ruleNode))
        return false;
    // The rule list tells the flavours apart by "Custom" in the module name.
    m_bProductRule = !GetRuleModuleName().contains(QLatin1String("Custom"));
    if (GetValidatorName().isEmpty())
        SetValidatorName(ValidatorName());
    return true;
}

bool CPLQRuleConfigurator::UpdateRule(CVtrRule* source)
{
    if (!ConcreteVTRRule::UpdateRule(source))
        return false;
    if (auto* other = dynamic_cast<CPLQRuleConfigurator*>(source)) {
        m_bProductRule = other->m_bProductRule;
        m_storedVersion = other->m_storedVersion;
    }
    return true;
}

CPLQRuleCreationData::CPLQRuleCreationData(CPLQRuleConfigurator* configurator, PLQRuleStatus_e status)
    : m_pConfigurator(configurator)
    , m_status(status)
{ }

CPLQRuleCreationData::~CPLQRuleCreationData() = default;
