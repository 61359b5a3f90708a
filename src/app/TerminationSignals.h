#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (log-out, Ctrl+C, a closed terminal) into
// a call on the event loop, so that a program asked to end by the system
// runs its normal shutdown instead of dying with its files left behind.
// One at a time; the default handling comes back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    // onSignal gets the signal's number, on the event loop's thread.
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    void Drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
