#include "Utilities/ui/StatusBarProgress.h"

#include <algorithm>

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>

CStatusBarProgress::CStatusBarProgress(QStatusBar* bar)
    : QObject(bar)
    , m_label(new QLabel(bar))
    , m_bar(new QProgressBar(bar))
{
    m_label->setObjectName(QStringLiteral("progressLabel"));
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setMaximumWidth(220);
    m_bar->setTextVisible(false);
    bar->addPermanentWidget(m_label);
    bar->addPermanentWidget(m_bar);
    m_label->hide();
    m_bar->hide();
}

CStatusBarProgress::~CStatusBarProgress()
{
    if (GetProgressSink() == this)
        SetProgressSink(nullptr);
}

void CStatusBarProgress::Begin(const QString& label, int64_t total)
{
    if (m_work.empty()) {
        m_clock.start();
        m_lastPump = 0;
    }
    // The innermost work is what the user waits for now.
    m_work.push_back({ label, total, 0 });
    ShowWork();
}

void CStatusBarProgress::ShowWork()
{
    const Work& w = m_work.back();
    // Without a total the count itself tells that the work moves on.
    m_label->setText(
        w.total > 0 || w.done == 0 ? w.label : w.label + QStringLiteral(": ") + QLocale().toString(qlonglong(w.done)));
    m_bar->setRange(0, w.total > 0 ? static_cast<int>(std::min<int64_t>(w.total, INT32_MAX)) : 0);
    if (w.total > 0)
        m_bar->setValue(static_cast<int>(std::min(w.done, w.total)));
}

void CStatusBarProgress::Advance(int64_t done)
{
    if (m_work.empty())
        return;
    if (done >= 0)
        m_work.back().done = done;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastPump < m_pumpEveryMs)
        return;
    m_lastPump = now;
    if (!Showing() && now >= m_showAfterMs) {
        m_label->show();
        m_bar->show();
        ++m_timesShown;
    }
    ShowWork();
    ++m_pumps;
    // Paint and other window-system events only: no user input and no file
    // handed over by another copy may start work inside this work.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void CStatusBarProgress::End()
{
    if (m_work.empty())
        return;
    m_work.pop_back();
    if (!m_work.empty()) {
        ShowWork();
        return;
    }
    m_label->hide();
    m_bar->hide();
    m_label->clear();
}

bool CStatusBarProgress::Showing() const
{
    // Shown on purpose, whether or not the window is on screen yet.
    return !m_bar->isHidden();
}
