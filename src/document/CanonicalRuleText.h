#pragma once

#include <QString>

#include <string>
#include <vector>

// A rule file as one line per setting, in an order that depends on nothing
// but the settings: rules by category and name (case ignored), each rule's
// attributes by name, its elements by tag and name. Two files with the same
// settings give the same text whatever order their rules were saved in, and
// a text diff of two versions shows one line per changed setting. What every
// save rewrites (the path, the writer, the time, the password and the
// fingerprint) is left out.
//
//   (file) @Unit = 0
//   Drilling/Flat Bottom Hole @Severity = 3
//   Drilling/Flat Bottom Hole Parameter[Drill point angle].Value = 118

// One setting of a file: "(file)" or a rule's "Category/Name", the
// setting's path within it, and its value (UTF-8).
struct CanonicalSetting
{
    std::string owner;
    std::string setting;
    std::string value;
};

// A rule of the file with its settings in canonical order.
struct CanonicalRule
{
    std::string owner; // "Category/Name", numbered when the file holds it twice
    std::string identity; // module, category and name, case-folded: how two files' rules are paired
    std::vector<CanonicalSetting> settings;
};

struct CanonicalRuleFile
{
    std::vector<CanonicalSetting> file; // the root's settings
    std::vector<CanonicalRule> rules; // and other root elements, as "(Tag)"
};

// Reads the file at path; false with the reason when it cannot be read as XML.
bool ReadCanonicalRuleFile(const QString& path, CanonicalRuleFile& out, QString& error);
// Appends the canonical text of the file at path to out.
bool AppendCanonicalRuleText(const QString& path, std::string& out, QString& error);
