#include "Utilities/ui/HelpWindow.h"

#include <QAction>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QStyle>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("VTRPro Help"));
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    // Pages link to each other; anything else (the web) opens on the desktop.
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(true);

    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back
        = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Back"), this, &CHelpWindow::Back);
    m_back->setShortcut(QKeySequence::Back);
    m_forward = bar->addAction(
        style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Forward"), this, &CHelpWindow::Forward);
    m_forward->setShortcut(QKeySequence::Forward);
    m_homeAction = bar->addAction(
        style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Contents"), this, &CHelpWindow::Home);
    m_homeAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &CHelpWindow::OnSourceChanged);

    auto* findLabel = new QLabel(QStringLiteral("Find:"), this);
    m_find = new QLineEdit(this);
    m_find->setObjectName(QStringLiteral("helpFind"));
    m_find->setClearButtonEnabled(true);
    m_find->setPlaceholderText(QStringLiteral("Text on this page"));
    findLabel->setBuddy(m_find);
    m_findResult = new QLabel(this);
    connect(m_find, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(m_find, &QLineEdit::textEdited, this, [this] {
        // Search again from the top as the text grows.
        m_browser->moveCursor(QTextCursor::Start);
        if (!m_find->text().isEmpty())
            FindNext();
        else
            m_findResult->clear();
    });
    auto* findShortcut = new QShortcut(QKeySequence::Find, this);
    connect(findShortcut, &QShortcut::activated, this, [this] {
        m_find->setFocus();
        m_find->selectAll();
    });
    auto* nextShortcut = new QShortcut(QKeySequence::FindNext, this);
    connect(nextShortcut, &QShortcut::activated, this, [this] { FindNext(); });
    auto* previousShortcut = new QShortcut(QKeySequence::FindPrevious, this);
    connect(previousShortcut, &QShortcut::activated, this, [this] { FindNext(true); });
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    auto* findRow = new QHBoxLayout;
    findRow->addWidget(findLabel);
    findRow->addWidget(m_find, 1);
    findRow->addWidget(m_findResult);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(bar);
    layout->addWidget(m_browser, 1);
    layout->addLayout(findRow);
    resize(820, 640);
}

bool CHelpWindow::ShowPage(const QString& path)
{
    const QFileInfo page(path);
    if (!page.isFile())
        return false;
    // Home is the contents page of the folder the pages come from.
    const QString contents = page.absolutePath() + QStringLiteral("/index.html");
    m_homePage = QFileInfo::exists(contents) ? contents : page.absoluteFilePath();
    m_browser->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    return true;
}

QUrl CHelpWindow::CurrentPage() const
{
    return m_browser->source();
}

bool CHelpWindow::FindNext(bool backwards)
{
    const QString text = m_find->text();
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    bool found = m_browser->find(text, flags);
    if (!found) {
        // Wrap round once.
        m_browser->moveCursor(backwards ? QTextCursor::End : QTextCursor::Start);
        found = m_browser->find(text, flags);
    }
    m_findResult->setText(found ? QString() : QStringLiteral("Not found"));
    return found;
}

void CHelpWindow::Back()
{
    m_browser->backward();
}

void CHelpWindow::Forward()
{
    m_browser->forward();
}

void CHelpWindow::Home()
{
    if (!m_homePage.isEmpty())
        m_browser->setSource(QUrl::fromLocalFile(m_homePage));
}

void CHelpWindow::OnSourceChanged(const QUrl&)
{
    const QString title = m_browser->documentTitle();
    setWindowTitle(title.isEmpty() ? QStringLiteral("VTRPro Help") : title);
    m_findResult->clear();
}
