#pragma once

#include <QString>

// The one way the program opens a file or a web address with the desktop's
// default handler: a sheet after export, the import log, a link.

// The program that opens them: VTRPRO_FILE_OPENER when set (tests set
// "true"), else xdg-open.
QString FileOpenerProgram();

// Starts the opener on target without waiting for it. A target that names a
// file (an absolute path, or a relative one that exists) must exist and is
// handed over as an absolute path; anything else as a web address.
// False, with the reason in why, when the file is missing or the opener
// cannot be started.
bool OpenWithFileOpener(const QString& target, QString* why = nullptr);

// OpenWithFileOpener, and a failure is said through the message interface,
// naming the target so that the user can open it another way.
bool OpenWithFileOpenerOrSay(const QString& target);
