#include "custommsg/CustomMessageStore.h"

#include "VTRDataHelper.h"
#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"

#include <QHash>

namespace CustomMessageStore {

namespace {
void ShowStoreFailure()
{
    ShowMessage(VtrString(61661), VtrString(StrId::AppCaption), MsgIcon::Warning, MsgButtons::Ok);
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
    const QStringList& ids = table[0];
    const QStringList& names = table[1];
    const QStringList& categories = table[2];
    const QStringList& messages = table[3];

    // The first sheet row of each help id: the first one wins.
    QHash<int32_t, qsizetype> firstRow;
    firstRow.reserve(ids.size());
    for (qsizetype r = 1; r < ids.size(); ++r) {
        int32_t id = 0;
        if (CustomMessageImport::ReadHelpId(ids[r], id) && !firstRow.contains(id))
            firstRow.insert(id, r);
    }

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
        const auto it = firstRow.constFind(rule->GetHelpId());
        if (it == firstRow.constEnd())
            continue;
        const qsizetype r = it.value();
        if (r >= messages.size() || r >= names.size() || r >= categories.size())
            continue;
        pending.append({ row, rule, messages[r] });
        records.append({ rule->GetHelpId(), names[r], categories[r], messages[r] });
    }
    if (!services.database || services.database->AddCustomMessages(records) != 0) {
        ShowStoreFailure();
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
        ShowStoreFailure();
        rows.SetMessageAt(row, oldMessage);
        rule->SetCustomMessage(previous);
        return EditResult::Failed;
    }
    return EditResult::Stored;
}

} // namespace CustomMessageStore
