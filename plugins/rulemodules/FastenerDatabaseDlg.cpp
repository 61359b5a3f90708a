// The hardware database editor of the assembly rule module: the fasteners of
// the product database in a modal table editor.

#include "ProductTableDlg.h"

#include "VtrProLog.h"

#include <QApplication>

extern "C" __attribute__((visibility("default"))) void LaunchFastenerDatabaseDlg(void* parent)
{
    // A caller without a widget application (a command-line program) gets
    // nothing rather than a crash.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        CVtrProLog::PrintMessage(QStringLiteral(VTR_RULE_MODULE_LIBRARY ": the hardware database editor needs a "
                                                                        "window system"),
            __FILE__, __LINE__);
        return;
    }
    ProductTableModel model(
        vtr_db::ProductTable::Fasteners, ProductTableModel::TextColumns(vtr_db::ProductTable::Fasteners));
    RunProductTableEditor(model, QStringLiteral("Hardware Database"), parent);
}
