#pragma once

#include <cstdint>

#include <QString>

// A usage-data collector of its own, for a window that reports its own usage
// events (the rule list and its view): loaded when created if framework
// setting 73 is on, kept for the owner's lifetime. Without the library or
// the setting nothing is sent.
class UsageHook
{
public:
    UsageHook();
    ~UsageHook();
    UsageHook(const UsageHook&) = delete;
    UsageHook& operator=(const UsageHook&) = delete;

    bool Loaded() const { return m_trackEvent != nullptr; }
    // Sends one usage event (value, kind, text) when loaded.
    void Send(int32_t value, int32_t kind, const QString& text) const;

private:
    using TrackEventFn = void (*)(int32_t, int32_t, const QString*);
    void* m_library = nullptr;
    TrackEventFn m_trackEvent = nullptr;
};
