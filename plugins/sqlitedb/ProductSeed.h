#pragma once

struct sqlite3;

// Fills the product tables of a new schema with a starting set of common
// fasteners, ISO metric and unified threads, and engineering materials with
// their properties and processes. Rows the user already has (a material or
// thread of the same name) are kept as they are. Runs inside the caller's
// transaction; false when a statement fails.
bool SeedProductData(sqlite3* db);
