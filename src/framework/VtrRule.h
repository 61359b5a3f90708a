#pragma once

#include "RuleUnits.h"

#include <cstdint>

#include <QString>

class VtrMarkupWriter;
class VtrXMLNode;
class VtrXMLDocument;

// The framework's rule: the base of every rule object. Modules create and own
// their rules; the program owns only user-defined rules.
class CVtrRule
{
public:
    CVtrRule();
    virtual ~CVtrRule();
    CVtrRule(const CVtrRule&) = default;
    CVtrRule& operator=(const CVtrRule&) = default;

    // Loads the rule from a "Rule" element; false when the element is not usable.
    virtual bool PopulateParametersFromXML(VtrXMLNode* ruleNode);
    // A new "Rule" element built in the document handed over by SetXMLDoc;
    // released by the caller (the element stays where it is appended). Null
    // when no document was handed over.
    virtual VtrXMLNode* GetXML();
    // Writes the element GetXML would build, at depth 1, straight into out,
    // byte for byte what printing that element gives; false (nothing
    // written) when the rule has no such writer and only GetXML knows its
    // element. A rule class that changes what GetXML builds changes this too.
    virtual bool AppendMarkup(VtrMarkupWriter& out) const;
    // Converts the rule's values from one unit system to another and takes
    // the new units as its own.
    virtual bool UpdateRule(const RuleUnitSystemStructure* from, const RuleUnitSystemStructure* to);
    // Takes another rule's settings.
    virtual bool UpdateRule(CVtrRule* source);
    // Shows the rule's settings to the user; true when they were changed.
    virtual bool EditRule();

    const QString& GetRuleName() const { return m_name; }
    void SetRuleName(const QString& v) { m_name = v; }
    const QString& GetDisplayName() const { return m_displayName; }
    void SetDisplayName(const QString& v) { m_displayName = v; }
    const QString& GetSummary() const { return m_summary; }
    void SetSummary(const QString& v) { m_summary = v; }
    const QString& GetValidatorName() const { return m_validatorName; }
    void SetValidatorName(const QString& v) { m_validatorName = v; }
    const QString& GetRuleCategory() const { return m_category; }
    void SetRuleCategory(const QString& v);
    // Position of the category in GetRuleCategoryStringList, or -1.
    int32_t GetRuleCategoryEnum() const { return m_categoryEnum; }
    const QString& GetRuleModuleName() const { return m_moduleName; }
    void SetRuleModuleName(const QString& v) { m_moduleName = v; }
    const QString& GetModulePath() const { return m_modulePath; }
    void SetModulePath(const QString& v) { m_modulePath = v; }
    int32_t GetCriticality() const { return m_criticality; }
    void SetCriticality(int32_t v) { m_criticality = v; }
    int32_t GetSelected() const { return m_selected; }
    void SetSelected(int32_t v) { m_selected = v; }
    int32_t GetHelpId() const { return m_helpId; }
    void SetHelpId(int32_t v) { m_helpId = v; }
    const RuleUnits& GetRuleUnits() const { return m_units; }
    void SetRuleUnits(const RuleUnits& v) { m_units = v; }
    const QString& GetCustomMessage() const { return m_customMessage; }
    void SetCustomMessage(const QString& v) { m_customMessage = v; }
    int32_t GetDiffersFromDefault() const { return m_differsFromDefault; }
    void SetDiffersFromDefault(int32_t v) { m_differsFromDefault = v; }
    int32_t GetRuleId() const { return m_ruleId; }
    void SetRuleId(int32_t v) { m_ruleId = v; }
    int32_t GetSequenceNumber() const { return m_sequenceNumber; }
    void SetSequenceNumber(int32_t v) { m_sequenceNumber = v; }
    int32_t GetState() const { return m_state; }
    void SetState(int32_t v) { m_state = v; }

protected:
    // The document new elements are built in: the one handed to the framework.
    virtual VtrXMLDocument* XMLDocForWriting() const;
    // Reads the attributes every rule element carries.
    void ReadCommonAttributes(VtrXMLNode* ruleNode);
    // The same from their UTF-8 values, by position in the order they are
    // written; null where the element has none.
    void ReadCommonAttributes(const char* const* values);
    // Writes them, in a fixed order, to a fresh element.
    void WriteCommonAttributes(VtrXMLNode* ruleNode) const;
    // Starts the "Rule" element in out with the same attributes.
    void AppendCommonMarkup(VtrMarkupWriter& out) const;

private:
    // Hands every common attribute, in order, to add(name, UTF-8 value).
    template <typename Add> void ForEachCommonAttribute(Add&& add) const;

    // The flag and the name first: passes over every rule of a big list
    // (ticking all rows) read only these, from one cache line.
    int32_t m_selected = 0;
    QString m_name;
    QString m_displayName;
    QString m_summary;
    QString m_validatorName;
    QString m_category;
    QString m_moduleName;
    QString m_modulePath;
    QString m_customMessage;
    RuleUnits m_units;
    int32_t m_categoryEnum = -1;
    int32_t m_criticality = 3;
    int32_t m_helpId = 0;
    int32_t m_differsFromDefault = 0;
    int32_t m_ruleId = 0;
    int32_t m_sequenceNumber = 0;
    int32_t m_state = 0;
};
