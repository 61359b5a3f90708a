#pragma once

#include "ProductData.h"

#include <QList>

namespace vtr_db {

// The starting set of a new database's product tables: common fasteners, ISO
// metric and unified threads, and engineering materials with their
// properties and processes. Values in the table's column order; ids 0.
// Seeding keeps rows the user already has (a material or thread of the same
// name) as they are.
QList<ProductRow> SeedRows(ProductTable table);

} // namespace vtr_db
