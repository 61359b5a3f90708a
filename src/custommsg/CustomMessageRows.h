#pragma once

#include <QList>
#include <QString>

class CVtrRule;
class RuleListModel;

namespace vtr_db {
class IDatabaseCollector;
}

// The rows a custom-message export or import works on, in list order, with
// the text each shows as its custom message.
class ICustomMessageRows
{
public:
    virtual ~ICustomMessageRows() = default;
    virtual int RowCount() const = 0;
    virtual CVtrRule* RuleAt(int row) const = 0;
    // The custom message the row shows.
    virtual QString MessageAt(int row) const = 0;
    // Shows a new custom message in the row.
    virtual void SetMessageAt(int row, const QString& message) = 0;
};

// The rows of the rule list as listed now (a search narrows them).
class ModelMessageRows : public ICustomMessageRows
{
public:
    explicit ModelMessageRows(RuleListModel& model)
        : m_model(model)
    { }
    int RowCount() const override;
    CVtrRule* RuleAt(int row) const override;
    QString MessageAt(int row) const override;
    void SetMessageAt(int row, const QString& message) override;

private:
    RuleListModel& m_model;
};

// Rules without a list (the command-line tool): each shows the message the
// database holds for it, asked for when the rows are made.
class RuleMessageRows : public ICustomMessageRows
{
public:
    RuleMessageRows(QList<CVtrRule*> rules, vtr_db::IDatabaseCollector* database);
    int RowCount() const override { return static_cast<int>(m_rules.size()); }
    CVtrRule* RuleAt(int row) const override { return m_rules.value(row); }
    QString MessageAt(int row) const override { return m_messages.value(row); }
    void SetMessageAt(int row, const QString& message) override;

private:
    QList<CVtrRule*> m_rules;
    QList<QString> m_messages;
};
