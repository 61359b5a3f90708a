#pragma once

#include <QString>

class QSettings;

// Open and save questions for a path, answered by the application with
// CExtendedDialogDlg and by tests with prepared answers.
class IFileDialogService
{
public:
    virtual ~IFileDialogService() = default;
    // Asks for a path. Returns 1 (OK) with the path in chosen, or 2 (Cancel).
    // flags are the dialog's flag bits (overwrite prompt 0x2, path must exist
    // 0x800, file must exist 0x1000).
    virtual int AskPath(bool open, const QString& initialFolder, const QString& title, const QString& defaultExtension,
                        const QString& initialName, unsigned flags, const QString& filter, QString& chosen)
        = 0;
};

namespace FileDialogFlags {
inline constexpr unsigned kOverwritePrompt = 0x2;
inline constexpr unsigned kHideReadOnly = 0x4;
inline constexpr unsigned kPathMustExist = 0x800;
inline constexpr unsigned kFileMustExist = 0x1000;
inline constexpr unsigned kExplorer = 0x80000;
} // namespace FileDialogFlags

// The service in force; without one every question is cancelled.
IFileDialogService* GetFileDialogService();
// Installs a service (null restores the default); the caller keeps ownership.
void SetFileDialogService(IFileDialogService* service);

// What a file dialog does where its caller leaves a choice open.
namespace FileDialogDefaults {
// The folder a dialog starts in: initial when it names a folder, else the
// folder of the last path chosen in a file dialog (while it exists), else
// the user's documents folder (the home folder when there is none).
QString StartFolder(const QString& initial);
// Remembers the folder of a path the user chose.
void RememberChosen(const QString& path);
// The title: the given one, else "Open" or "Save As" (a window without a
// title would show the executable's file name).
QString Title(bool open, const QString& title);
// Keeps the last folder in settings (the profile) across runs; null keeps
// it for this run only. The caller keeps ownership.
void SetStore(QSettings* settings);
} // namespace FileDialogDefaults
