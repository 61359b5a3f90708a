#pragma once

#include "ModuleLists.h"

#include <cstdint>
#include <functional>

#include <QString>
#include <QStringList>

namespace vtr_db {
class IDatabaseCollector;
}

extern "C" {
// The material editors library: the process map over the processes handed
// over (editable or shown only), the material properties, the thread data.
// Each returns when the user closes its editor; each may throw.
typedef void (*PFN_LaunchMaterialProcMapGUI)(void* parent, QStringList processes, bool editable);
typedef void (*PFN_LaunchMaterialPropertyGUI)(void* parent);
typedef void (*PFN_LaunchThreadDataGUI)(void* parent);
}

// The entries of the material editors library; null where one is missing.
struct MaterialEditorEntries
{
    PFN_LaunchMaterialProcMapGUI launchProcessMap = nullptr;
    PFN_LaunchMaterialPropertyGUI launchProperties = nullptr;
    PFN_LaunchThreadDataGUI launchThreadData = nullptr;
};

// The editor commands, for the usage event each sends.
enum class EditorCommand { HardwareDatabase, MapMaterial, MaterialProperty, ThreadData };

// The four commands that open the editors of other libraries: the hardware
// database of the assembly rule module and the three material editors. The
// commands prepare the arguments, send their usage events, call the editor
// and tell the database collector afterwards; whatever an editor throws is
// caught here, so it never reaches the window system's event loop.
class CExternalEditors
{
public:
    // What the commands need from the application.
    struct Services
    {
        // Sends a command's usage event (its value from the command table).
        std::function<void(EditorCommand command)> trackCommand;
        // The product database's collector; null when there is none.
        std::function<vtr_db::IDatabaseCollector*()> collector;
        // The assembly module among the loaded libraries, or null (never loaded here).
        std::function<void*()> assemblyModule;
        // The material editors' entries (the library is loaded on first use).
        std::function<MaterialEditorEntries()> materialEditors;
        // The program folder, without a trailing "/".
        QString programFolder;
    };

    // Base names of the libraries (without the suffix).
    static constexpr char kAssemblyModule[] = "VTRAssemblyRulesu";
    static constexpr char kMaterialEditorsLibrary[] = "VTRMaterialProcessMapBridge";

    explicit CExternalEditors(Services services);

    // Hardware Database: usage event, then the assembly module's editor when
    // that module is loaded, then the collector's release entry in any case.
    void OnHardwareDatabase(void* parent);
    // Map Material: the cost-module folder goes first on PATH, the editor
    // gets the processes, the usage event follows it; the collector's
    // release entry runs in any case.
    void OnMapMaterial(void* parent);
    // Material property: usage event, then the editor (not opened when the
    // event failed).
    void OnMaterialProperty(void* parent);
    // Thread data: the editor alone.
    void OnThreadData(void* parent);

    // The cost-module folder put on PATH before the process map opens.
    QString CostModuleFolder() const;

    // The loaded library (rule, installed or database module) whose file name
    // is baseName plus the library suffix, or null. Looks only at what is
    // loaded; loads nothing.
    static void* FindLoadedByFileName(const ModuleSet& modules, const QString& baseName);
    // Loads the material editors library from the program folder once per
    // process and returns its entries (all null when it does not load).
    static MaterialEditorEntries LoadMaterialEditors();

private:
    void ReleaseCollector();
    void PutCostModuleOnPath();

    Services m_services;
};
