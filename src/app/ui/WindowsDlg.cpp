#include "app/ui/WindowsDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

CWindowsDlg::CWindowsDlg(QMdiArea* area, QWidget* parent)
    : QDialog(parent)
    , m_area(area)
    , m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("windowsDialog"));
    setWindowTitle(QStringLiteral("Windows"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* activate = new QPushButton(QStringLiteral("&Activate"), this);
    activate->setObjectName(QStringLiteral("activate"));
    auto* closeWindows = new QPushButton(QStringLiteral("&Close Window(s)"), this);
    closeWindows->setObjectName(QStringLiteral("closeWindows"));
    auto* done = new QPushButton(QStringLiteral("OK"), this);
    connect(activate, &QPushButton::clicked, this, &CWindowsDlg::ActivateSelected);
    connect(closeWindows, &QPushButton::clicked, this, &CWindowsDlg::CloseSelected);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CWindowsDlg::ActivateSelected);

    auto* side = new QVBoxLayout;
    side->addWidget(activate);
    side->addWidget(closeWindows);
    side->addStretch(1);
    side->addWidget(done);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(side);
    Fill();
}

void CWindowsDlg::Fill()
{
    m_list->clear();
    for (QMdiSubWindow* w : m_area->subWindowList()) {
        auto* item = new QListWidgetItem(w->windowTitle(), m_list);
        item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(w)));
        if (w == m_area->activeSubWindow())
            m_list->setCurrentItem(item);
    }
}

void CWindowsDlg::ActivateSelected()
{
    QListWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    auto* target = static_cast<QMdiSubWindow*>(item->data(Qt::UserRole).value<void*>());
    // The window may have closed meanwhile; only a listed one is activated.
    if (m_area->subWindowList().contains(target))
        m_area->setActiveSubWindow(target);
    accept();
}

void CWindowsDlg::CloseSelected()
{
    QList<QPointer<QMdiSubWindow>> chosen;
    for (QListWidgetItem* item : m_list->selectedItems())
        chosen << static_cast<QMdiSubWindow*>(item->data(Qt::UserRole).value<void*>());
    const QList<QMdiSubWindow*> open = m_area->subWindowList();
    for (const QPointer<QMdiSubWindow>& w : chosen)
        if (w && open.contains(w.data()))
            w->close();
    Fill();
}
