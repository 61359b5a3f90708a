// Exports of the database module.

#include "SqliteDatabaseCollector.h"

#include <QString>

extern "C" {

// The name and description the registration lists.
__attribute__((visibility("default"))) void GetModuleName(QString* name)
{
    if (name)
        *name = QStringLiteral("Product Database");
}

__attribute__((visibility("default"))) void GetModuleSummary(QString* summary)
{
    if (summary)
        *summary = QStringLiteral("The product database (SQLite): custom messages, hardware and material data.");
}

// A new collector for each caller; released with DeleteDbInterface.
__attribute__((visibility("default"))) vtr_db::IDatabaseCollector* GetDbInterface()
{
    return new SqliteDatabaseCollector();
}

__attribute__((visibility("default"))) void DeleteDbInterface(vtr_db::IDatabaseCollector* collector)
{
    delete collector;
}
}
