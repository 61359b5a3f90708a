#include "custommsg/CustomMessageRows.h"

#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "views/RuleListModel.h"

int ModelMessageRows::RowCount() const
{
    return m_model.RowCount();
}

CVtrRule* ModelMessageRows::RuleAt(int row) const
{
    return m_model.RuleAt(row);
}

QString ModelMessageRows::MessageAt(int row) const
{
    return m_model.CellText(row, RuleListModel::CustomMessageColumn);
}

void ModelMessageRows::SetMessageAt(int row, const QString& message)
{
    m_model.SetCustomMessage(row, message);
}

RuleMessageRows::RuleMessageRows(QList<CVtrRule*> rules, vtr_db::IDatabaseCollector* database)
    : m_rules(std::move(rules))
{
    m_messages.reserve(m_rules.size());
    for (const CVtrRule* rule : m_rules) {
        QString message;
        if (database)
            database->GetCustomMessage(rule->GetHelpId(), rule->GetRuleName(), rule->GetRuleCategory(), message);
        m_messages.append(message);
    }
}

void RuleMessageRows::SetMessageAt(int row, const QString& message)
{
    if (row >= 0 && row < m_messages.size())
        m_messages[row] = message;
}
