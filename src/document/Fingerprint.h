#pragma once

#include <memory>
#include <string>

#include <pugixml.hpp>

#include <QString>

class VtrXMLNode;

// Fingerprint of a rule file's rule elements: MD5 over the UTF-16LE code
// units of the markup of every "Rule" child of root, in document order,
// without separators; computed in memory. Empty when root has no "Rule"
// child or the digest cannot be made.
QString RulesFingerprint(const VtrXMLNode* root);

// The same fingerprint made rule by rule, from the markup of each "Rule"
// element (UTF-8, without indentation) in document order.
class RulesFingerprintBuilder
{
public:
    RulesFingerprintBuilder();
    ~RulesFingerprintBuilder();
    RulesFingerprintBuilder(const RulesFingerprintBuilder&) = delete;
    RulesFingerprintBuilder& operator=(const RulesFingerprintBuilder&) = delete;

    void AddRule(const std::string& markup);
    // Adds every "Rule" child of parent, in order.
    void AddRulesOf(pugi::xml_node parent);
    // The fingerprint; empty when no rule was added. Ends the builder.
    QString Finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The fingerprint a rule file's root carries when the file is protected (it
// has a "Password" and a "RulesData"); empty when it is not.
QString StoredRulesFingerprint(const VtrXMLNode& root);

// What a check of a rule file's fingerprint found.
enum class FingerprintStatus {
    Unprotected, // no "Password" or no "RulesData": nothing to check
    Matches, // protected, and the rule elements are as saved
    Modified, // protected, and the rule elements changed since the save
    Unreadable, // not a rule file, or not readable at all
};

// Checks a file's fingerprint from the XML alone (no rule objects are built).
// detail receives a one-line reason when the file is unreadable.
FingerprintStatus VerifyRuleFileFingerprint(const QString& path, QString* detail = nullptr);

// Text of the message shown when a protected file's rules were edited outside the program.
inline constexpr char kRuleFileModifiedMessage[] = "Rule File is modifed...";
