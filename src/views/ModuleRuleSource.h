#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class CVtrRule;

// Where the rule list gets module rules from. The application's source reads
// the loaded libraries of AppContext; tests give their own.
class IModuleRuleSource
{
public:
    virtual ~IModuleRuleSource() = default;
    // Whether at least one database module is loaded.
    virtual bool DatabaseLoaded() const = 0;
    // Full paths of the loaded rule modules, in load order.
    virtual QStringList RuleModulePaths() const = 0;
    // Full paths of the loaded installed modules, in load order.
    virtual QStringList InstalledModulePaths() const = 0;
    // The configured rule-module paths.
    virtual QStringList ConfiguredModules() const = 0;
    // Full paths of the loaded libraries whose rules are available: rule and
    // database modules and the configurator (not the installed modules).
    virtual QStringList LoadedLibraryPaths() const = 0;
    // Appends every rule of a loaded module (GetAllRules); false when the
    // module has no such export. moduleName is what GetModuleName reports,
    // or the library's file name.
    virtual bool LoadRules(const QString& libraryPath, QList<CVtrRule*>& rules, QString& moduleName) = 0;
    // Full path of the product-rule configurator, or empty when not loaded.
    virtual QString ConfiguratorPath() const = 0;
    // The configurator's product rules under a key (GetModuleRules).
    virtual QList<CVtrRule*> ProductRules(const QString& key) = 0;
    // Whether scripted ("VSTA Rule") rules are supported.
    virtual bool VstaRulesSupported() const = 0;
    // The custom message of a rule (empty without a database collector).
    virtual QString CustomMessage(const CVtrRule* rule) const = 0;
    // Called once after the rows were inserted.
    virtual void OnRulesListed() { }
};

// The source over AppContext's loaded libraries.
class AppModuleRuleSource : public IModuleRuleSource
{
public:
    bool DatabaseLoaded() const override;
    QStringList RuleModulePaths() const override;
    QStringList InstalledModulePaths() const override;
    QStringList ConfiguredModules() const override;
    QStringList LoadedLibraryPaths() const override;
    bool LoadRules(const QString& libraryPath, QList<CVtrRule*>& rules, QString& moduleName) override;
    QString ConfiguratorPath() const override;
    QList<CVtrRule*> ProductRules(const QString& key) override;
    bool VstaRulesSupported() const override;
    QString CustomMessage(const CVtrRule* rule) const override;
    void OnRulesListed() override;

private:
    void* HandleOf(const QString& libraryPath) const;
};

// The configurator key of a module library's file name ("VtrMillRulesu.so"
// gives "Mill"); empty for any other module. Case is ignored.
QString ConfiguratorKeyOfModule(const QString& libraryFileName);
// The module library file name a configurator rule's category needs
// ("Milling" gives "VtrMillRulesu.so"); empty for other categories.
QString ModuleFileOfCategory(const QString& category);
