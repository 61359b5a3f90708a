#pragma once

#include <cstdint>
#include <functional>

#include <QList>
#include <QString>

class RuleElementIndex;

// One thing wrong with a rule file: where (1-based line of the element),
// which rule ("Category/Name", empty for the file), a check name that
// scripts may rely on, and a sentence for the reader.
struct LintFinding
{
    int line = 0;
    QString rule;
    QString check;
    QString message;
};

// What the checks may consult besides the file.
struct LintContext
{
    // The rules the loaded modules offer, with their default elements; null
    // to skip the checks that need the modules.
    const RuleElementIndex* offered = nullptr;
    // A rule's custom message in the product database; empty to skip.
    std::function<QString(int32_t helpId, const QString& name, const QString& category)> customMessage;
};

struct LintResult
{
    bool readable = false;
    QString error; // why it cannot be read
    bool fingerprintMismatch = false;
    bool fingerprintMatches = false; // protected, and the rules are as saved
    QList<LintFinding> findings; // in line order
};

// The longest custom message the rule list shows.
inline constexpr int kLongestListedMessage = 256;

// Checks the rule file at path. Each check names itself:
//   unoffered-rule, duplicate-rule, unknown-setting, bad-value,
//   recommended-wrong-side, alert-wrong-side, negative-size,
//   units-out-of-range, units-disagree, long-custom-message,
//   fingerprint-mismatch, password-without-fingerprint.
// One pass over the file and one look-up per rule: linear in its size.
LintResult LintRuleFile(const QString& path, const LintContext& context);
