#include "Utilities/Progress.h"

namespace {
IProgressSink* g_sink = nullptr;
} // namespace

IProgressSink* GetProgressSink()
{
    return g_sink;
}

void SetProgressSink(IProgressSink* sink)
{
    g_sink = sink;
}

ProgressScope::ProgressScope(const QString& label, int64_t total)
    : m_sink(g_sink)
{
    if (m_sink)
        m_sink->Begin(label, total);
}

ProgressScope::~ProgressScope()
{
    if (m_sink)
        m_sink->End();
}
