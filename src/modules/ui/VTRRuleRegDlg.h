#pragma once

#include "modules/ModuleRegistration.h"

#include <functional>
#include <memory>

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
struct ModuleSet;

// The module registration dialog: the modules to load on the left, the
// default modules that are not loaded on the right, buttons to move them,
// a field to add a library by path, and the selected module's file and
// summary. The logic is ModuleRegistration's. OK first asks the caller's
// confirmation (No keeps the dialog open), then saves the list into
// "ConfigModule.ini"; a save that fails is said and keeps the dialog open.
// After OK the caller reloads the modules, then destroys the dialog.
class CVTRRuleRegDlg : public QDialog
{
    Q_OBJECT
public:
    CVTRRuleRegDlg(std::unique_ptr<ModuleRegistration> registration, QWidget* parent = nullptr);
    ~CVTRRuleRegDlg() override;

    ModuleRegistration& Registration() { return *m_reg; }
    // F1: shows the help page of the dialog's id.
    void SetHelp(std::function<void(int helpId)> help) { m_help = std::move(help); }
    // Asked on OK before anything is saved; false keeps the dialog open.
    void SetConfirmOk(std::function<bool(const ModuleRegistration&)> confirm) { m_confirmOk = std::move(confirm); }

    QListWidget* LoadedList() const { return m_loaded; }
    QListWidget* UnloadedList() const { return m_unloaded; }
    QLineEdit* NewModuleField() const { return m_newFile; }
    QLineEdit* ModuleFileField() const { return m_moduleFile; }
    QPlainTextEdit* SummaryField() const { return m_summary; }
    QPushButton* LoadOneButton() const { return m_loadOne; }
    QPushButton* LoadAllButton() const { return m_loadAll; }
    QPushButton* UnloadOneButton() const { return m_unloadOne; }
    QPushButton* UnloadAllButton() const { return m_unloadAll; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* LoadButton() const { return m_load; }
    QPushButton* ResetButton() const { return m_reset; }
    QPushButton* OkButton() const { return m_ok; }

    // The icon of a module by its display name (known module names only).
    static QIcon ModuleIcon(const QString& displayName);

public slots:
    // OK: the confirmation, then the save; the dialog closes only after both.
    void accept() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Build();
    void Refill();
    void FillLists();
    void UpdateButtons();
    void ShowModule(void* handle);
    void OnLoadedSelected();
    void OnUnloadedSelected();
    void OnLoadOne();
    void OnLoadAll();
    void OnUnloadOne();
    void OnUnloadAll();
    void OnBrowse();
    void OnLoad();
    void OnReset();
    void OnNewFileEdited();

    std::unique_ptr<ModuleRegistration> m_reg;
    std::function<void(int)> m_help;
    std::function<bool(const ModuleRegistration&)> m_confirmOk;
    QListWidget* m_loaded = nullptr;
    QListWidget* m_unloaded = nullptr;
    QLineEdit* m_moduleFile = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QLineEdit* m_newFile = nullptr;
    QPushButton* m_loadOne = nullptr;
    QPushButton* m_loadAll = nullptr;
    QPushButton* m_unloadOne = nullptr;
    QPushButton* m_unloadAll = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_filling = false;
};

// The rule-module registration (title "Register Rule Module", help 1020).
class CVTRRuleConfigModuleRegDlg : public CVTRRuleRegDlg
{
    Q_OBJECT
public:
    explicit CVTRRuleConfigModuleRegDlg(ModuleSet& modules, QWidget* parent = nullptr);
};

// The database-module registration (title "Register Database Module", help 1031).
class CVTRRuleDBModuleRegDlg : public CVTRRuleRegDlg
{
    Q_OBJECT
public:
    explicit CVTRRuleDBModuleRegDlg(ModuleSet& modules, QWidget* parent = nullptr);
};
