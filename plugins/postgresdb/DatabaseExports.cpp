// Exports of the PostgreSQL database module.

#include "PostgresDatabaseCollector.h"

#include <QString>

extern "C" {

// The name and description the registration lists.
__attribute__((visibility("default"))) void GetModuleName(QString* name)
{
    if (name)
        *name = QStringLiteral("Product Database (PostgreSQL)");
}

__attribute__((visibility("default"))) void GetModuleSummary(QString* summary)
{
    if (summary)
        *summary = QStringLiteral("The shop's product database on a PostgreSQL server: custom messages, "
                                  "stored rules, hardware and material data, shared by every seat.");
}

// A new collector for each caller; released with DeleteDbInterface.
__attribute__((visibility("default"))) vtr_db::IDatabaseCollector* GetDbInterface()
{
    return new PostgresDatabaseCollector();
}

__attribute__((visibility("default"))) void DeleteDbInterface(vtr_db::IDatabaseCollector* collector)
{
    delete collector;
}
}
