// The single export of the rule-creation program component. It opens the
// rule editor over the parent window and returns when the user closes it.

#include "PLQRuleConfigurator.h"
#include "UserRuleEditorDlg.h"
#include "VtrLibrary.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "userrules/UserRuleStore.h"

#include <memory>

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#define VTR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// The configurator library, held for one call (the program has it loaded
// already; this only counts one more user of it).
class ConfiguratorLibrary
{
public:
    ConfiguratorLibrary()
        : m_handle(VtrLibrary::Load(QStringLiteral("PLQRuleConfiguratoru") + QLatin1String(VtrLibrary::kSuffix)))
    { }
    ~ConfiguratorLibrary()
    {
        if (m_handle)
            VtrLibrary::Free(m_handle);
    }
    ConfiguratorLibrary(const ConfiguratorLibrary&) = delete;
    ConfiguratorLibrary& operator=(const ConfiguratorLibrary&) = delete;
    void* Handle() const { return m_handle; }

private:
    void* m_handle;
};

void Refuse(QWidget* parent, const QString& text)
{
    QMessageBox::warning(parent, QStringLiteral("VTRPro"), text);
}
} // namespace

// parent: the main window (a QWidget*) or null; name and category: the rule
// to edit, empty to create (or to edit the data's own configurator rule when
// the data's status is an edit from the rule list).
VTR_EXPORT void LaunchRuleCreationGUI(
    void* parent, const QString* name, const QString* category, CPLQRuleCreationData* data)
{
    if (!data || !data->GetConfigurator() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    auto* parentWidget = static_cast<QWidget*>(parent);
    ConfiguratorLibrary library;
    UserRuleStore store(library.Handle());
    if (!store.IsUsable()) {
        Refuse(parentWidget,
            QStringLiteral("The product-rule configurator is not available: %1").arg(VtrLibrary::LastError()));
        return;
    }

    CPLQRuleConfigurator* configurator = data->GetConfigurator();
    const RuleUnits units { data->m_nLinearUnit, data->m_nAngularUnit };
    UserRuleEditorDlg::Setup setup;
    setup.productRule = configurator->IsProductRule();
    setup.units = units;
    setup.names = data->m_ruleNameTable;

    UserRuleStore::Entry entry;
    CPLQRuleConfigurator* listed = nullptr; // the rule list's own rule, edited in place
    if (data->GetStatus() == PLQ_RULE_EDIT_FROM_LIST) {
        listed = configurator;
        setup.edited = configurator;
        setup.editedKey = store.Keys().KeyOfCategory(configurator->GetRuleCategory());
        // The list's copy may be older than what is stored (edited since by
        // the Edit command, another copy of the program or the tool): the
        // stored rule is what the editor shows and replaces.
        QString error;
        entry = store.Find(configurator->GetRuleName(), configurator->GetRuleCategory(), error);
        if (entry.rule && entry.rule->StoredVersion() != configurator->StoredVersion()) {
            setup.edited = entry.rule.get();
            setup.editedKey = entry.key;
            setup.notice = QStringLiteral("The rule was stored again since the list read it: "
                                          "shown here is the stored rule.");
        }
    } else if (data->GetStatus() == PLQ_RULE_EDIT) {
        QString error;
        entry = store.Find(name ? *name : QString(), category ? *category : QString(), error);
        if (!entry.rule) {
            Refuse(parentWidget,
                error.isEmpty() ? QStringLiteral("The rule \"%1\" (%2) is not a stored custom or product rule.")
                                      .arg(name ? *name : QString(), category ? *category : QString())
                                : error);
            return;
        }
        setup.productRule = entry.rule->IsProductRule();
        setup.edited = entry.rule.get();
        setup.editedKey = entry.key;
    }

    UserRuleEditorDlg dialog(store, setup, parentWidget);
    if (dialog.exec() != QDialog::Accepted || !dialog.StoredRule())
        return;
    // Whoever launched learns what was stored (a rename included), so that
    // its list can show it.
    // Copied, not shared: the caller keeps them after this library is unloaded.
    const QString storedName = dialog.StoredRule()->GetRuleName();
    const QString storedCategory = dialog.StoredRule()->GetRuleCategory();
    data->m_storedName = QString(storedName.constData(), storedName.size());
    data->m_storedCategory = QString(storedCategory.constData(), storedCategory.size());
    if (!listed)
        return;
    // The rule in the list takes the new settings in its document's units.
    UserRuleDrafts::TakeStored(*listed, *dialog.StoredRule());
}
