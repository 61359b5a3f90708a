#pragma once

#include "document/RulePassword.h"

#include <QDialog>
#include <QString>

class QLineEdit;

// Asks for a rule file's password: caption "VTRPro", the text "Please enter
// password", a masked entry, OK and Cancel. An empty password is accepted;
// one longer than kMaxPasswordLength is refused with a message and the
// dialog stays open.
class CPasswordDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CPasswordDlg(QWidget* parent = nullptr);

    // The password typed, valid after the dialog was accepted.
    QString Password() const { return m_password; }
    // The entry, for tests.
    QLineEdit* Edit() const { return m_edit; }

public slots:
    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
    QString m_password;
};

// A password prompt that shows CPasswordDlg over parent.
PasswordPrompt MakePasswordDialogPrompt(QWidget* parent);
