#include "document/ui/PasswordDlg.h"

#include "Utilities/MessageService.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

CPasswordDlg::CPasswordDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("VTRPro"));
    setModal(true);

    auto* label = new QLabel(QStringLiteral("Please enter password"), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("password"));
    m_edit->setEchoMode(QLineEdit::Password);
    label->setBuddy(m_edit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPasswordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPasswordDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    setMinimumWidth(300);
    m_edit->setFocus();
}

void CPasswordDlg::accept()
{
    const QString typed = m_edit->text();
    if (typed.size() > kMaxPasswordLength) {
        ShowMessage(QStringLiteral("The password is too long: use at most %1 characters.").arg(kMaxPasswordLength),
            QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
        m_edit->setFocus();
        m_edit->selectAll();
        return;
    }
    m_password = typed;
    QDialog::accept();
}

PasswordPrompt MakePasswordDialogPrompt(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    return [owner](QString& typed) {
        CPasswordDlg dialog(owner.data());
        if (dialog.exec() != QDialog::Accepted)
            return false;
        typed = dialog.Password();
        return true;
    };
}
