#include "modules/ModuleLists.h"

#include "FrameworkExports.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "VtrRule.h"
#include "modules/IniFile.h"
#include "modules/ModuleContract.h"

#include <initializer_list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace KnownModules {
namespace {
constexpr const char* kInstalled[] = {
    "VtrMillRulesu",
    "VtrTurnRulesu",
    "VtrSMRulesu",
    "VTRIMRulesu",
    "VTRAssemblyRulesu",
    "VtrGenericRulesu",
    "VtrToleranceRulesu",
    "VTRDieCastRulesu",
    "VTRCastingRulesu",
    "VtrRPRulesu",
    "VTRWeldRulesu",
    "VTRTubingRulesu",
    "VTRSandCastingRulesu",
    "VTRInvestmentCastRulesu",
    "VTRCompositeRulesu",
    "VTRThermoformingRulesu",
    "VTRCablingRulesu",
    "VTRVacInfusionRulesu",
    "VTRManualCheckRulesu",
    "VTRForgingRulesu",
    "VTRFormRulesu",
};

// Welding, thermoforming, forging, vacuum infusion and cabling are installed
// but not configured by default.
constexpr const char* kDefaults[] = {
    "VtrMillRulesu",
    "VtrGenericRulesu",
    "VtrTurnRulesu",
    "VTRAssemblyRulesu",
    "VtrSMRulesu",
    "VTRIMRulesu",
    "VTRCastingRulesu",
    "VTRDieCastRulesu",
    "VtrRPRulesu",
    "VTRSandCastingRulesu",
    "VTRTubingRulesu",
    "VTRInvestmentCastRulesu",
    "VtrToleranceRulesu",
    "VTRCompositeRulesu",
    "VTRFormRulesu",
    "VTRManualCheckRulesu",
};

// The registration lists the same sixteen in an order of its own.
constexpr const char* kRegistrationDefaults[] = {
    "VtrMillRulesu",
    "VtrGenericRulesu",
    "VtrTurnRulesu",
    "VTRAssemblyRulesu",
    "VtrRPRulesu",
    "VTRCastingRulesu",
    "VtrSMRulesu",
    "VTRIMRulesu",
    "VTRDieCastRulesu",
    "VTRTubingRulesu",
    "VTRSandCastingRulesu",
    "VTRInvestmentCastRulesu",
    "VTRCompositeRulesu",
    "VTRFormRulesu",
    "VtrToleranceRulesu",
    "VTRManualCheckRulesu",
};

constexpr char kDatabase[] = "VtrSqliteDatabaseu";
constexpr char kConfigurator[] = "PLQRuleConfiguratoru";

template <size_t N> QStringList ToList(const char* const (&names)[N])
{
    QStringList list;
    list.reserve(static_cast<qsizetype>(N));
    for (const char* n : names)
        list.append(QLatin1String(n));
    return list;
}
} // namespace

const QStringList& InstalledOrder()
{
    static const QStringList list = ToList(kInstalled);
    return list;
}

const QStringList& DefaultRuleModules()
{
    static const QStringList list = ToList(kDefaults);
    return list;
}

const QStringList& RegistrationDefaults()
{
    static const QStringList list = ToList(kRegistrationDefaults);
    return list;
}

QString DefaultDatabaseModule()
{
    return QLatin1String(kDatabase);
}

QString Configurator()
{
    return QLatin1String(kConfigurator);
}

QString Canonical(const QString& baseName)
{
    static const QHash<QString, QString> byLowerCase = [] {
        QHash<QString, QString> h;
        for (const QString& n : InstalledOrder())
            h.insert(n.toLower(), n);
        h.insert(QString::fromLatin1(kDatabase).toLower(), QLatin1String(kDatabase));
        h.insert(QString::fromLatin1(kConfigurator).toLower(), QLatin1String(kConfigurator));
        return h;
    }();
    return byLowerCase.value(baseName.toLower());
}

QString PathInProgramFolder(const QString& baseName)
{
    return CVTRFrameWrkUtils::GetProgramFolder() + QLatin1Char('/') + baseName + QLatin1String(VtrLibrary::kSuffix);
}
} // namespace KnownModules

