#include "Utilities/ui/ExtendedDialogDlg.h"

#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>

CExtendedDialogDlg::CExtendedDialogDlg(bool open, const QString& initialFolder, const QString& title,
    const QString& defaultExtension, const QString& fileName, unsigned flags, const QString& filter, QWidget* parent)
    : m_dialog(new QFileDialog(parent))
    , m_parent(parent)
    , m_open(open)
    , m_flags(flags)
{
    // The Qt dialog behaves the same on every desktop and can be driven by tests.
    m_dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    m_dialog->setWindowTitle(FileDialogDefaults::Title(open, title));
    m_dialog->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    m_dialog->setFileMode(
        open && (flags & FileDialogFlags::kFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!open && !(flags & FileDialogFlags::kOverwritePrompt))
        m_dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (flags & FileDialogFlags::kHideReadOnly)
        m_dialog->setOption(QFileDialog::ReadOnly, false);
    QString suffix = defaultExtension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    m_dialog->setDefaultSuffix(suffix);
    const QStringList filters = ConvertFilter(filter);
    if (!filters.isEmpty())
        m_dialog->setNameFilters(filters);
    m_dialog->setDirectory(FileDialogDefaults::StartFolder(initialFolder));
    if (!fileName.isEmpty())
        m_dialog->selectFile(fileName);
}

CExtendedDialogDlg::~CExtendedDialogDlg()
{
    delete m_dialog;
}

int CExtendedDialogDlg::DoModal()
{
    m_path.clear();
    QPointer<QWidget> hadFocus = QApplication::focusWidget();
    int result = 2;
    // A path the flags refuse is explained and the dialog shown again.
    while (m_dialog->exec() == QDialog::Accepted) {
        const QStringList files = m_dialog->selectedFiles();
        const QString path = files.isEmpty() ? QString() : files.first();
        const QString problem = CheckPath(path, m_open, m_flags);
        if (problem.isEmpty()) {
            m_path = path;
            result = 1;
            FileDialogDefaults::RememberChosen(path);
            break;
        }
        ShowMessage(problem, m_dialog->windowTitle(), MsgIcon::Warning);
    }
    if (hadFocus)
        hadFocus->setFocus();
    return result;
}

QStringList CExtendedDialogDlg::ConvertFilter(const QString& filter)
{
    QStringList parts = filter.split(QLatin1Char('|'));
    // The list ends with "||": drop the empty tail.
    while (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        // Descriptions often name their patterns already ("VTRPro(*.vtr)");
        // Qt reads the patterns from the last parentheses, so they are named
        // once, and as the patterns that really apply.
        if (description.endsWith(QLatin1Char(')'))) {
            const qsizetype open = description.lastIndexOf(QLatin1Char('('));
            if (open >= 0 && description.indexOf(QLatin1Char('*'), open) > open)
                description = description.left(open).trimmed();
        }
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            p = p.trimmed();
            // "*.*" is every file where it comes from; here it would miss
            // the names without a dot.
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        out << (description.isEmpty() ? joined : QStringLiteral("%1 (%2)").arg(description, joined));
    }
    return out;
}

QString CExtendedDialogDlg::CheckPath(const QString& path, bool open, unsigned flags)
{
    if (path.isEmpty())
        return VtrString(61666);
    const QFileInfo info(path);
    if ((flags & FileDialogFlags::kFileMustExist) && !info.isFile())
        return VtrString(StrId::FileCouldNotOpen).replace(QLatin1String("%s"), path);
    if ((flags & FileDialogFlags::kPathMustExist) && !info.absoluteDir().exists())
        return VtrString(61693).replace(QLatin1String("%s"), info.absolutePath());
    return QString();
}
