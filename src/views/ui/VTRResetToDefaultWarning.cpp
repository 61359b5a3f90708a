#include "views/ui/VTRResetToDefaultWarning.h"

#include "FrameworkExports.h"
#include "Utilities/StringTable.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CVTRResetToDefaultWarning::CVTRResetToDefaultWarning(const QString& helpFile, QWidget* parent)
    : QDialog(parent)
    , m_helpFile(helpFile)
{
    setObjectName(QStringLiteral("resetToDefaultWarning"));
    setWindowTitle(QStringLiteral("VTRPro"));
    m_text = new QLabel(VtrString(61669), this);
    m_text->setObjectName(QStringLiteral("text644"));
    m_text->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    m_yes = buttons->addButton(QDialogButtonBox::Yes);
    m_no = buttons->addButton(QDialogButtonBox::No);
    m_no->setDefault(true);
    // Linux title bars have no help button; the button box carries it.
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setEnabled(!m_helpFile.isEmpty());
    connect(m_yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelp(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
    // 180 x 71 dialog units at the usual 4 x 8 pixels per unit pair.
    setMinimumSize(270, 115);
}

bool CVTRResetToDefaultWarning::ShowHelp()
{
    if (m_helpFile.isEmpty())
        return false;
    int32_t shown = 0;
    ShowVTRHelp(&m_helpFile, kHelpId, &shown);
    return shown == 1;
}

void CVTRResetToDefaultWarning::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F1) {
        ShowHelp();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
