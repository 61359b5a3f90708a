#pragma once

#include "Utilities/Progress.h"

#include <vector>

#include <QElapsedTimer>
#include <QObject>

class QLabel;
class QProgressBar;
class QStatusBar;

// Shows long work in a status bar: a label and a progress bar appear once the
// work has run for a moment, and the window keeps repainting because events
// are processed at bounded intervals while the work reports its steps. User
// input waits until the work is done, so nothing can start inside it.
class CStatusBarProgress : public QObject, public IProgressSink
{
    Q_OBJECT
public:
    // Work shorter than this shows nothing.
    static constexpr int kShowAfterMs = 300;
    // Events are processed at most this often.
    static constexpr int kPumpEveryMs = 40;

    explicit CStatusBarProgress(QStatusBar* bar);
    ~CStatusBarProgress() override;

    void Begin(const QString& label, int64_t total) override;
    void Advance(int64_t done) override;
    void End() override;

    // Whether the indicator is shown now.
    bool Showing() const;
    QProgressBar* Bar() const { return m_bar; }
    QLabel* Label() const { return m_label; }
    // How often events were processed, and how often the indicator
    // appeared, since this object was made.
    int Pumps() const { return m_pumps; }
    int TimesShown() const { return m_timesShown; }
    // Other thresholds than kShowAfterMs and kPumpEveryMs (tests).
    void SetTimings(int showAfterMs, int pumpEveryMs)
    {
        m_showAfterMs = showAfterMs;
        m_pumpEveryMs = pumpEveryMs;
    }

private:
    struct Work
    {
        QString label;
        int64_t total;
        int64_t done;
    };
    void ShowWork();

    QLabel* m_label;
    QProgressBar* m_bar;
    QElapsedTimer m_clock;
    qint64 m_lastPump = 0;
    // The work going on, outermost first.
    std::vector<Work> m_work;
    int m_pumps = 0;
    int m_timesShown = 0;
    int m_showAfterMs = kShowAfterMs;
    int m_pumpEveryMs = kPumpEveryMs;
};
