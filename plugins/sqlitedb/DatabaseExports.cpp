// Exports of the database module.

#include "SqliteDatabaseCollector.h"

extern "C" {

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
