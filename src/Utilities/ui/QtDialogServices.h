#pragma once

#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"

// Messages and questions shown with QMessageBox over the active window.
class CQtMessageService : public IMessageService
{
public:
    MsgAnswer Show(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
};

// Open and save questions answered with CExtendedDialogDlg.
class CQtFileDialogService : public IFileDialogService
{
public:
    int AskPath(bool open, const QString& initialFolder, const QString& title, const QString& defaultExtension,
        const QString& initialName, unsigned flags, const QString& filter, QString& chosen) override;
};
