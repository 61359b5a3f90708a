#pragma once

#include <QString>

// Opens a file for reading only when it is a regular file (links followed).
// A FIFO, device, socket or folder is refused before it is opened, since
// opening a FIFO for reading waits for a writer that may never come. Returns
// the descriptor (the caller closes it), or -1 with the reason in why.
int VtrOpenRegularFileForReading(const char* path, QString* why = nullptr);
// Whether the path names a regular file (links followed); the reason in why
// when it does not.
bool VtrIsRegularFile(const QString& path, QString* why = nullptr);
