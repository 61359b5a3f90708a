#include "modules/ModuleRegistration.h"

#include "VtrLibrary.h"
#include "VtrRegularFile.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "modules/IniFile.h"
#include "modules/ModuleContract.h"
#include "modules/ModuleLists.h"

#include <algorithm>
#include <string>

#include <QDir>
#include <QFileInfo>

namespace {
constexpr int kNotAValidModuleFile = 32835; // 'File "%s" is not a valid Rule Module.'
constexpr int kAlreadyConfigured = 556; // "Rule Module %s is already configured."
constexpr int kNotAValidModuleName = 32837; // '"%s" is not a valid module name.'
constexpr int kIsADefaultModule = 61780;
constexpr int kDefaultModuleTitle = 61781;

void ShowWithPath(int stringId, const QString& path)
{
    ShowMessage(VtrString(stringId).replace(QLatin1String("%s"), path), VtrString(StrId::AppCaption), MsgIcon::Error);
}

void AlreadyConfigured(const QString& path)
{
    ShowWithPath(kAlreadyConfigured, path);
    LogWithText(QStringLiteral("Tried to configure the module %s, which was already configured."), path);
}

// Relative paths are made absolute: the path is written to "ConfigModule.ini"
// as the library was loaded, and must name it from any working folder.
QString AbsolutePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return path;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

ModuleRegConfig ModuleRegConfig::For(ModuleKind kind)
{
    ModuleRegConfig config;
    config.kind = kind;
    if (kind == ModuleKind::Rules) {
        config.title = VtrString(32840);
        config.section = QLatin1String(ModuleSections::kRules);
        for (const QString& name : KnownModules::RegistrationDefaults())
            config.defaultPaths.append(KnownModules::PathInProgramFolder(name));
        config.requiredExports = { QLatin1String(ModuleExports::kGetAllRules), QLatin1String(ModuleExports::kGetRule),
            QLatin1String(ModuleExports::kSetXMLDoc), QLatin1String(ModuleExports::kSetDBModuleList) };
        config.helpId = 1020;
    } else {
        config.title = VtrString(32841);
        config.section = QLatin1String(ModuleSections::kDatabases);
        config.defaultPaths.append(KnownModules::PathInProgramFolder(KnownModules::DefaultDatabaseModule()));
        config.requiredExports
            = { QLatin1String(ModuleExports::kGetDbInterface), QLatin1String(ModuleExports::kDeleteDbInterface) };
        config.helpId = 1031;
    }
    return config;
}

ModuleRegistration::ModuleRegistration(
    const ModuleRegConfig& config, QStringList& configured, const PtrArray& appLoaded)
    : m_config(config)
    , m_configured(configured)
    , m_appLoaded(appLoaded)
{
    TakeApplicationHandles();
}

ModuleRegistration::~ModuleRegistration()
{
    FreeOwnLoads();
    // The default libraries were loaded only to show their names.
    for (auto it = m_defaults.rbegin(); it != m_defaults.rend(); ++it)
        VtrLibrary::Free(it->handle);
    LogLine(QStringLiteral("Rule Register Dialog Uninitialized"));
}

void ModuleRegistration::TakeApplicationHandles()
{
    m_working.clear();
    for (int32_t i = 0; i < m_appLoaded.GetSize(); ++i)
        if (void* handle = m_appLoaded.GetAt(i))
            m_working.push_back(handle);
}

void ModuleRegistration::FreeOwnLoads()
{
    for (auto it = m_ownLoads.rbegin(); it != m_ownLoads.rend(); ++it)
        VtrLibrary::Free(*it);
    m_ownLoads.clear();
}

bool ModuleRegistration::ModuleName(void* handle, QString& name)
{
    auto getName = reinterpret_cast<PFN_GetModuleName>(VtrLibrary::Find(handle, ModuleExports::kGetModuleName));
    if (!getName)
        return false;
    name = QStringLiteral("Module Name");
    getName(&name);
    return true;
}

QString ModuleRegistration::ModuleSummary(void* handle)
{
    QString summary = QStringLiteral("Module Summary");
    if (auto get = reinterpret_cast<PFN_GetModuleSummary>(VtrLibrary::Find(handle, ModuleExports::kGetModuleSummary)))
        get(&summary);
    return summary;
}

void ModuleRegistration::Open()
{
    m_rows.clear();
    for (void* handle : m_working) {
        Row row;
        row.handle = handle;
        if (ModuleName(handle, row.name))
            m_rows.push_back(row);
    }
    LogLine(QStringLiteral("Rule Register Dialog initialized"));

    // Each default library is loaded once for the life of this object.
    if (!m_defaultsLoaded) {
        m_defaultsLoaded = true;
        for (const QString& path : m_config.defaultPaths) {
            DefaultModule module;
            module.path = path;
            if (VtrIsRegularFile(path))
                module.handle = VtrLibrary::Load(path);
            if (module.handle)
                ModuleName(module.handle, module.name);
            m_defaults.push_back(module);
        }
    }
    m_unloaded.clear();
    for (const DefaultModule& module : m_defaults) {
        if (module.name.isEmpty())
            continue;
        const bool listed
            = std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const Row& r) { return r.name == module.name; });
        if (!listed)
            m_unloaded.append(module.name);
    }
    m_changed = false;
}

void ModuleRegistration::Reset()
{
    FreeOwnLoads();
    TakeApplicationHandles();
    Open();
}

void* ModuleRegistration::DefaultHandleNamed(const QString& text) const
{
    for (const DefaultModule& module : m_defaults)
        if (!module.name.isEmpty() && module.name.compare(text, Qt::CaseInsensitive) == 0)
            return module.handle;
    return nullptr;
}

