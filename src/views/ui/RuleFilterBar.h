#pragma once

#include "views/RuleListFilter.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

// The bar above the rule list that narrows its rows as one types: text
// (name, category, module, custom message), criticality, ticked only,
// differs from the defaults only and module, with the "N of M" count.
// Escape clears it. It only gathers the filter; the list applies it.
class CRuleFilterBar : public QWidget
{
    Q_OBJECT
public:
    explicit CRuleFilterBar(QWidget* parent = nullptr);

    RuleListFilter Filter() const;
    // Empties every part (FilterChanged follows when something changed).
    void Clear();
    // The modules offered, keeping the chosen one when it is still there.
    void SetModules(const QStringList& modules);
    void SetCountText(const QString& text);
    // Puts the focus in the text box, its text selected.
    void FocusText();

    QLineEdit* TextEdit() const { return m_text; }
    QComboBox* CriticalityBox() const { return m_criticality; }
    QComboBox* ModuleBox() const { return m_module; }
    QCheckBox* TickedOnlyBox() const { return m_ticked; }
    QCheckBox* DiffersOnlyBox() const { return m_differs; }
    QLabel* CountLabel() const { return m_count; }

signals:
    void FilterChanged(const RuleListFilter& filter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Changed();

    QLineEdit* m_text = nullptr;
    QComboBox* m_criticality = nullptr;
    QCheckBox* m_ticked = nullptr;
    QCheckBox* m_differs = nullptr;
    QComboBox* m_module = nullptr;
    QLabel* m_count = nullptr;
    RuleListFilter m_last;
    bool m_quiet = false;
};
