// The application object over a fresh environment, shared by the tests that
// start the whole program in-process.
#pragma once

#include "TestSupport.h"

#include "app/ui/VTRRuleBuilderApp.h"
#include "views/ui/MainFrame.h"

#include <memory>

#include <QCoreApplication>
#include <QSize>
#include <QStringList>
#include <QTest>

// Settings, profile and message answers live in a temporary folder; the
// instance name is unique so that copies never hand files to each other.
struct AppRun
{
    ScopedTestEnv env;
    ScriptedMessages messages;
    ScriptedFileDialogs dialogs;
    AppOptions options;
    std::unique_ptr<CVTRRuleBuilderApp> app;

    AppRun()
    {
        static int counter = 0;
        options.instanceName
            = QStringLiteral("vtrpro-apptest-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        options.profileFile = env.Path(QStringLiteral("profile.ini"));
    }
    ~AppRun()
    {
        if (app)
            app->ExitInstance();
    }
    AppRun(const AppRun&) = delete;
    AppRun& operator=(const AppRun&) = delete;

    // Creates the application and runs its start-up.
    bool Start(const QStringList& arguments = {})
    {
        app = std::make_unique<CVTRRuleBuilderApp>(options);
        return app->InitInstance(arguments);
    }
    // Starts, gives the main window a size and waits until it is on screen.
    bool StartShown(QSize size)
    {
        if (!Start())
            return false;
        Frame()->resize(size);
        return QTest::qWaitForWindowExposed(Frame());
    }
    CMainFrame* Frame() const { return app->MainFrame(); }
    void Command(int id) { Frame()->OnCommand(id); }
};
