#include "app/TerminationSignals.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "Utilities/ui/QtDialogServices.h"
#include "document/RulePassword.h"
#include "document/ui/PasswordDlg.h"
#include "views/ui/MainFrame.h"
#include "Utilities/VTRUIUtils.h"

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
    // Log-out, Ctrl+C or kill: leave every event loop (an open question is
    // answered as cancelled), close the documents without saving, and shut
    // down as on Exit, so the all-rules file and the locks go.
    bool endRequested = false;
    TerminationSignals endRequests([&endRequested](int number) {
        LogWithNumber(QStringLiteral("Asked by signal %d to end"), number);
        endRequested = true; // also when it comes before the event loop runs
        QCoreApplication::exit(0);
    });
    int code = 0;
    {
        CVTRRuleBuilderApp app;
        QStringList arguments = QApplication::arguments();
        arguments.removeFirst();
        if (app.InitInstance(arguments) && !endRequested)
            code = QApplication::exec();
        // Every event loop has ended, so no question is half-way.
        if (endRequested && app.MainFrame())
            app.MainFrame()->CloseAllWithoutAsking();
        const int exitCode = app.ExitInstance();
        if (code == 0)
            code = exitCode;
    }
    SetPasswordPrompt({});
    SetFileDialogService(nullptr);
    SetMessageService(nullptr);
    return code;
}
