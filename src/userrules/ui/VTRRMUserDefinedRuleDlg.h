#pragma once

#include <QDialog>

class ConcreteVTRRule;
class QComboBox;

// The criticality of an interactive user-defined rule: caption "User Defined
// Rule", "Criticality :" with a drop-down list of the five words, OK and
// Cancel. On OK the chosen criticality is written into the rule; Cancel
// leaves the rule as it was.
class CVTRRMUserDefinedRuleDlg : public QDialog
{
    Q_OBJECT
public:
    CVTRRMUserDefinedRuleDlg(ConcreteVTRRule* rule, QWidget* parent = nullptr);

    // The drop-down list (control 666), for tests.
    QComboBox* Combo() const { return m_combo; }

public slots:
    void accept() override;

private:
    ConcreteVTRRule* m_rule;
    QComboBox* m_combo = nullptr;
};
