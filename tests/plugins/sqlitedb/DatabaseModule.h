#pragma once

#include "TestSupport.h"
#include "VTRDataHelper.h"
#include "VtrLibrary.h"

#include <memory>

// The built database module, loaded from the bin folder, and collectors made
// by its own exports (so the tests go through the same door as the program).
class DatabaseModule
{
public:
    explicit DatabaseModule(const QString& file = QStringLiteral("VtrSqliteDatabaseu.so"))
    {
        m_handle = VtrLibrary::Load(BinDir() + QLatin1Char('/') + file);
        if (!m_handle)
            return;
        m_get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(m_handle, "GetDbInterface"));
        m_delete = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(m_handle, "DeleteDbInterface"));
    }
    // The library stays loaded: the framework's helper may hold it too.
    bool IsLoaded() const { return m_get && m_delete; }

    struct Deleter
    {
        PFN_DeleteDbInterface del;
        void operator()(vtr_db::IDatabaseCollector* c) const { del(c); }
    };
    using Collector = std::unique_ptr<vtr_db::IDatabaseCollector, Deleter>;

    Collector Create() const { return Collector(m_get(), Deleter { m_delete }); }

private:
    void* m_handle = nullptr;
    PFN_GetDbInterface m_get = nullptr;
    PFN_DeleteDbInterface m_delete = nullptr;
};