namespace {
constexpr int32_t kPathBufferChars = 260;
// A folder path that keeps growing between two calls is not believed forever.
constexpr int kPathAttempts = 4;
// Expansion stops after this many references, so a variable that refers to
// itself cannot make the value grow without end.
constexpr int kMaxExpansions = 64;

std::string Narrow(const QString& s)
{
    return s.toLocal8Bit().toStdString();
}

QString Wide(const std::string& s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string ModuleKey(int n)
{
    return "module" + std::to_string(n);
}

// Expands %NAME% references while the value holds a "%" and the variable is
// defined; doubled backslashes in a variable's value become single ones.
std::string ExpandEnvironment(std::string value)
{
    for (int i = 0; i < kMaxExpansions; ++i) {
        const size_t open = value.find('%');
        if (open == std::string::npos)
            break;
        const size_t close = value.find('%', open + 1);
        if (close == std::string::npos)
            break; // no name ends here: nothing to look up
        const std::string name = value.substr(open + 1, close - open - 1);
        if (name.empty() || !qEnvironmentVariableIsSet(name.c_str()))
            break;
        std::string replacement = qgetenv(name.c_str()).toStdString();
        for (size_t pos = replacement.find("\\\\"); pos != std::string::npos; pos = replacement.find("\\\\", pos + 1))
            replacement.erase(pos, 1);
        value = value.substr(0, open) + replacement + value.substr(close + 1);
    }
    return value;
}

// The values of "module1", "module2", ... up to the first missing key, read
// from records already in memory through one index (a file of n keys costs
// O(n), not a file read per key).
QStringList ReadModuleKeys(const std::vector<IniRecord>& records, const std::string& section, bool expand)
{
    std::unordered_map<std::string, const IniRecord*> firstByKey;
    for (const IniRecord& r : records)
        if (r.Section == section && !r.Key.empty())
            firstByKey.try_emplace(r.Key, &r);
    QStringList paths;
    for (int n = 1;; ++n) {
        const auto it = firstByKey.find(ModuleKey(n));
        if (it == firstByKey.end())
            break;
        paths.append(Wide(expand ? ExpandEnvironment(it->second->Value) : it->second->Value));
    }
    return paths;
}

void CallSetDBModuleList(void* handle, const QStringList& databases)
{
    auto setList = reinterpret_cast<PFN_SetDBModuleList>(VtrLibrary::Find(handle, ModuleExports::kSetDBModuleList));
    if (setList)
        setList(&databases);
}
} // namespace

QString GetConfigModuleIniPath()
{
    std::vector<char16_t> buffer(static_cast<size_t>(kPathBufferChars));
    int32_t capacity = kPathBufferChars;
    int32_t length = GetDataSettingsFolderPath(buffer.data(), &capacity);
    // The path and its terminator must both fit; otherwise ask again with room for them.
    for (int attempt = 1; length >= capacity && attempt < kPathAttempts; ++attempt) {
        capacity = length + 1;
        buffer.assign(static_cast<size_t>(capacity), u'\0');
        length = GetDataSettingsFolderPath(buffer.data(), &capacity);
    }
    if (length < 0 || length >= capacity)
        return {};
    const QString folder = QString::fromUtf16(buffer.data(), length);
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("ConfigModule.ini");
}

void LoadModuleList(const QString& section, QStringList& configured, QStringList& installed)
{
    const std::string file = Narrow(GetConfigModuleIniPath());
    const std::string sectionName = Narrow(section);
    configured.clear();
    if (!CIniFile::CanOpen(file)) {
        // On a first start the data-settings folder itself may not exist yet.
        const QString folder = QFileInfo(QFile::decodeName(QByteArray::fromStdString(file))).absolutePath();
        if (!file.empty() && !QFileInfo::exists(folder))
            QDir().mkpath(folder);
        CIniFile::Create(file);
    }

    std::vector<IniRecord> records;
    CIniFile::Load(file, records);
    configured = ReadModuleKeys(records, sectionName, true);

    installed.clear();
    for (const QString& name : KnownModules::InstalledOrder())
        installed.append(KnownModules::PathInProgramFolder(name));

    if (!configured.isEmpty())
        return;
    if (section == QLatin1String(ModuleSections::kRules)) {
        // One read and one write for the header and the sixteen keys. The list
        // is read back from what was written even if the write failed, so an
        // unwritable folder still gives the default modules.
        IniRecord header;
        header.Section = sectionName;
        records.push_back(header);
        int n = 0;
        for (const QString& name : KnownModules::DefaultRuleModules()) {
            IniRecord key;
            key.Section = sectionName;
            key.Key = ModuleKey(++n);
            key.Value = Narrow(KnownModules::PathInProgramFolder(name));
            records.push_back(std::move(key));
        }
        CIniFile::Save(file, records);
        configured = ReadModuleKeys(records, sectionName, false);
    } else if (section == QLatin1String(ModuleSections::kDatabases)) {
        const QString path = KnownModules::PathInProgramFolder(KnownModules::DefaultDatabaseModule());
        IniRecord header;
        header.Section = sectionName;
        records.push_back(header);
        IniRecord key;
        key.Section = sectionName;
        key.Key = ModuleKey(1);
        key.Value = Narrow(path);
        records.push_back(std::move(key));
        CIniFile::Save(file, records);
        configured.append(path);
    }
}

void SyncLoadedModules(PtrArray& loaded, PtrArray& dropped, const QStringList& configured)
{
    const QSet<QString> wanted(configured.cbegin(), configured.cend());
    QSet<QString> present;
    std::vector<bool> drop(static_cast<size_t>(loaded.GetSize()), false);
    for (int32_t i = loaded.GetSize() - 1; i >= 0; --i) {
        void* handle = loaded.GetAt(i);
        if (!handle)
            continue;
        const QString name = VtrLibrary::FileName(handle);
        if (name.isEmpty())
            continue;
        if (wanted.contains(name)) {
            present.insert(name);
        } else {
            dropped.Add(handle);
            drop[static_cast<size_t>(i)] = true;
        }
    }
    // Compact once instead of shifting the array for every removal.
    int32_t out = 0;
    for (int32_t i = 0; i < loaded.GetSize(); ++i)
        if (!drop[static_cast<size_t>(i)])
            loaded.SetAt(out++, loaded.GetAt(i));
    while (loaded.GetSize() > out)
        loaded.RemoveAt(loaded.GetSize() - 1);

    for (const QString& path : configured) {
        if (present.contains(path))
            continue;
        // Noted even when it fails, so a path listed twice is tried once.
        present.insert(path);
        if (void* handle = VtrLibrary::Load(path))
            loaded.Add(handle);
        // A library that does not load is skipped without a message.
    }
}

void FreeHandlesLastToFirst(PtrArray& handles)
{
    for (int32_t i = handles.GetSize() - 1; i >= 0; --i)
        VtrLibrary::Free(handles.GetAt(i));
    handles.RemoveAll();
}

void SendDatabaseModuleList(ModuleSet& modules)
{
    for (int32_t i = 0; i < modules.loadedRuleModules.GetSize(); ++i)
        CallSetDBModuleList(modules.loadedRuleModules.GetAt(i), modules.configuredDbModules);
}

void LoadAllModules(ModuleSet& modules)
{
    // The configurator is optional; nothing is reported when it is missing.
    if (!modules.configuratorLibrary) {
        const QString configurator = KnownModules::PathInProgramFolder(KnownModules::Configurator());
        if (QFileInfo::exists(configurator))
            modules.configuratorLibrary = VtrLibrary::Load(configurator);
    }

    LoadModuleList(QLatin1String(ModuleSections::kRules), modules.configuredRuleModules, modules.installedRuleModules);
    LoadModuleList(QLatin1String(ModuleSections::kDatabases), modules.configuredDbModules, modules.installedDbModules);

    PtrArray droppedRules;
    SyncLoadedModules(modules.loadedRuleModules, droppedRules, modules.configuredRuleModules);

    // Load the new installed set before the old handles go, so a library that
    // stays installed is never unloaded in between.
    PtrArray previousInstalled = modules.loadedInstalledModules;
    modules.loadedInstalledModules.RemoveAll();
    for (const QString& path : modules.installedRuleModules) {
        if (!QFileInfo::exists(path))
            continue;
        if (void* handle = VtrLibrary::Load(path))
            modules.loadedInstalledModules.Add(handle);
    }
    FreeHandlesLastToFirst(previousInstalled);
    FreeHandlesLastToFirst(droppedRules);

    PtrArray droppedDatabases;
    SyncLoadedModules(modules.loadedDbModules, droppedDatabases, modules.configuredDbModules);
    FreeHandlesLastToFirst(droppedDatabases);

    SendDatabaseModuleList(modules);
}

void ReloadRuleModules(ModuleSet& modules, PtrArray& dropped)
{
    SyncLoadedModules(modules.loadedRuleModules, dropped, modules.configuredRuleModules);
    SendDatabaseModuleList(modules);
}

void ReloadDatabaseModules(ModuleSet& modules)
{
    PtrArray dropped;
    SyncLoadedModules(modules.loadedDbModules, dropped, modules.configuredDbModules);
    SendDatabaseModuleList(modules);
    FreeHandlesLastToFirst(dropped);
}

void UnloadAllModules(ModuleSet& modules)
{
    FreeHandlesLastToFirst(modules.loadedDbModules);
    FreeHandlesLastToFirst(modules.loadedInstalledModules);
    FreeHandlesLastToFirst(modules.loadedRuleModules);
    if (modules.configuratorLibrary) {
        VtrLibrary::Free(modules.configuratorLibrary);
        modules.configuratorLibrary = nullptr;
    }
}

QString ModuleDisplayName(void* handle)
{
    if (!handle)
        return {};
    auto getName = reinterpret_cast<PFN_GetModuleName>(VtrLibrary::Find(handle, ModuleExports::kGetModuleName));
    if (getName) {
        QString name = QStringLiteral("Module Name");
        getName(&name);
        return name;
    }
    return QFileInfo(VtrLibrary::FileName(handle)).fileName();
}

void* LoadedLibraryAt(const ModuleSet& modules, const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    const std::initializer_list<const PtrArray*> lists = { &modules.loadedRuleModules, &modules.loadedInstalledModules,
        &modules.loadedDbModules, &modules.releasingModules };
    // Rules are released and looked up by the thousand, mostly of one module
    // after another: the last answer is tried first. It still has to be in
    // a list and still be that file, which one lookup of its name tells,
    // where a scan asks every library before it.
    // Never destroyed: rules may still be released while statics go.
    struct Last
    {
        std::mutex mutex;
        QString path;
        void* handle = nullptr;
    };
    static Last* const last = new Last;
    const std::lock_guard<std::mutex> lock(last->mutex);
    QString& lastPath = last->path;
    void*& lastHandle = last->handle;
    const auto listed = [&](void* handle) {
        for (const PtrArray* list : lists)
            for (int32_t i = 0; i < list->GetSize(); ++i)
                if (list->GetAt(i) == handle)
                    return true;
        return false;
    };
    // The loader keeps one handle per file, so no other handle has that name.
    if (lastHandle && path == lastPath && listed(lastHandle) && VtrLibrary::HasFileName(lastHandle, path))
        return lastHandle;
    for (const PtrArray* list : lists)
        for (int32_t i = 0; i < list->GetSize(); ++i)
            if (void* handle = list->GetAt(i); handle && VtrLibrary::HasFileName(handle, path)) {
                lastPath = path;
                lastHandle = handle;
                return handle;
            }
    if (modules.configuratorLibrary && VtrLibrary::HasFileName(modules.configuratorLibrary, path))
        return modules.configuratorLibrary;
    return nullptr;
}

void StampModuleRule(CVtrRule* rule, const QString& libraryPath, const QString& moduleName)
{
    constexpr int32_t kUserDefinedCategory = 22;
    rule->SetModulePath(libraryPath);
    if (rule->GetRuleModuleName().isEmpty() && rule->GetRuleCategoryEnum() != kUserDefinedCategory)
        rule->SetRuleModuleName(moduleName);
}

bool FetchAllRules(void* handle, QList<CVtrRule*>& rules)
{
    auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(handle, ModuleExports::kGetAllRules));
    if (!getAll)
        return false;
    PtrArray list;
    getAll(&list);
    rules.reserve(rules.size() + list.GetSize());
    for (int32_t i = 0; i < list.GetSize(); ++i)
        if (auto* rule = static_cast<CVtrRule*>(list.GetAt(i)))
            rules.append(rule);
    return true;
}
