#include "app/AppContext.h"

#include "PLQSettingUtil.h"
#include "VtrLibrary.h"
#include "modules/ModuleContract.h"

namespace {
AppContext* g_instance = nullptr;
}

AppContext::AppContext()
{
    g_instance = this;
}

AppContext::~AppContext()
{
    StopUsageHook();
    if (g_instance == this)
        g_instance = nullptr;
}

AppContext* AppContext::Instance()
{
    return g_instance;
}

void AppContext::SetEditCustomRuleEnabled(bool on)
{
    if (m_editCustomRule != on) {
        m_editCustomRule = on;
        emit FlagsChanged();
    }
}

void AppContext::SetEditProductRuleEnabled(bool on)
{
    if (m_editProductRule != on) {
        m_editProductRule = on;
        emit FlagsChanged();
    }
}

void AppContext::SetConfigureRuleEnabled(bool on)
{
    if (m_configureRule != on) {
        m_configureRule = on;
        emit FlagsChanged();
    }
}

void AppContext::SetUnitsEnabled(bool on)
{
    if (m_unitsEnabled != on) {
        m_unitsEnabled = on;
        emit FlagsChanged();
    }
}

void AppContext::SetMaterialDataFlag(int32_t flag)
{
    if (m_materialData != flag) {
        m_materialData = flag;
        emit FlagsChanged();
    }
}

void AppContext::SetResourceFolder(const QString& folder)
{
    m_resourceFolder = folder;
}

void AppContext::StartUsageHook()
{
    bool enabled = false;
    if (!CPLQSettingUtil::GetSettingBooleanValue(73, enabled) || !enabled || m_usageLibrary)
        return;
    m_usageLibrary = VtrLibrary::Load(QStringLiteral("PLQUsageDataCollector") + QLatin1String(VtrLibrary::kSuffix));
    if (!m_usageLibrary)
        return; // the collector is optional
    m_trackEvent = reinterpret_cast<TrackEventFn>(VtrLibrary::Find(m_usageLibrary, "PLQTrackEvent"));
    if (!m_trackEvent) {
        VtrLibrary::Free(m_usageLibrary);
        m_usageLibrary = nullptr;
        return;
    }
    const QString empty;
    m_trackEvent(-1, 0, &empty);
    m_trackEvent(4, 5, &empty);
}

void AppContext::StopUsageHook()
{
    if (!m_usageLibrary)
        return;
    if (m_trackEvent) {
        const QString empty;
        m_trackEvent(-1, 1, &empty);
    }
    VtrLibrary::Free(m_usageLibrary);
    m_usageLibrary = nullptr;
    m_trackEvent = nullptr;
}

void AppContext::TrackEvent(int32_t value, int32_t kind, const QString& text)
{
    if (m_trackEvent)
        m_trackEvent(value, kind, &text);
}

void AppContext::ShowStatusText(const QString& text)
{
    m_statusText = text;
    emit StatusTextChanged(text);
}
