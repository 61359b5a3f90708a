#include "app/ui/VTRRuleBuilderApp.h"
#include "Utilities/ui/QtDialogServices.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    CQtMessageService messages;
    CQtFileDialogService dialogs;
    SetMessageService(&messages);
    SetFileDialogService(&dialogs);
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
    SetFileDialogService(nullptr);
    SetMessageService(nullptr);
    return code;
}
