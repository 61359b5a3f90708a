#pragma once

#include <QString>

// A yes/no value as users type it (1, true, yes; 0, false, no; any case, blanks
// around ignored), normalized to "1" or "0" as rules store it. False, with
// normalized untouched, for anything else.
bool ParseYesNo(const QString& text, QString& normalized);
