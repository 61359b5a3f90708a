#pragma once

#include "settings/ApplicationDirectories.h"

#include <functional>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The "Application Directories" dialog: the database, script-rule and
// manual-checklist folders, each with a "..." button that browses for a
// folder, and the shop's database server. OK checks what changed and stays
// open when a folder is refused.
class CVTRRMScriptLocnDlg : public QDialog
{
    Q_OBJECT
public:
    // Asks for a folder: window title, prompt, starting folder; returns the
    // chosen folder, or an empty text when the user cancels.
    using FolderBrowser
        = std::function<QString(QWidget* parent, const QString& title, const QString& prompt, const QString& start)>;

    explicit CVTRRMScriptLocnDlg(ScriptLocationForm& form, QWidget* parent = nullptr);

    QLineEdit* DatabaseEdit() const { return m_database; }
    QLineEdit* ScriptEdit() const { return m_script; }
    QLineEdit* ManualChecksEdit() const { return m_manualChecks; }
    QLineEdit* ServerEdit() const { return m_server; }
    // Says that VTRPRO_DATABASE_URL overrides the server field; hidden otherwise.
    QLabel* ServerOverrideNote() const { return m_serverOverride; }
    QPushButton* BrowseButton(ScriptLocationForm::Field field) const;
    // Replaces the system folder browser (tests answer with prepared folders).
    void SetFolderBrowser(FolderBrowser browser) { m_browser = std::move(browser); }
    // The system folder browser: folders only, starting at start.
    static QString BrowseForFolder(QWidget* parent, const QString& title, const QString& prompt, const QString& start);

public slots:
    void accept() override;

private:
    ScriptLocationForm::Fields FieldTexts() const;
    void ShowFields(const ScriptLocationForm::Fields& fields);
    void Browse(ScriptLocationForm::Field field);

    ScriptLocationForm& m_form;
    FolderBrowser m_browser;
    QLineEdit* m_database = nullptr;
    QLineEdit* m_script = nullptr;
    QLineEdit* m_manualChecks = nullptr;
    QLineEdit* m_server = nullptr;
    QLabel* m_serverOverride = nullptr;
    QPushButton* m_browseDatabase = nullptr;
    QPushButton* m_browseScript = nullptr;
    QPushButton* m_browseManualChecks = nullptr;
};

// The dialog as the command runs it, over parent.
ApplicationDirectories::Dialog MakeScriptLocationDialog(QWidget* parent);
