#pragma once

#include "PLQRuleConfigurator.h"
#include "userrules/UserRuleDraft.h"
#include "userrules/UserRuleStore.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;

// The editor of one custom or product rule: name, category, criticality, the
// module it belongs to, a summary and its parameters, values in the units
// handed over. OK checks the rule against the names already taken and stores
// it; a refusal is shown in the editor, which stays open.
class UserRuleEditorDlg : public QDialog
{
    Q_OBJECT
public:
    struct Setup
    {
        bool productRule = false;
        RuleUnits units;
        RuleNameTable names;
        // Editing: the rule as it is now (its values in its own units) and
        // its key; null to create.
        CPLQRuleConfigurator* edited = nullptr;
        QString editedKey;
        // Said above the fields when not empty (why the editor shows what it shows).
        QString notice;
    };
    UserRuleEditorDlg(UserRuleStore& store, const Setup& setup, QWidget* parent = nullptr);

    // The draft the fields describe.
    UserRuleDraft Draft() const;
    // The rule stored by OK (units of the stored element, the version it was
    // stored as), or null.
    const std::unique_ptr<CPLQRuleConfigurator>& StoredRule() const { return m_stored; }

public slots:
    void accept() override;

private:
    void AddParameterRow(const UserRuleParameter& parameter);
    // Adds an empty row and opens its name for typing.
    void AddEmptyParameter();
    void FillCategories();
    void ShowDraft(const UserRuleDraft& draft);

    UserRuleStore& m_store;
    Setup m_setup;
    UserRuleKeys m_keys;
    QString m_editedName;
    QString m_editedCategory;
    std::unique_ptr<CPLQRuleConfigurator> m_stored;

    QLineEdit* m_name = nullptr;
    QComboBox* m_module = nullptr;
    QComboBox* m_category = nullptr;
    QComboBox* m_criticality = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QTableWidget* m_parameters = nullptr;
    QLabel* m_error = nullptr;
};
