#include "VtrLibrary.h"

#include "VTRFrameWrkUtils.h"

#include <dlfcn.h>
#include <link.h>

#include <QAnyStringView>
#include <QUtf8StringView>

namespace VtrLibrary {
namespace {
thread_local QString t_lastError;
}

void* Load(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    QString full = path;
    if (!full.contains(QLatin1Char('/')))
        full = CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + path;
    void* h = ::dlopen(full.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        t_lastError = e ? QString::fromLocal8Bit(e) : QStringLiteral("cannot load %1").arg(full);
    }
    return h;
}

void* Find(void* handle, const char* name)
{
    if (!handle || !name)
        return nullptr;
    return ::dlsym(handle, name);
}

void Free(void* handle)
{
    if (handle)
        ::dlclose(handle);
}

QString FileName(void* handle)
{
    if (!handle)
        return {};
    struct link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    return QString::fromLocal8Bit(map->l_name);
}

bool HasFileName(void* handle, QStringView path)
{
    if (!handle)
        return false;
    struct link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return path.isEmpty();
    // File names are UTF-8 here, as FileName reads them.
    return QAnyStringView::equal(QUtf8StringView(map->l_name), path);
}

QString LastError()
{
    return t_lastError;
}
} // namespace VtrLibrary
