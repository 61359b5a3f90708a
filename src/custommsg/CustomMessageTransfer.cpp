#include "custommsg/CustomMessageTransfer.h"

#include "VtrRule.h"
#include "custommsg/CustomMessageRows.h"
#include "custommsg/CustomMessageStore.h"
#include "custommsg/SpreadsheetHelper.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"

#include <QFile>
#include <QFileInfo>

namespace CustomMessageTransfer {

namespace {
void Warn(const QString& text)
{
    ShowMessage(text, VtrString(StrId::DocCaption), MsgIcon::Warning, MsgButtons::Ok);
}

bool WriteLog(const QString& path, const QString& text, QString& reason)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        reason = file.errorString();
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        reason = file.errorString();
        return false;
    }
    return true;
}
} // namespace

QList<QStringList> ExportTable(const ICustomMessageRows& rows)
{
    QList<QStringList> table;
    table.reserve(rows.RowCount() + 1);
    table.append({ VtrString(61649), VtrString(61650), VtrString(61651), VtrString(61652) });
    for (int row = 0; row < rows.RowCount(); ++row) {
        const CVtrRule* rule = rows.RuleAt(row);
        if (!rule)
            continue;
        table.append({ QString::number(rule->GetHelpId()), rule->GetDisplayName(), rule->GetRuleCategory(),
            rows.MessageAt(row) });
    }
    return table;
}

int CheckExportPath(const QString& path)
{
    if (path.isEmpty())
        return 61666;
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("xls"), Qt::CaseInsensitive) != 0
        && suffix.compare(QLatin1String("xlsx"), Qt::CaseInsensitive) != 0)
        return 61667;
    return 0;
}

bool Export(const QString& path, const ICustomMessageRows& rows)
{
    if (const int refusal = CheckExportPath(path)) {
        Warn(VtrString(refusal));
        return false;
    }
    const QList<QStringList> table = ExportTable(rows);
    // Writing a large sheet, or converting it to ".xls", takes seconds.
    const SpreadsheetOutcome outcome = RunAside(
        VtrString(StrId::ProgressExporting), [&path, &table] { return SpreadsheetHelper::Export(path, table); });
    if (!outcome.ok) {
        Warn(outcome.Message(VtrString(109)));
        return false;
    }
    return true;
}

ImportResult Import(
    const QString& path, ICustomMessageRows& rows, const CustomMessageServices& services, const QString& tempFolder)
{
    ImportResult result;
    CustomMessageColumns table;
    const SpreadsheetOutcome read = RunAside(
        VtrString(StrId::ProgressImporting), [&path, &table] { return SpreadsheetHelper::Read(path, table); });
    if (!read.ok) {
        Warn(read.Message(QStringLiteral("Failed to Open File")));
        return result;
    }
    result.logPath = CustomMessageImport::LogPath(path, tempFolder);

    result.checks = CustomMessageImport::Check(table, rows);
    if (result.checks.refusal != 0) {
        Warn(VtrString(result.checks.refusal));
        return result;
    }
    // Nothing is stored unless its log can be written where the user will look.
    QString reason;
    if (!CustomMessageImport::PreparePrivateFolder(QFileInfo(result.logPath).absolutePath(), reason)
        || !WriteLog(result.logPath, result.checks.log, reason)) {
        Warn(QStringLiteral("The import log %1 cannot be written: %2").arg(result.logPath, reason));
        result.checks = {};
        return result;
    }
    result.checked = true;
    result.stored = CustomMessageStore::StoreImported(table, rows, services);
    if (result.stored && !result.AnyFlag())
        ShowMessage(VtrString(61664), VtrString(StrId::DocCaption), MsgIcon::None, MsgButtons::Ok);
    return result;
}

} // namespace CustomMessageTransfer
