#include "XlsConverter.h"

#include "VtrRegularFile.h"
#include "XlsxWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace Spreadsheet {
namespace {
// A conversion that takes longer than this is taken to hang.
constexpr int kConversionTimeoutMs = 180 * 1000;
} // namespace

QString FindOffice()
{
    QString office = qEnvironmentVariable("VTRPRO_SOFFICE");
    if (office.isEmpty())
        office = QStringLiteral("soffice");
    if (office.contains(QLatin1Char('/'))) {
        const QFileInfo info(office);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(office);
}

bool WriteXls(const QString& path, const Table& rows, int32_t& messageId, QString& error)
{
    messageId = kMsgUnableToCreateSheet;
    QString why;
    if (QFileInfo::exists(path) && !VtrIsRegularFile(path, &why)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, why);
        return false;
    }
    // A name the .xlsx way does not take only for its letter case ("X.XLSX")
    // is still an .xlsx: the workbook is written as one, as a spreadsheet
    // program saving under that name would.
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) {
        if (WriteXlsx(path, rows, error)) {
            messageId = 0;
            return true;
        }
        return false;
    }
    const QString office = FindOffice();
    if (office.isEmpty()) {
        messageId = kMsgCouldNotStartExcel;
        error = QStringLiteral("LibreOffice (soffice) is not installed.");
        return false;
    }
    QTemporaryDir work;
    if (!work.isValid()) {
        error = QStringLiteral("No private folder for the conversion: %1").arg(work.errorString());
        return false;
    }
    // The converted file takes the base name of its source.
    const QString base = QFileInfo(path).completeBaseName().isEmpty() ? QStringLiteral("Custom_Message")
                                                                      : QFileInfo(path).completeBaseName();
    const QString xlsx = work.filePath(base + QStringLiteral(".xlsx"));
    const QString xls = work.filePath(base + QStringLiteral(".xls"));
    if (!WriteXlsx(xlsx, rows, error))
        return false;

    // A profile of its own keeps the conversion away from a LibreOffice the
    // user has open, which would otherwise take the job and ignore --headless.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(work.path());
    process.start(office,
        { QStringLiteral("-env:UserInstallation=")
                + QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString(),
            QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
            QStringLiteral("xls"), QStringLiteral("--outdir"), work.path(), xlsx });
    if (!process.waitForStarted()) {
        messageId = kMsgCouldNotStartExcel;
        error = QStringLiteral("%1 could not be started: %2").arg(office, process.errorString());
        return false;
    }
    if (!process.waitForFinished(kConversionTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        error = QStringLiteral("The conversion by %1 did not end within %2 seconds.")
                    .arg(office)
                    .arg(kConversionTimeoutMs / 1000);
        return false;
    }
    const QString output = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !QFileInfo(xls).isFile()
        || QFileInfo(xls).size() == 0) {
        error = QStringLiteral("%1 could not convert the sheet to .xls (exit code %2). %3")
                    .arg(office)
                    .arg(process.exitCode())
                    .arg(output);
        return false;
    }

    QFile converted(xls);
    QSaveFile target(path);
    if (!converted.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, target.errorString());
        return false;
    }
    target.write(converted.readAll());
    if (!target.commit()) {
        error = QStringLiteral("%1 cannot be written: %2").arg(path, target.errorString());
        return false;
    }
    messageId = 0;
    return true;
}
} // namespace Spreadsheet
