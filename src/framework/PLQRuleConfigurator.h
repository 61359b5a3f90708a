#pragma once

#include "ConcreteVTRRule.h"

#include <cstdint>

#include <QMap>
#include <QString>
#include <QStringList>

// What the rule-creation program is asked to do with a rule.
enum PLQRuleStatus_e : int32_t {
    PLQ_RULE_CREATE = 0, // the Create commands
    PLQ_RULE_EDIT = 1, // the Edit commands
    PLQ_RULE_EDIT_FROM_LIST = 2, // Edit Rule from the rule list
};

// A custom or product rule: a generic rule that the product-rule configurator
// keeps and the rule-creation program edits. Defined in the framework library
// so that the program and the configurator share its type information
// (dynamic_cast works across the plug-in boundary).
class CPLQRuleConfigurator : public ConcreteVTRRule
{
public:
    // A custom rule (product-rule flag false) with the configurator's validator.
    CPLQRuleConfigurator();
    ~CPLQRuleConfigurator() override;

    // Validator name every configurator rule carries.
    static QString ValidatorName() { return QStringLiteral("PLQRuleValidator"); }
    // Module names of the two flavours; a custom rule's contains "Custom".
    static QString CustomModuleName() { return QStringLiteral("Custom Rules"); }
    static QString ProductModuleName() { return QStringLiteral("Product Rules"); }
    // Whether an element's "RuleModule" names one of the two flavours (case ignored).
    static bool IsConfiguratorModuleName(const QString& moduleName);

    // False for a custom rule, true for a product rule.
    bool IsProductRule() const { return m_bProductRule; }
    // Sets the flag; the module name follows it unless one was read from a file.
    void SetProductRule(bool productRule);

    // Reads the element; the product-rule flag follows its "RuleModule".
    bool PopulateParametersFromXML(VtrXMLNode* ruleNode) override;
    // Takes another rule's settings and, from a configurator rule, its flavour.
    bool UpdateRule(CVtrRule* source) override;
    using ConcreteVTRRule::UpdateRule;

    // The version of the stored rule this copy was read from (the product
    // database raises it with every write), 0 for a copy that was never
    // stored. Not part of the element: a rule file does not carry it.
    int32_t StoredVersion() const { return m_storedVersion; }
    void SetStoredVersion(int32_t version) { m_storedVersion = version; }

private:
    bool m_bProductRule = false;
    int32_t m_storedVersion = 0;
};

// What the program hands to the rule-creation program with a configurator
// rule: the mode, the units in which values are entered and the rule names
// already taken, per module.
class CPLQRuleCreationData
{
public:
    // The configurator stays owned by the caller and must outlive this object.
    CPLQRuleCreationData(CPLQRuleConfigurator* configurator, PLQRuleStatus_e status);
    ~CPLQRuleCreationData();
    CPLQRuleCreationData(const CPLQRuleCreationData&) = delete;
    CPLQRuleCreationData& operator=(const CPLQRuleCreationData&) = delete;

    CPLQRuleConfigurator* GetConfigurator() const { return m_pConfigurator; }
    PLQRuleStatus_e GetStatus() const { return m_status; }

    // Linear unit code (0 millimeters ... 10 microinches).
    int32_t m_nLinearUnit = 0;
    // Angular unit code (0 degrees ... 3 radians).
    int32_t m_nAngularUnit = 0;
    // Lower-cased module name -> lower-cased names of that module's listed rules, in list order.
    QMap<QString, QStringList> m_ruleNameTable;
    // Set by the rule-creation program when it stored a rule: its name and
    // category as stored (a rename shows here), so that the list can take it.
    QString m_storedName;
    QString m_storedCategory;

private:
    CPLQRuleConfigurator* m_pConfigurator = nullptr;
    PLQRuleStatus_e m_status = PLQ_RULE_CREATE;
};