bool ModuleRegistration::IsDefaultName(const QString& name) const
{
    return std::any_of(m_defaults.cbegin(), m_defaults.cend(),
        [&](const DefaultModule& m) { return !m.name.isEmpty() && m.name == name; });
}

bool ModuleRegistration::InWorking(void* handle) const
{
    return std::find(m_working.cbegin(), m_working.cend(), handle) != m_working.cend();
}

void ModuleRegistration::RemoveFromWorking(void* handle)
{
    m_working.erase(std::remove(m_working.begin(), m_working.end(), handle), m_working.end());
    m_rows.erase(
        std::remove_if(m_rows.begin(), m_rows.end(), [&](const Row& r) { return r.handle == handle; }), m_rows.end());
}

void ModuleRegistration::AppendLoaded(void* handle)
{
    m_working.push_back(handle);
    Row row;
    row.handle = handle;
    if (ModuleName(handle, row.name))
        m_rows.push_back(row);
    m_changed = true;
}

bool ModuleRegistration::AddByPath(const QString& typed, bool refuseDefaultNames)
{
    const QString path = AbsolutePath(typed);
    // Only a regular file: loading a FIFO would wait for a writer.
    if (!path.contains(QLatin1String(VtrLibrary::kSuffix)) || !VtrIsRegularFile(path)) {
        ShowWithPath(kNotAValidModuleFile, path);
        return false;
    }
    for (void* handle : m_working) {
        if (VtrLibrary::HasFileName(handle, path)) {
            AlreadyConfigured(path);
            return false;
        }
    }

    void* handle = VtrLibrary::Load(path);
    bool valid = handle != nullptr;
    for (const QString& name : m_config.requiredExports)
        valid = valid && VtrLibrary::Find(handle, name.toLatin1().constData()) != nullptr;
    if (!valid) {
        ShowWithPath(kNotAValidModuleName, path);
        LogWithText(QStringLiteral("Tried to configure invalid module %s"), path);
        VtrLibrary::Free(handle);
        return false;
    }
    // Another name of a library already in the list (a link, say) gives its handle.
    if (InWorking(handle)) {
        VtrLibrary::Free(handle);
        AlreadyConfigured(path);
        return false;
    }

    QString name;
    if (refuseDefaultNames && ModuleName(handle, name) && IsDefaultName(name)) {
        const bool listed = std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const Row& r) { return r.name == name; });
        VtrLibrary::Free(handle);
        if (!listed)
            ShowMessage(name + VtrString(kIsADefaultModule), VtrString(kDefaultModuleTitle), MsgIcon::Information);
        else
            AlreadyConfigured(path);
        return false;
    }

    m_ownLoads.push_back(handle);
    AppendLoaded(handle);
    LogWithText(QStringLiteral("Configured new module :: %s"), path);
    return true;
}

bool ModuleRegistration::LoadUnloadedRow(int row)
{
    if (row < 0 || row >= m_unloaded.size())
        return false;
    const QString text = m_unloaded[row];
    for (const DefaultModule& module : m_defaults) {
        if (!module.handle)
            continue;
        if (module.name.isEmpty())
            break; // a default library without a name ends the search
        if (module.name.compare(text, Qt::CaseInsensitive) != 0)
            continue;
        if (!AddByPath(module.path, false))
            return false;
        m_unloaded.removeAt(row);
        return true;
    }
    return false;
}

void ModuleRegistration::LoadAllDefaults()
{
    const std::vector<Row> rows = m_rows;
    for (const Row& row : rows)
        if (IsDefaultName(row.name))
            RemoveFromWorking(row.handle);
    for (const DefaultModule& module : m_defaults)
        if (module.handle)
            AddByPath(module.path, false);
    m_unloaded.clear();
    m_changed = true;
}

void ModuleRegistration::UnloadRow(int row)
{
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    Unload(m_rows[static_cast<size_t>(row)].handle);
}

void ModuleRegistration::Unload(void* handle)
{
    if (!InWorking(handle))
        return;
    QString name;
    const bool named = ModuleName(handle, name);
    RemoveFromWorking(handle);
    // The library stays loaded until this object goes: the caller may still show it.
    if (named && IsDefaultName(name) && !m_unloaded.contains(name))
        m_unloaded.append(name);
    m_changed = true;
}

void ModuleRegistration::UnloadAll()
{
    const std::vector<Row> rows = m_rows;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        Unload(it->handle);
}

bool ModuleRegistration::Save()
{
    const std::string file = GetConfigModuleIniPath().toLocal8Bit().toStdString();
    const std::string section = m_config.section.toLocal8Bit().toStdString();
    // One read and one write: the records of the other sections stay as they were.
    std::vector<IniRecord> records;
    if (!CIniFile::Load(file, records) && QFileInfo::exists(QString::fromLocal8Bit(file.c_str()))) {
        // Writing now would lose every other section of a file that is there.
        LogWithText(
            QStringLiteral("%s could not be read; the module list is not saved"), QString::fromLocal8Bit(file.c_str()));
        return false;
    }
    records.erase(
        std::remove_if(records.begin(), records.end(), [&](const IniRecord& r) { return r.Section == section; }),
        records.end());
    IniRecord header;
    header.Section = section;
    records.push_back(header);
    QStringList paths;
    int n = 0;
    for (void* handle : m_working) {
        const QString path = VtrLibrary::FileName(handle);
        IniRecord key;
        key.Section = section;
        key.Key = "module" + std::to_string(++n);
        key.Value = path.toLocal8Bit().toStdString();
        records.push_back(std::move(key));
        paths.append(path);
    }
    // The configured list follows only a list that is on disk.
    const bool saved = CIniFile::Save(file, records);
    if (saved)
        m_configured = paths;
    return saved;
}
