#pragma once

#include "document/RulePassword.h"

#include <QDialog>
#include <QString>

class QLineEdit;

// Asks for a rule file's password: caption "VTRPro", the text "Please enter
// password", a masked entry, OK and Cancel. An empty password is accepted;
// one longer than kMaxPasswordLength is refused with a message and the
// dialog stays open. A new password is asked twice: two entries that differ
// are refused with a message, emptied, and asked again.
class CPasswordDlg : public QDialog
{
    Q_OBJECT
public:
    // Enter: the password of a protected file. NewPassword: a password to set.
    enum class Mode { Enter, NewPassword };

    explicit CPasswordDlg(QWidget* parent = nullptr, Mode mode = Mode::Enter);

    // The password typed, valid after the dialog was accepted.
    QString Password() const { return m_password; }
    // The entry, for tests.
    QLineEdit* Edit() const { return m_edit; }
    // The repeated entry of a new password, or null.
    QLineEdit* EditAgain() const { return m_again; }

public slots:
    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
    QLineEdit* m_again = nullptr;
    QString m_password;
};

// A password prompt that shows CPasswordDlg over parent (the active window
// when parent is null).
PasswordPrompt MakePasswordDialogPrompt(QWidget* parent);
// A new-password prompt that shows CPasswordDlg with both entries.
NewPasswordPrompt MakeNewPasswordDialogPrompt(QWidget* parent);
