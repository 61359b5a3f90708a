#include "VTRDataHelper.h"

#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "VtrProLog.h"
#include "VtrRegularFile.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace vtr_db {

namespace {
const char kDatabaseSection[] = "RULE_DATABASE_MODULES";
const char kShippedModule[] = "VtrSqliteDatabaseu";
// Expansion stops after this many references, so that a variable naming
// itself cannot make a value grow without end.
constexpr int kMaxExpansions = 64;

QString ShippedModulePath()
{
    return CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + QLatin1String(kShippedModule)
        + QLatin1String(VtrLibrary::kSuffix);
}

// The same file, by its target when both exist, else by its cleaned path.
bool SameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// %NAME% references replaced while the variable is defined, as the module
// lists expand them (a doubled backslash in a value becomes one).
QByteArray Expand(QByteArray value)
{
    for (int i = 0; i < kMaxExpansions; ++i) {
        const qsizetype open = value.indexOf('%');
        if (open < 0)
            break;
        const qsizetype close = value.indexOf('%', open + 1);
        if (close < 0)
            break;
        const QByteArray name = value.mid(open + 1, close - open - 1);
        if (name.isEmpty() || !qEnvironmentVariableIsSet(name.constData()))
            break;
        QByteArray replacement = qgetenv(name.constData());
        replacement.replace("\\\\", "\\");
        value = value.left(open) + replacement + value.mid(close + 1);
    }
    return value;
}

// Loads a module and takes its collector; false with the reason.
bool LoadModule(const QString& path, LoadedDatabaseModule& module, QString& why)
{
    void* library = VtrLibrary::Load(path);
    if (!library) {
        why = VtrLibrary::LastError();
        return false;
    }
    auto get = reinterpret_cast<PFN_GetDbInterface>(VtrLibrary::Find(library, "GetDbInterface"));
    IDatabaseCollector* collector = get ? get() : nullptr;
    if (!collector) {
        why = get ? QStringLiteral("it gives no collector") : QStringLiteral("it does not export GetDbInterface");
        VtrLibrary::Free(library);
        return false;
    }
    module.path = path;
    module.library = library;
    module.collector = collector;
    return true;
}
} // namespace

QStringList RegisteredDatabaseModules(const QString& configModuleIni)
{
    // Not opened unless it is a regular file: a FIFO would wait for a writer.
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(configModuleIni).constData());
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    const QByteArray text = file.readAll();
    // Read as the program's INI store reads it, not as QSettings would: a
    // comma or a backslash in a path stays as written. A disabled record
    // ("#module1=...") counts like a live one there, so it does here too.
    QHash<QByteArray, QByteArray> firstByKey;
    QByteArray section;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.front() == '#' || line.front() == ';') {
            line = line.mid(1).trimmed();
            if (line.isEmpty() || (line.front() != '[' && !line.contains('=')))
                continue; // a comment
        }
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            section = close < 0 ? line.mid(1) : line.mid(1, close - 1);
        } else if (const qsizetype eq = line.indexOf('='); eq >= 0 && section == kDatabaseSection) {
            const QByteArray key = line.left(eq);
            if (!firstByKey.contains(key))
                firstByKey.insert(key, line.mid(eq + 1));
        }
    }
    QStringList paths;
    for (int n = 1;; ++n) {
        const auto it = firstByKey.constFind("module" + QByteArray::number(n));
        if (it == firstByKey.cend())
            break;
        paths.append(QString::fromLocal8Bit(Expand(it.value())));
    }
    return paths;
}

LoadedDatabaseModule VTRDataHelper::LoadDatabaseModule()
{
    LoadedDatabaseModule module;
    QString why;
    // VTRPRO_DATABASE_MODULE names another module; set but empty, it means none.
    if (qEnvironmentVariableIsSet("VTRPRO_DATABASE_MODULE")) {
        const QString path = qEnvironmentVariable("VTRPRO_DATABASE_MODULE");
        if (!path.isEmpty())
            LoadModule(path, module, why);
        return module;
    }
    const QString shipped = ShippedModulePath();
    const QString ini = CVTRFrameWrkUtils::GetDataSettingsFolder() + QStringLiteral("ConfigModule.ini");
    for (const QString& path : RegisteredDatabaseModules(ini)) {
        if (path.isEmpty() || SameFile(path, shipped))
            continue;
        if (LoadModule(path, module, why))
            return module;
        CVtrProLog::PrintMessage(
            QStringLiteral("The database module %1 is registered but not used: %2").arg(path, why), __FILE__, __LINE__);
    }
    LoadModule(shipped, module, why);
    return module;
}

void VTRDataHelper::UnloadDatabaseModule(LoadedDatabaseModule& module)
{
    if (module.collector && module.library) {
        auto del = reinterpret_cast<PFN_DeleteDbInterface>(VtrLibrary::Find(module.library, "DeleteDbInterface"));
        if (del)
            del(module.collector);
    }
    if (module.library)
        VtrLibrary::Free(module.library);
    module = {};
}

VTRDataHelper::VTRDataHelper()
{
    LoadedDatabaseModule module = LoadDatabaseModule();
    m_library = module.library;
    m_collector = module.collector;
    m_path = module.path;
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
