#pragma once

#include <functional>

#include <QString>

// The three folders of the application: the script-rule folder (kept in
// "ConfigModule.ini") and the database and manual-checklist folders (machine
// environment variables read by the other programs of the product family).
namespace AppDirectories {
// The key under ModuleSections::kScripts.
inline constexpr char kScriptKey[] = "directory";
inline constexpr char kDatabaseVariable[] = "VTR_PRO_DATABASE_DIR";
inline constexpr char kManualChecksVariable[] = "VTRPRO_MANUAL_CHECKS";
// The process's value of a variable; empty when unset.
QString ProcessValue(const char* variable);
} // namespace AppDirectories

// What CheckFolder finds.
enum class FolderCheck : int {
    Usable = 0, // exists and takes a new file
    Missing = 1, // a valid path with no folder there
    ReadOnly = 2, // exists but no file can be created in it
    InvalidPath = 3, // neither an absolute path nor "//server/share/"
    NotAFolder = 4, // a file (or anything but a folder) stands at the path
};

// The script-rule folder: the "directory" key of "RULE_SCRIPT_LOCATION" in
// "ConfigModule.ini". On first use the key is written with the folder of
// "ConfigModule.ini" plus "/ScriptDir"; a folder that does not exist is
// created (one level).
QString GetScriptDirectory();

// Checks a folder as typed: an empty path, a relative one, a bare server
// ("//server") or a path with control characters is not valid. A final "/."
// names the folder itself. The write probe creates a file under a fresh
// random name, so a user's file is never opened, and removes only that file.
FolderCheck CheckFolder(const QString& path);

// CheckFolder with the user's dialogue: a missing folder is offered for
// creation (created: Usable), a read-only one is warned about, an invalid
// path or a file in the folder's place is refused with a message. Usable and
// ReadOnly mean accept.
FolderCheck ValidateFolder(const QString& path);
// Whether a ValidateFolder result accepts the folder.
inline bool IsAccepted(FolderCheck check)
{
    return check == FolderCheck::Usable || check == FolderCheck::ReadOnly;
}

// Writes the script-rule folder into "ConfigModule.ini"; false when the file
// cannot be written.
bool StoreScriptDirectory(const QString& folder);

// Stores a folder variable in the machine environment and the process; when
// that is not possible says so (the administrator-rights message) and
// returns false.
bool StoreMachineDirectory(const char* variable, const QString& folder);

// What the application directories dialog shows and decides, without its
// window: the three field texts, the checks on OK and the browse buttons.
class ScriptLocationForm
{
public:
    // The three fields.
    enum class Field { Database, Script, ManualChecks };
    struct Fields
    {
        QString database;
        QString script;
        QString manualChecks;
        // The database server's connection string; empty for none. The
        // stored one is shown without its password.
        QString server;
    };

    // scriptFolder is the caller's script-rule folder: it is shown and is
    // replaced by an accepted change. The database and manual-checklist texts
    // come from the process. documentOpen asks for the reopen warning when
    // the script-rule folder changes.
    ScriptLocationForm(QString* scriptFolder, bool documentOpen);

    // The field texts on opening.
    Fields InitialFields() const;
    // OK with the texts of the fields. True closes the dialog, with the
    // dialog's texts taken from the fields; false keeps it open, the refused
    // field holding its old text again.
    bool Accept(Fields& fields);

    // The folder a browse button starts at: the script-rule folder in force,
    // or the dialog's stored text of that field.
    QString BrowseStart(Field field) const;
    // A folder chosen with a browse button replaces the field's text; for the
    // two variables it also becomes the dialog's text, so it is not checked
    // again on OK.
    void Browsed(Field field, const QString& folder, Fields& fields);

    // The dialog's texts of the two variables.
    QString DatabaseText() const { return m_database; }
    QString ManualChecksText() const { return m_manualChecks; }
    // Whether OK took a new script-rule folder.
    bool ScriptChanged() const { return m_scriptChanged; }
    // Whether OK took another database server, and the connection string
    // to store for it (empty removes the setting).
    bool ServerChanged() const { return m_serverChanged; }
    QString ServerToStore() const { return m_serverToStore; }
    // When VTRPRO_DATABASE_URL is set, what it names (without its password):
    // it overrides the stored server in this session. Empty otherwise.
    QString ServerOverride() const;

private:
    QString* m_scriptFolder;
    bool m_documentOpen;
    bool m_scriptChanged = false;
    QString m_database;
    QString m_manualChecks;
    QString m_storedServer; // the stored setting, password and all
    QString m_shownServer; // what the field showed of it
    bool m_serverChanged = false;
    QString m_serverToStore;
};

// The "Application Directories" command: the dialog over the three folders
// and the database server, then, in this order, the server setting, the
// database variable, the script-rule folder and the manual-checklist
// variable written where they changed. A server setting that cannot be
// written is said and leaves everything as it was.
class ApplicationDirectories
{
public:
    // Runs the dialog over the form; true when it ended with OK.
    using Dialog = std::function<bool(ScriptLocationForm& form)>;

    explicit ApplicationDirectories(Dialog dialog);

    // The command; documentOpen when a rule document is open. True when the
    // dialog ended with OK.
    bool Run(bool documentOpen) const;

private:
    Dialog m_dialog;
};
