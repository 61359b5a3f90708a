#pragma once

#include "settings/RuleInputUnits.h"

#include <QDialog>

class QComboBox;

// The rule input units dialog: "Length Unit" and "Angular Unit" lists and
// OK; closing it or pressing Escape cancels. On OK the caller's pair takes
// the chosen units and they become the stored default.
class CVTRUnitSettingDlg : public QDialog
{
    Q_OBJECT
public:
    // units is the caller's pair: it selects the entries shown on opening
    // and is overwritten on OK only.
    explicit CVTRUnitSettingDlg(RuleUnits* units, QWidget* parent = nullptr);

    QComboBox* LinearCombo() const { return m_linear; }
    QComboBox* AngularCombo() const { return m_angular; }
    const UnitSettingForm& Form() const { return m_form; }

public slots:
    void accept() override;

private:
    UnitSettingForm m_form;
    QComboBox* m_linear = nullptr;
    QComboBox* m_angular = nullptr;
};

// The dialog as the units command runs it, over parent.
RuleInputUnits::UnitDialog MakeUnitSettingDialog(QWidget* parent);
