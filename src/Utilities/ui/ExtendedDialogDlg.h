#pragma once

#include <QString>

class QFileDialog;
class QWidget;

// The program's open/save file dialog. Flags are the dialog flag bits of
// FileDialogFlags (overwrite prompt, path must exist, file must exist); the
// filter is given as "description|pattern|...||". Without an initial folder
// it starts in the last folder used, else the documents folder; without a
// title it is titled "Open" or "Save As".
class CExtendedDialogDlg
{
public:
    CExtendedDialogDlg(bool open, const QString& initialFolder, const QString& title, const QString& defaultExtension,
        const QString& fileName, unsigned flags, const QString& filter, QWidget* parent = nullptr);
    ~CExtendedDialogDlg();
    CExtendedDialogDlg(const CExtendedDialogDlg&) = delete;
    CExtendedDialogDlg& operator=(const CExtendedDialogDlg&) = delete;

    // 1 when the user confirmed a path, 2 otherwise.
    int DoModal();
    // The chosen path (empty after Cancel).
    QString GetPathName() const { return m_path; }

    // "desc|pattern|desc|pattern||" as Qt name filters ("desc (pattern)"),
    // several patterns of one entry separated by ";" become blank-separated;
    // patterns a description already names in parentheses are not repeated.
    static QStringList ConvertFilter(const QString& filter);
    // Why a confirmed path is refused under the flags, or empty when it is fine.
    static QString CheckPath(const QString& path, bool open, unsigned flags);

private:
    QFileDialog* m_dialog;
    QWidget* m_parent;
    bool m_open;
    unsigned m_flags;
    QString m_path;
};
