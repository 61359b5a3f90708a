// The progress of long work as the loops report it: every stride-th step,
// nested work, and nothing at all without a sink.

#include "Utilities/Progress.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <QStringList>

namespace {
struct RecordingSink : IProgressSink
{
    QStringList events;
    void Begin(const QString& label, int64_t total) override
    {
        events << QStringLiteral("begin %1 %2").arg(label).arg(total);
    }
    void Advance(int64_t done) override { events << QStringLiteral("at %1").arg(done); }
    void End() override { events << QStringLiteral("end"); }
};

struct SinkInstalled
{
    explicit SinkInstalled(IProgressSink* sink) { SetProgressSink(sink); }
    ~SinkInstalled() { SetProgressSink(nullptr); }
};
} // namespace

TEST(Progress, ReportsEveryStrideAndNestedWork)
{
    RecordingSink sink;
    SinkInstalled installed(&sink);
    {
        ProgressScope outer(QStringLiteral("outer"), 130);
        for (int64_t i = 1; i <= 130; ++i) {
            outer.Step(i);
            if (i == 100) {
                ProgressScope inner(QStringLiteral("inner"));
                for (int64_t k = 1; k <= 64; ++k)
                    inner.Step(k);
            }
        }
    }
    EXPECT_EQ(sink.events,
        (QStringList { QStringLiteral("begin outer 130"), QStringLiteral("at 64"), QStringLiteral("begin inner 0"),
            QStringLiteral("at 64"), QStringLiteral("end"), QStringLiteral("at 128"), QStringLiteral("end") }));
}

TEST(Progress, WorkWithoutASinkReportsNothing)
{
    ASSERT_EQ(GetProgressSink(), nullptr);
    RecordingSink sink;
    {
        // A scope keeps the sink it started with, so installing one midway
        // never gets an End without its Begin.
        ProgressScope scope(QStringLiteral("quiet"), 10);
        SinkInstalled installed(&sink);
        for (int64_t i = 1; i <= 200; ++i)
            scope.Step(i);
    }
    EXPECT_TRUE(sink.events.isEmpty());
}

namespace {
// Counts the pulses; the long call below waits until it has been heard of.
struct PulseSink : IProgressSink
{
    std::atomic<int> pulses { 0 };
    QStringList events;
    void Begin(const QString& label, int64_t total) override
    {
        events << QStringLiteral("begin %1 %2").arg(label).arg(total);
    }
    void Advance(int64_t done) override
    {
        if (done < 0)
            ++pulses;
    }
    void End() override { events << QStringLiteral("end"); }
};
} // namespace

TEST(Progress, LongCallRunsAsideWhileTheSinkHearsItGoesOn)
{
    PulseSink sink;
    SinkInstalled installed(&sink);
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id ranOn;
    // Run on the caller's thread, the call would wait for pulses that never
    // come and give up after five seconds.
    const bool heard = RunAside(QStringLiteral("long call"), [&] {
        ranOn = std::this_thread::get_id();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (sink.pulses < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return sink.pulses >= 2;
    });
    EXPECT_TRUE(heard);
    EXPECT_NE(ranOn, caller);
    EXPECT_EQ(sink.events, (QStringList { QStringLiteral("begin long call 0"), QStringLiteral("end") }));

    // Without a sink the call runs where it is made and its result comes back.
    SetProgressSink(nullptr);
    EXPECT_EQ(RunAside(QStringLiteral("quiet"), [&] { return std::this_thread::get_id(); }), caller);
}
