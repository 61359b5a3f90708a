#include "Utilities/ui/QtDialogServices.h"

#include "Utilities/ui/ExtendedDialogDlg.h"

#include <QApplication>
#include <QMessageBox>

MsgAnswer CQtMessageService::Show(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        // Closing the box is the cautious answer.
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
    }
}

int CQtFileDialogService::AskPath(bool open, const QString& initialFolder, const QString& title,
    const QString& defaultExtension, const QString& initialName, unsigned flags, const QString& filter, QString& chosen)
{
    CExtendedDialogDlg dialog(
        open, initialFolder, title, defaultExtension, initialName, flags, filter, QApplication::activeWindow());
    const int result = dialog.DoModal();
    chosen = result == 1 ? dialog.GetPathName() : QString();
    return result;
}
