#include "app/TerminationSignals.h"
#include "app/ui/VTRRuleBuilderApp.h"
#include "Utilities/ui/QtDialogServices.h"
#include "document/RulePassword.h"
#include "document/ui/PasswordDlg.h"
#include "views/ui/MainFrame.h"
#include "Utilities/VTRUIUtils.h"

#include <cstdio>
#include <cstring>

#include <QApplication>

int main(int argc, char** argv)
{
    // Answered before any window system is needed, so scripts and package
    // checks can ask on a machine without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("VtrProRuleBuilderu %s\n", VTRPRO_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: VtrProRuleBuilderu [FILE.vtr]\n       VtrProRuleBuilderu --version\n\n"
                        "Opens FILE.vtr in the running copy when there is one.\n");
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    CQtMessageService messages;
    CQtFileDialogService dialogs;
    SetMessageService(&messages);
    SetFileDialogService(&dialogs);
    // Password questions of saves are asked with the password dialog; Ctrl+L
    // asks for the new password twice in it.
    SetPasswordPrompt(MakePasswordDialogPrompt(nullptr));
    SetNewPasswordPrompt(MakeNewPasswordDialogPrompt(nullptr));
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
    SetNewPasswordPrompt({});
    SetPasswordPrompt({});
    SetFileDialogService(nullptr);
    SetMessageService(nullptr);
    return code;
}
