#include "custommsg/ui/VTRCustomMsgErrorDlg.h"

#include "custommsg/ui/VTRCustomMsgWarningDlg.h"
#include "Utilities/StringTable.h"
#include "Utilities/ui/HyperLink.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CVTRCustomMsgErrorDlg::CVTRCustomMsgErrorDlg(const QString& logPath, const QString& helpFile, QWidget* parent)
    : QDialog(parent)
    , m_helpFile(helpFile)
{
    setObjectName(QStringLiteral("customMsgError"));
    setWindowTitle(QStringLiteral("VTRPro"));
    m_text = new QLabel(VtrString(61657), this);
    m_text->setObjectName(QStringLiteral("text588"));
    m_link = new CHyperLink(VtrString(590), this);
    m_link->setObjectName(QStringLiteral("link587"));
    m_link->SetControlId(587);
    m_link->SetLinkColor(0xff0000);
    m_link->SetTarget(logPath);
    m_details = new QLabel(VtrString(591), this);
    m_details->setObjectName(QStringLiteral("text589"));

    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    line->addWidget(m_text);
    line->addWidget(m_link);
    line->addWidget(m_details);
    line->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_ok->setDefault(true);
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setEnabled(!m_helpFile.isEmpty());
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(); });
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(line);
    layout->addStretch(1);
    layout->addWidget(buttons);
    // 241 x 69 dialog units at the usual 4 x 8 pixels per unit pair.
    setMinimumSize(362, 112);
}

bool CVTRCustomMsgErrorDlg::ShowHelp()
{
    return ShowCustomMessageHelp(m_helpFile);
}

void CVTRCustomMsgErrorDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        ShowHelp();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
