#include "custommsg/ui/VTRCustomMsgWarningDlg.h"

#include "FrameworkExports.h"
#include "custommsg/CustomMessageStore.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

bool ShowCustomMessageHelp(const QString& helpFile)
{
    if (helpFile.isEmpty())
        return false;
    int32_t shown = 0;
    ShowVTRHelp(&helpFile, CVTRCustomMsgWarningDlg::kHelpId, &shown);
    return shown == 1;
}

CVTRCustomMsgWarningDlg::CVTRCustomMsgWarningDlg(const QString& helpFile, QWidget* parent)
    : QDialog(parent)
    , m_helpFile(helpFile)
{
    setObjectName(QStringLiteral("customMsgWarning"));
    setWindowTitle(QStringLiteral("VTRPro"));
    m_text = new QLabel(CustomMessageStore::CentralDatabaseWarningText(), this);
    m_text->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_ok->setDefault(true);
    // Linux title bars have no help button; the button box carries it.
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setEnabled(!m_helpFile.isEmpty());
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
    // 250 x 56 dialog units at the usual 4 x 8 pixels per unit pair.
    setMinimumSize(375, 91);
}

bool CVTRCustomMsgWarningDlg::ShowHelp()
{
    return ShowCustomMessageHelp(m_helpFile);
}

void CVTRCustomMsgWarningDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        ShowHelp();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
