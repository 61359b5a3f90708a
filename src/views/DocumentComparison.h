#pragma once

#include "views/RuleFileCompare.h"

#include <QAbstractTableModel>
#include <QString>

class CVTRRuleBuilderDoc;

// The active document compared with another rule file, as "Compare with…"
// shows it: the document as it stands (its rules as a save would write
// them now, saved or not, in its units) against the other file converted to the document's units
// through the loaded modules, so the same rules saved in other units
// compare equal. Rules no loaded module offers are compared as they stand.
// False with a sentence when either side cannot be read.
bool CompareDocumentWithFile(
    CVTRRuleBuilderDoc& doc, const QString& otherPath, RuleFileComparison& out, QString& error);

// "N rules only here, M only there, K settings differ".
QString ComparisonCountText(const RuleFileComparison& comparison);

// The "Category/Name" of a compared rule as the list spells its rules (a
// copy the file holds twice loses its " #2"); empty for the file's own
// settings and other root elements.
QString ComparedRuleOwner(const QString& owner);

// The differences as rows: rule, setting, this file, the other file. Rules
// only on one side are one row each ("(rule)" as the setting). Sortable by
// any column through a QSortFilterProxyModel (the texts are the sort keys).
class ComparisonModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { RuleColumn = 0, SettingColumn, HereColumn, ThereColumn, ColumnCount };
    explicit ComparisonModel(QObject* parent = nullptr);
    void SetComparison(RuleFileComparison comparison);
    const RuleFileComparison& Comparison() const { return m_comparison; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The text of a cell.
    QString Text(int row, int column) const;

private:
    RuleFileComparison m_comparison;
};
