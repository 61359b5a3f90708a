#pragma once

#include <QDialog>

class CVtrRule;
class QComboBox;
class QLabel;
class QTableWidget;
class QTableWidgetItem;
class RuleParameterEdit;

// The parameter editor of a rule: its name, summary and criticality, and a
// table of its parameters (operator, value or list of values, recommended
// and alert values, unit) with the module's default beside each value;
// values that differ from the default are marked. Typed values are checked
// at once (a number where a number is expected); the session is written to
// the rule by the caller, only when the dialog closes with OK.
class CRuleParameterDlg : public QDialog
{
    Q_OBJECT
public:
    CRuleParameterDlg(RuleParameterEdit& edit, const CVtrRule& rule, QWidget* parent = nullptr);

    // Table columns; each value column is followed by its default.
    enum Column {
        NameColumn = 0,
        OperatorColumn,
        UnitColumn,
        ValueColumn,
        DefaultValueColumn,
        RecommendedColumn,
        DefaultRecommendedColumn,
        AlertColumn,
        DefaultAlertColumn,
        ColumnCount
    };

    QTableWidget* Table() const { return m_table; }
    QComboBox* CriticalityCombo() const { return m_criticality; }

public slots:
    void accept() override;

private:
    void Fill();
    void ShowRow(int row);
    void OnItemChanged(QTableWidgetItem* item);
    void ShowCriticalityDefault();
    // A field's text as shown: numbers with six significant digits and all
    // their whole digits (the tooltip holds the full value).
    static QString Shown(const QString& text);
    // The width that shows every column beside the vertical scroll bar,
    // within the screen.
    int WidthForColumns() const;

    RuleParameterEdit& m_edit;
    QTableWidget* m_table = nullptr;
    QComboBox* m_criticality = nullptr;
    QLabel* m_criticalityDefault = nullptr;
    bool m_filling = false;
    // The parameter names' width at their contents, before they stretch.
    int m_nameWidth = 0;
};
