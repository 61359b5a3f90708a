#include "custommsg/SpreadsheetHelper.h"

#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "Utilities/FileOpener.h"
#include "Utilities/StringTable.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <cstdint>

#include <QFileInfo>

namespace {
constexpr int kMsgCouldNotStartExcel = 108;
constexpr int kMsgCouldNotReadExcelFile = 61663;

// The library loaded for one call and freed when the call is over.
class HelperLibrary
{
public:
    HelperLibrary()
    {
        const QString path = SpreadsheetHelper::LibraryPath();
        if (!QFileInfo::exists(path)) {
            m_error = QStringLiteral("The spreadsheet helper is not installed: %1 is missing.").arg(path);
            return;
        }
        m_handle = VtrLibrary::Load(path);
        if (!m_handle)
            m_error = QStringLiteral("The spreadsheet helper could not be loaded: %1").arg(VtrLibrary::LastError());
    }
    ~HelperLibrary() { VtrLibrary::Free(m_handle); }
    HelperLibrary(const HelperLibrary&) = delete;
    HelperLibrary& operator=(const HelperLibrary&) = delete;

    // The export, or null with the reason in Error().
    template <typename Fn> Fn Find(const char* name)
    {
        if (!m_handle)
            return nullptr;
        auto fn = reinterpret_cast<Fn>(VtrLibrary::Find(m_handle, name));
        if (!fn)
            m_error = QStringLiteral("%1 has no entry %2.").arg(SpreadsheetHelper::LibraryPath(), QLatin1String(name));
        return fn;
    }
    const QString& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    QString m_error;
};
} // namespace

QString SpreadsheetOutcome::Message(const QString& fallback) const
{
    // The system's message alone would not tell a damaged file from one
    // that is not a workbook at all: the reason follows on its own line.
    if (messageId != 0)
        return error.isEmpty() ? VtrString(messageId) : VtrString(messageId) + QLatin1Char('\n') + error;
    return error.isEmpty() ? fallback : error;
}

namespace SpreadsheetHelper {
QString LibraryPath()
{
    return CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + QLatin1String(VTRCLRMangedHelper::kLibrary)
        + QLatin1String(VtrLibrary::kSuffix);
}

bool IsXlsxPath(const QString& path)
{
    return path.endsWith(QLatin1String(".xlsx"), Qt::CaseSensitive);
}

QStringList CustomMessageColumns()
{
    return { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D") };
}

SpreadsheetOutcome Export(const QString& path, const QList<QStringList>& rows)
{
    SpreadsheetOutcome out;
    HelperLibrary library;
    if (IsXlsxPath(path)) {
        if (auto fn = library.Find<PFN_RuleManagerExportCustomMsg>(VTRCLRMangedHelper::kExport))
            out.ok = fn(&path, &rows, &out.error);
        else
            out.error = library.Error();
        return out;
    }
    int32_t messageId = 0;
    if (auto fn = library.Find<PFN_RuleManagerExportCustomMsgXls>(VTRCLRMangedHelper::kExportXls)) {
        out.ok = fn(&path, &rows, &messageId, &out.error);
        out.messageId = out.ok ? 0 : messageId;
    } else {
        // Without the helper nothing can write the workbook, as when the
        // spreadsheet program cannot start.
        out.messageId = kMsgCouldNotStartExcel;
        out.error = library.Error();
    }
    return out;
}

SpreadsheetOutcome Read(const QString& path, QList<QStringList>& table)
{
    SpreadsheetOutcome out;
    table.clear();
    const QStringList columns = CustomMessageColumns();
    HelperLibrary library;
    if (IsXlsxPath(path)) {
        if (auto fn = library.Find<PFN_ReadExcelAndFillTableColByCol>(VTRCLRMangedHelper::kRead))
            out.ok = fn(&path, &columns, &table, &out.error);
        else
            out.error = library.Error();
    } else {
        int32_t messageId = 0;
        if (auto fn = library.Find<PFN_ReadXlsAndFillTableColByCol>(VTRCLRMangedHelper::kReadXls)) {
            out.ok = fn(&path, &columns, &table, &messageId, &out.error);
            out.messageId = out.ok ? 0 : messageId;
        } else {
            out.messageId = kMsgCouldNotReadExcelFile;
            out.error = library.Error();
        }
    }
    if (!out.ok) {
        table.clear();
        if (out.error.isEmpty())
            out.error = QStringLiteral("Failed to Open File");
    }
    return out;
}

bool OpenWithDefaultProgram(const QString& path)
{
    return OpenWithFileOpener(path);
}
} // namespace SpreadsheetHelper
