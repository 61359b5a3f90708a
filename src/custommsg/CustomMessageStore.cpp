#include "custommsg/CustomMessageStore.h"

#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"


namespace CustomMessageStore {

namespace {
// 61661, with the database's own reason (read-only, locked, damaged, ...) in
// place of its general second line when the database gives one.
void ShowStoreFailure(vtr_db::IDatabaseCollector* database)
{
    QString text = VtrString(61661);
    const QString reason = database ? database->WriteProblem() : QString();
    if (!reason.isEmpty())
        text = text.section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + reason;
    ShowMessage(text, VtrString(StrId::AppCaption), MsgIcon::Warning, MsgButtons::Ok);
}

int32_t Add(vtr_db::IDatabaseCollector* database, int32_t helpId, const QString& name, const QString& category,
    const QString& message)
{
    return database ? database->AddCustomMessage(helpId, name, category, message) : -1;
}
} // namespace

QString CentralDatabaseWarningText()
{
    return QStringLiteral("Custom Message gets added in to centralized VTRPro database.");
}

bool ConfirmCentralDatabase(bool& warningOn, const std::function<bool()>& ask)
{
    if (!warningOn)
        return true;
    if (ask && !ask())
        return false;
    warningOn = false;
    return true;
}

bool IsManualCheckRule(const CVtrRule& rule)
{
    const QString& module = rule.GetRuleModuleName();
    return module == QLatin1String("Manual Check Rules") || module == QLatin1String("Manual Check Drafting Rules");
}

bool StoreImported(const CustomMessageColumns& table, ICustomMessageRows& rows, const CustomMessageServices& services)
{
    if (services.endEditing)
        services.endEditing();
    if (services.confirm && !services.confirm())
        return false;
    if (table.size() < 4)
        return false;
    const QStringList& messages = table[3];

    // The sheet row each listed row takes, matched as the import's log says.
    const CustomMessageImport::RowMatch match = CustomMessageImport::MatchRows(table, rows);

    // The sheet is stored as one batch: a failure (or a copy killed
    // half-way) leaves the database and the list as they were.
    struct Pending
    {
        int row;
        CVtrRule* rule;
        QString message;
    };
    QList<Pending> pending;
    QList<vtr_db::CustomMessageRecord> records;
    ProgressScope progress(VtrString(StrId::ProgressImporting), rows.RowCount());
    for (int row = 0; row < rows.RowCount(); ++row) {
        progress.Step(row + 1);
        CVtrRule* rule = rows.RuleAt(row);
        if (!rule)
            continue;
        const qsizetype r = match.sheetRow.value(row, -1);
        if (r < 0 || r >= messages.size())
            continue;
        // Stored under the rule's own name and category, which the list looks
        // it up by, whatever the sheet's spelling.
        pending.append({ row, rule, messages[r] });
        records.append({ rule->GetHelpId(), rule->GetRuleName(), rule->GetRuleCategory(), messages[r] });
    }
    if (!services.database || services.database->AddCustomMessages(records) != 0) {
        ShowStoreFailure(services.database);
        return false;
    }
    for (const Pending& p : pending) {
        p.rule->SetCustomMessage(p.message);
        if (!p.message.isEmpty() && services.trackEvent)
            services.trackEvent(kImportEvent, kUsageKind, p.rule->GetRuleName());
        rows.SetMessageAt(p.row, p.message);
    }
    return true;
}

bool CanEdit(vtr_db::IDatabaseCollector* database)
{
    if (database && database->IsConnected())
        return true;
    ShowMessage(VtrString(581), VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
    return false;
}

EditResult CommitEdit(ICustomMessageRows& rows, int row, const QString& oldMessage, const QString& text,
    const CustomMessageServices& services)
{
    CVtrRule* rule = rows.RuleAt(row);
    if (!rule || text.compare(oldMessage, Qt::CaseInsensitive) == 0)
        return EditResult::Unchanged;
    if (IsManualCheckRule(*rule)) {
        ShowMessage(VtrString(582), VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
        return EditResult::Refused;
    }
    if (services.confirm && !services.confirm())
        return EditResult::Cancelled;
    rows.SetMessageAt(row, text);
    const QString previous = rule->GetCustomMessage();
    rule->SetCustomMessage(text);
    if (services.trackEvent)
        services.trackEvent(kEditEvent, kUsageKind, rule->GetRuleName());
    if (Add(services.database, rule->GetHelpId(), rule->GetRuleName(), rule->GetRuleCategory(), text) == -1) {
        ShowStoreFailure(services.database);
        rows.SetMessageAt(row, oldMessage);
        rule->SetCustomMessage(previous);
        return EditResult::Failed;
    }
    return EditResult::Stored;
}

} // namespace CustomMessageStore
