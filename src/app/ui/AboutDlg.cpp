#include "app/ui/AboutDlg.h"

#include "Utilities/StringTable.h"
#include "Utilities/ui/HyperLink.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#ifndef VTRPRO_VERSION
#define VTRPRO_VERSION "0.0.0"
#endif
#ifndef VTRPRO_BUILD_NUMBER
#define VTRPRO_BUILD_NUMBER "0"
#endif
#ifndef VTRPRO_BUILD_DATE
#define VTRPRO_BUILD_DATE __DATE__
#endif

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About VTRPro Rule Manager"));
    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(QSize(64, 64), devicePixelRatioF()));
    picture->setAlignment(Qt::AlignTop);

    auto* grid = new QGridLayout;
    const auto addRow = [&](int row, const QString& label, const QString& value) {
        grid->addWidget(new QLabel(label, this), row, 0);
        auto* v = new QLabel(value, this);
        v->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(v, row, 1);
    };
    auto* name = new QLabel(VtrString(308), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    grid->addWidget(name, 0, 0, 1, 2);
    addRow(1, QStringLiteral("Version : "), VersionText());
    addRow(2, QStringLiteral("Build : "), BuildText());
    addRow(3, QStringLiteral("Build Date :"), BuildDateText());
    m_link = new CHyperLink(WebSite(), this);
    m_link->SetTarget(WebSite());
    m_link->EnableTooltip(true);
    m_link->SetTooltipText(WebSite());
    grid->addWidget(m_link, 4, 0, 1, 2);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(grid, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)));
}

QString CAboutDlg::VersionText()
{
    return QStringLiteral(VTRPRO_VERSION);
}

QString CAboutDlg::BuildText()
{
    return QStringLiteral(VTRPRO_BUILD_NUMBER);
}

QString CAboutDlg::BuildDateText()
{
    return QStringLiteral(VTRPRO_BUILD_DATE);
}

QString CAboutDlg::WebSite()
{
    return QStringLiteral("https://www.vtrpro.example.com/");
}
