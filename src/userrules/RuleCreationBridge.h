#pragma once

#include <QString>

class CPLQRuleCreationData;

// The rule-creation program component: the library "PLQRuleCreationGUIBridge"
// beside the program, with its single export LaunchRuleCreationGUI.
namespace RuleCreationBridge {
// Base name of the library (the suffix is the platform's).
inline constexpr char kLibrary[] = "PLQRuleCreationGUIBridge";
// Name of its export.
inline constexpr char kLaunch[] = "LaunchRuleCreationGUI";
// The library's path in the program folder.
QString LibraryPath();
// Loads the library, calls LaunchRuleCreationGUI(parent, name, category,
// data), which returns when the user closes it, and frees the library. False
// with the reason in error when the library or its export is missing.
bool Launch(void* parent, const QString& name, const QString& category, CPLQRuleCreationData* data, QString& error);
// The same with the library at path.
bool LaunchFrom(const QString& path, void* parent, const QString& name, const QString& category,
    CPLQRuleCreationData* data, QString& error);
} // namespace RuleCreationBridge

extern "C" {
// LaunchRuleCreationGUI: parent window (a QWidget* or null), the rule's name
// and category (empty to create), the creation data.
typedef void (*PFN_LaunchRuleCreationGUI)(
    void* parent, const QString* name, const QString* category, CPLQRuleCreationData* data);
}
