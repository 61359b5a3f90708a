#pragma once

#include "ProductData.h"

#include <cstdint>

#include <QString>

// How both database modules write their change log, so that a log copied
// from one to the other reads the same.
namespace vtr_db {

// The user the program runs as (the name "Createdby" carries) and this host.
QString ChangeUser();
QString ChangeHost();
// Now, in UTC, as the log keeps times ("2026-12-11T10:15:02Z").
QString ChangeTime();
// Turns a date or time the user gave ("2026-12-01", "2026-12-01 14:00",
// ISO 8601 with or without a zone; local time when it names none) into
// the log's form; empty when it is not one.
QString ChangeTimeFrom(const QString& text);

// The logged key of a custom message: "<help id> <category>/<rule name>".
QString MessageChangeKey(int32_t helpId, const QString& ruleName, const QString& category);
// The logged key of a stored rule: "<key> <category>/<rule name>".
QString RuleChangeKey(const QString& key, const QString& ruleName, const QString& category);
// The logged key of a product row: "<table> <id>".
QString ProductChangeKey(ProductTable table, int64_t id);
// A product row as logged and as shown to whoever meets it changed:
// "Label: value; ..." of every column with a value.
QString ProductRowText(ProductTable table, const ProductRow& row);

} // namespace vtr_db
