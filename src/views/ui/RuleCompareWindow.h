#pragma once

#include "views/RuleFileCompare.h"

#include <QDialog>

class ComparisonModel;
class QLabel;
class QSortFilterProxyModel;
class QTableView;

// The differences between the active document and another rule file: rule,
// setting, this file, the other file, sortable by any column, with the
// counts above. Double click or Enter on a row asks for its rule in the list.
class CRuleCompareWindow : public QDialog
{
    Q_OBJECT
public:
    CRuleCompareWindow(
        const QString& thisName, const QString& otherPath, RuleFileComparison comparison, QWidget* parent = nullptr);

    QTableView* Table() const { return m_table; }
    QLabel* CountLabel() const { return m_count; }
    // The text of a row as shown (after sorting).
    QString ShownText(int row, int column) const;

signals:
    // "Category/Name" of the rule of the activated row.
    void RuleActivated(const QString& owner);

private:
    ComparisonModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_count = nullptr;
};
