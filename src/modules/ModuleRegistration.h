#pragma once

#include "PtrArray.h"

#include <vector>

#include <QString>
#include <QStringList>

// Which modules a registration works on.
enum class ModuleKind { Rules, Databases };

// What differs between the rule-module and the database-module registration.
struct ModuleRegConfig
{
    ModuleKind kind = ModuleKind::Rules;
    QString title; // string 32840 or 32841
    QString section; // the section of "ConfigModule.ini" it rewrites
    QStringList defaultPaths; // program folder + known library name, in the dialog's order
    QStringList requiredExports; // a library lacking one is refused
    int helpId = 0; // 1020 or 1031

    // The configuration of one kind.
    static ModuleRegConfig For(ModuleKind kind);
};

// The registration of rule or database modules without windows: the list of
// modules to load (a working copy of the application's loaded handles), the
// default modules that are not in it, the checks a library passes before it
// is added, and the saving into "ConfigModule.ini". The dialog and the
// command-line tool drive it:
//
//     ModuleRegistration reg(ModuleRegConfig::For(ModuleKind::Rules),
//                            modules.configuredRuleModules, modules.loadedRuleModules);
//     reg.Open();
//     if (reg.AddByPath(path, true) && reg.OkEnabled())
//         reg.Save();
//
// Every library it loads itself is freed when it is reset or destroyed
// (dlopen counts references, so the application's own handles stay loaded):
// destroy it only after the application has reloaded its modules.
class ModuleRegistration
{
public:
    // One row of the loaded list: the library and the name it reports.
    struct Row
    {
        void* handle = nullptr;
        QString name;
    };

    // configured and appLoaded are the application's lists of this kind; the
    // working copy of appLoaded is taken here and configured is replaced by Save.
    ModuleRegistration(const ModuleRegConfig& config, QStringList& configured, const PtrArray& appLoaded);
    ~ModuleRegistration();
    ModuleRegistration(const ModuleRegistration&) = delete;
    ModuleRegistration& operator=(const ModuleRegistration&) = delete;

    const ModuleRegConfig& Config() const { return m_config; }

    // Fills both lists from the working copy and the default modules.
    void Open();
    // Frees what was loaded here, takes the application's handles again and opens again.
    void Reset();

    // The modules to load that report a name, in order.
    const std::vector<Row>& LoadedRows() const { return m_rows; }
    // Names of default modules that are not in the loaded list.
    const QStringList& UnloadedRows() const { return m_unloaded; }
    // Every handle to load, in order (also those that report no name).
    const std::vector<void*>& Working() const { return m_working; }

    // The default library whose name is text (case ignored), or null.
    void* DefaultHandleNamed(const QString& text) const;

    // Adds a library after the checks (a ".so" file that exists, not already
    // in the list, loads and has every required export; with
    // refuseDefaultNames, not carrying a default module's name). A refusal
    // shows its message and logs; false then and the lists are unchanged.
    bool AddByPath(const QString& path, bool refuseDefaultNames);
    // "<": adds the default module of an unloaded row and removes the row.
    bool LoadUnloadedRow(int row);
    // "<<": every default module, after the default modules already listed.
    void LoadAllDefaults();
    // ">": removes a loaded row; a default module goes back to the unloaded list.
    void UnloadRow(int row);
    // The same for a handle, with or without a row.
    void Unload(void* handle);
    // ">>": every loaded module.
    void UnloadAll();

    // Whether anything changed since Open or Reset.
    bool Changed() const { return m_changed; }
    // OK needs a change and at least one module to load.
    bool OkEnabled() const { return m_changed && !m_working.empty(); }
    bool ResetEnabled() const { return m_changed; }

    // Rewrites the section with the working list ("module1" upward, the paths
    // the libraries were loaded from) and replaces the configured list. False
    // when the file could not be written, or is there but cannot be read
    // (it is then left as it is); the configured list then stays as it was.
    bool Save();

    // What a module reports: GetModuleName (pre-set "Module Name"), or empty
    // without that export; GetModuleSummary (pre-set "Module Summary").
    static bool ModuleName(void* handle, QString& name);
    static QString ModuleSummary(void* handle);

private:
    struct DefaultModule
    {
        QString path;
        void* handle = nullptr;
        QString name; // empty when it did not load or reports no name
    };
    void TakeApplicationHandles();
    void FreeOwnLoads();
    bool IsDefaultName(const QString& name) const;
    bool InWorking(void* handle) const;
    void RemoveFromWorking(void* handle);
    void AppendLoaded(void* handle);

    ModuleRegConfig m_config;
    QStringList& m_configured;
    const PtrArray& m_appLoaded;
    std::vector<void*> m_working;
    std::vector<Row> m_rows;
    QStringList m_unloaded;
    std::vector<DefaultModule> m_defaults;
    bool m_defaultsLoaded = false;
    // One entry per Load this object made and kept; each is freed once.
    std::vector<void*> m_ownLoads;
    bool m_changed = false;
};
