// Exports of the material editors library: the material process map, the
// material properties and the thread data, each a modal editor over the
// product database.

#include "ProductTableDlg.h"

#include "VtrProLog.h"

#include <QApplication>

#define VTR_BRIDGE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// The editors are windows: a caller without a widget application (a
// command-line program) gets nothing rather than a crash.
bool HaveWidgets()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return true;
    CVtrProLog::PrintMessage(
        QStringLiteral("VTRMaterialProcessMapBridge: the editors need a window system"), __FILE__, __LINE__);
    return false;
}
} // namespace

// Materials against the processes handed over, one check box each; with
// editable false the map is shown read-only.
VTR_BRIDGE_EXPORT void LaunchMaterialProcMapGUI(void* parent, QStringList processes, bool editable)
{
    if (!HaveWidgets())
        return;
    const int name = vtr_db::ProductColumnIndex(vtr_db::ProductTable::Materials, "Name");
    const int family = vtr_db::ProductColumnIndex(vtr_db::ProductTable::Materials, "Family");
    ProductTableModel model(vtr_db::ProductTable::Materials, { name, family }, processes);
    model.SetReadOnly(!editable);
    RunProductTableEditor(model, QStringLiteral("Material Process Map"), parent);
}

VTR_BRIDGE_EXPORT void LaunchMaterialPropertyGUI(void* parent)
{
    if (!HaveWidgets())
        return;
    ProductTableModel model(
        vtr_db::ProductTable::Materials, ProductTableModel::TextColumns(vtr_db::ProductTable::Materials));
    RunProductTableEditor(model, QStringLiteral("Material Properties"), parent);
}

VTR_BRIDGE_EXPORT void LaunchThreadDataGUI(void* parent)
{
    if (!HaveWidgets())
        return;
    ProductTableModel model(
        vtr_db::ProductTable::Threads, ProductTableModel::TextColumns(vtr_db::ProductTable::Threads));
    RunProductTableEditor(model, QStringLiteral("Thread Data"), parent);
}
