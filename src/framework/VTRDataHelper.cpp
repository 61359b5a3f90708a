#include "VTRDataHelper.h"

#include "VtrLibrary.h"

namespace vtr_db {

VTRDataHelper::VTRDataHelper()
{
    // VTRPRO_DATABASE_MODULE names another module; set but empty, it means none.
    QString path = QStringLiteral("VtrSqliteDatabaseu") + QLatin1String(VtrLibrary::kSuffix);
    if (qEnvironmentVariableIsSet("VTRPRO_DATABASE_MODULE"))
        path = qEnvironmentVariable("VTRPRO_DATABASE_MODULE");
    if (path.isEmpty())
        return;
    m_library = VtrLibrary::Load(path);
    if (!m_library)
        return;
    auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(m_library, "GetDbInterface"));
    m_collector = get ? get() : nullptr;
    if (!m_collector) {
        VtrLibrary::Free(m_library);
        m_library = nullptr;
    }
}

VTRDataHelper::~VTRDataHelper()
{
    Shutdown();
}

void VTRDataHelper::Shutdown()
{
    if (m_collector && m_library) {
        auto del = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(m_library, "DeleteDbInterface"));
        if (del)
            del(m_collector);
    }
    m_collector = nullptr;
    // The library stays loaded until the process ends: rule modules may hold
    // interfaces obtained from it.
    m_library = nullptr;
}

VTRDataHelper* VTRDataHelper::getInstance()
{
    static VTRDataHelper helper;
    return &helper;
}

bool VTRDataHelper::IsDatabaseAvailable() const
{
    return m_collector && m_collector->IsAvailable();
}

} // namespace vtr_db
