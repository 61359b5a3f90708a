#include "document/ui/PasswordDlg.h"

#include "Utilities/MessageService.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

namespace {
QLineEdit* MaskedEntry(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QWidget* Owner(const QPointer<QWidget>& parent)
{
    return parent ? parent.data() : QApplication::activeWindow();
}
} // namespace

CPasswordDlg::CPasswordDlg(QWidget* parent, Mode mode)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("VTRPro"));
    setModal(true);

    auto* label = new QLabel(QStringLiteral("Please enter password"), this);
    m_edit = MaskedEntry(QStringLiteral("password"), this);
    label->setBuddy(m_edit);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPasswordDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPasswordDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_edit);
    if (mode == Mode::NewPassword) {
        auto* againLabel = new QLabel(QStringLiteral("Enter the same password again"), this);
        m_again = MaskedEntry(QStringLiteral("passwordAgain"), this);
        againLabel->setBuddy(m_again);
        layout->addWidget(againLabel);
        layout->addWidget(m_again);
        // Tab goes from the first entry to the second, not to OK.
        QWidget::setTabOrder(m_edit, m_again);
        QWidget::setTabOrder(m_again, buttons);
    }
    layout->addWidget(buttons);
    setMinimumWidth(300);
    m_edit->setFocus();
}

void CPasswordDlg::accept()
{
    const QString typed = m_edit->text();
    bool usable = true;
    if (m_again) {
        usable = AcceptNewPassword(typed, m_again->text());
    } else if (typed.size() > kMaxPasswordLength) {
        ShowMessage(QStringLiteral("The password is too long: use at most %1 characters.").arg(kMaxPasswordLength),
            QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
        usable = false;
    }
    if (!usable) {
        // Asked again from the start: nobody can see which entry was wrong.
        if (m_again) {
            m_edit->clear();
            m_again->clear();
        }
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
        CPasswordDlg dialog(Owner(owner));
        if (dialog.exec() != QDialog::Accepted)
            return false;
        typed = dialog.Password();
        return true;
    };
}

NewPasswordPrompt MakeNewPasswordDialogPrompt(QWidget* parent)
{
    QPointer<QWidget> owner(parent);
    return [owner](QString& typed, QString& repeated) {
        CPasswordDlg dialog(Owner(owner), CPasswordDlg::Mode::NewPassword);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        // The dialog lets only two equal entries through.
        typed = dialog.Password();
        repeated = typed;
        return true;
    };
}
