#include "ProductRuleCatalogue.h"

#include <iterator>

namespace {
const ProductRuleKey kKeys[] = {
    { "Mill", { "Milling", "Drilling" } },
    { "SheetMetalForm", { "Sheet Metal Forming" } },
    { "Additive", { "Additive Manufacturing" } },
    { "SheetMetal", { "Sheet Metal" } },
    { "InjectionMolding", { "Injection Molding" } },
    { "General", { "General" } },
    { "Assembly", { "Assembly" } },
    { "Tubing", { "Tubing" } },
    { "Cabling", { "Cabling" } },
    { "VacuumInfusion", { "Vacuum Infusion" } },
    { "DieCasting", { "Die Casting" } },
    { "Turn", { "Turning" } },
};

// Help ids from 900000 up stay clear of the modules' ranges; the names carry
// "Product" so they never meet a module rule's name. Graded limits read as the
// modules' catalogues do: the recommended value on the safe side of the
// limit, the alert beyond it on the failing side.
const ProductRuleEntry kEntries[] = {
    { "Mill", "Pocket corners of product parts must allow the standard end mill of the product line.",
        R"(<Rule Name="Product - Minimum Pocket Corner Radius" DisplayName="Product - Minimum Pocket Corner Radius" )"
        R"(RuleCategory="Milling" Severity="2" RuleModule="Product Rules" Selected="0" HelpId="900001" RuleId="0" )"
        R"(Validator="PLQRuleValidator" LinearUnit="0" AngularUnit="0">)"
        R"(<Parameter Type="1" Status="1" Name="Minimum Corner Radius" UnitType="Length"><Operator>&gt;=</Operator>)"
        R"(<ParameterType>Double</ParameterType><Value>1.5</Value><Recom>2</Recom><Alert>1</Alert></Parameter></Rule>)" },
    { "Mill", "Pockets of product parts may not be deeper than the product line's longest tool reaches.",
        R"(<Rule Name="Product - Maximum Pocket Depth" DisplayName="Product - Maximum Pocket Depth" )"
        R"(RuleCategory="Milling" Severity="3" RuleModule="Product Rules" Selected="0" HelpId="900002" RuleId="0" )"
        R"(Validator="PLQRuleValidator" LinearUnit="0" AngularUnit="0">)"
        R"(<Parameter Type="1" Status="1" Name="Maximum Depth" UnitType="Length"><Operator>&lt;=</Operator>)"
        R"(<ParameterType>Double</ParameterType><Value>50</Value><Recom>40</Recom><Alert>60</Alert></Parameter></Rule>)" },
    { "SheetMetal", "Flanges of product parts must be wide enough for the product line's press brake tooling.",
        R"(<Rule Name="Product - Minimum Flange Width" DisplayName="Product - Minimum Flange Width" )"
        R"(RuleCategory="Sheet Metal" Severity="2" RuleModule="Product Rules" Selected="0" HelpId="900101" RuleId="0" )"
        R"(Validator="PLQRuleValidator" LinearUnit="0" AngularUnit="0">)"
        R"(<Parameter Type="1" Status="1" Name="Minimum Width" UnitType="Length"><Operator>&gt;=</Operator>)"
        R"(<ParameterType>Double</ParameterType><Value>3</Value><Recom>4</Recom><Alert>2.5</Alert></Parameter></Rule>)" },
    { "SheetMetal", "Bend angles of product parts must stay within what the product line's dies can form.",
        R"(<Rule Name="Product - Maximum Bend Angle" DisplayName="Product - Maximum Bend Angle" )"
        R"(RuleCategory="Sheet Metal" Severity="3" RuleModule="Product Rules" Selected="0" HelpId="900102" RuleId="0" )"
        R"(Validator="PLQRuleValidator" LinearUnit="0" AngularUnit="0">)"
        R"(<Parameter Type="1" Status="1" Name="Maximum Angle" UnitType="Angle"><Operator>&lt;=</Operator>)"
        R"(<ParameterType>Double</ParameterType><Value>135</Value><Recom>120</Recom><Alert>145</Alert></Parameter></Rule>)" },
    { "Assembly", "Fasteners of product assemblies need room for the product line's assembly tools.",
        R"(<Rule Name="Product - Minimum Fastener Tool Clearance" DisplayName="Product - Minimum Fastener Tool Clearance" )"
        R"(RuleCategory="Assembly" Severity="1" RuleModule="Product Rules" Selected="0" HelpId="900201" RuleId="0" )"
        R"(Validator="PLQRuleValidator" LinearUnit="0" AngularUnit="0">)"
        R"(<Parameter Type="1" Status="1" Name="Minimum Clearance" UnitType="Length"><Operator>&gt;=</Operator>)"
        R"(<ParameterType>Double</ParameterType><Value>12</Value><Recom>15</Recom><Alert>10</Alert></Parameter></Rule>)" },
};
} // namespace

namespace ProductRuleCatalogue {

std::span<const ProductRuleKey> Keys()
{
    return kKeys;
}

bool IsKnownKey(const QString& key)
{
    for (const ProductRuleKey& k : kKeys)
        if (key == QLatin1String(k.key))
            return true;
    return false;
}

const ProductRuleEntry* Entries()
{
    return kEntries;
}

int Count()
{
    return static_cast<int>(std::size(kEntries));
}

} // namespace ProductRuleCatalogue
