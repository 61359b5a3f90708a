#include "custommsg/UsageHook.h"

#include "PLQSettingUtil.h"
#include "VtrLibrary.h"

UsageHook::UsageHook()
{
    bool enabled = false;
    if (!CPLQSettingUtil::GetSettingBooleanValue(73, enabled) || !enabled)
        return;
    m_library = VtrLibrary::Load(QStringLiteral("PLQUsageDataCollector") + QLatin1String(VtrLibrary::kSuffix));
    if (!m_library)
        return; // the collector is optional
    m_trackEvent = reinterpret_cast<TrackEventFn>(VtrLibrary::Find(m_library, "PLQTrackEvent"));
    if (!m_trackEvent) {
        VtrLibrary::Free(m_library);
        m_library = nullptr;
    }
}

UsageHook::~UsageHook()
{
    if (m_library)
        VtrLibrary::Free(m_library);
}

void UsageHook::Send(int32_t value, int32_t kind, const QString& text) const
{
    if (m_trackEvent)
        m_trackEvent(value, kind, &text);
}
