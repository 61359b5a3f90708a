#pragma once

#include <QString>

// Every message box and question of the system goes through this interface,
// so that the application shows them with QMessageBox, the command-line tool
// prints them and tests answer them.
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

class IMessageService
{
public:
    virtual ~IMessageService() = default;
    // Shows a message or asks a question and returns the answer.
    virtual MsgAnswer Show(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) = 0;
};

// The service in force. Without one installed, messages go to standard error
// and questions get the cautious answer (No, Cancel).
IMessageService* GetMessageService();
// Installs a service (null restores the default); the caller keeps ownership.
void SetMessageService(IMessageService* service);
// Shorthand for GetMessageService()->Show(...).
MsgAnswer ShowMessage(const QString& text, const QString& caption, MsgIcon icon = MsgIcon::None,
                      MsgButtons buttons = MsgButtons::Ok);
