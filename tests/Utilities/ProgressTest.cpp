// The progress of long work as the loops report it: every stride-th step,
// nested work, and nothing at all without a sink.

#include "Utilities/Progress.h"

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
