#include "app/ui/VTRRuleBuilderApp.h"
#include "Utilities/ui/QtDialogServices.h"
#include "document/RulePassword.h"
#include "document/ui/PasswordDlg.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    CQtMessageService messages;
    CQtFileDialogService dialogs;
    SetMessageService(&messages);
    SetFileDialogService(&dialogs);
    // Password questions of saves and Ctrl+L are asked with the password dialog.
    SetPasswordPrompt(MakePasswordDialogPrompt(nullptr));
    int code = 0;
    {
        CVTRRuleBuilderApp app;
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        if (app.InitInstance(arguments))
            code = QApplication::exec();
        const int exitCode = app.ExitInstance();
        if (code == 0)
            code = exitCode;
    }
    SetPasswordPrompt({});
    SetFileDialogService(nullptr);
    SetMessageService(nullptr);
    return code;
}
