#pragma once

#include <chrono>
#include <cstdint>
#include <future>
#include <type_traits>
#include <utility>

#include <QString>

// Progress of long work (reading, writing or listing many rules, importing a
// spreadsheet): the loops report through ProgressScope, and whoever shows it
// (the status bar; nothing in the command-line tool and the tests) installs
// a sink.
class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    // Work named label starts; total is the number of steps, 0 when unknown.
    // Work may start inside other work.
    virtual void Begin(const QString& label, int64_t total) = 0;
    // done steps of the innermost work are finished; a negative done only
    // says that the work goes on (one long call that has no steps).
    virtual void Advance(int64_t done) = 0;
    // The innermost work ended.
    virtual void End() = 0;
};

// The sink in force, or null.
IProgressSink* GetProgressSink();
// Installs a sink (null for none); the caller keeps ownership.
void SetProgressSink(IProgressSink* sink);

// One piece of long work, from construction to destruction. Step() is cheap
// enough for a loop over every rule: the sink hears of every kStride-th step
// only, and nothing at all when no sink is installed.
class ProgressScope
{
public:
    static constexpr int64_t kStride = 64;

    explicit ProgressScope(const QString& label, int64_t total = 0);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

    // done steps are finished.
    void Step(int64_t done)
    {
        if (m_sink && (done & (kStride - 1)) == 0)
            m_sink->Advance(done);
    }
    // The work goes on without a step to count.
    void Pulse()
    {
        if (m_sink)
            m_sink->Advance(-1);
    }

private:
    IProgressSink* m_sink;
};

// Runs one long call on a thread of its own while the sink hears that it
// goes on, so that the window keeps painting during it. The call must not
// touch widgets or ask questions. Without a sink it runs here.
template <typename Work> std::invoke_result_t<Work&> RunAside(const QString& label, Work work)
{
    if (!GetProgressSink())
        return work();
    ProgressScope progress(label);
    auto done = std::async(std::launch::async, std::move(work));
    while (done.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready)
        progress.Pulse();
    return done.get();
}
