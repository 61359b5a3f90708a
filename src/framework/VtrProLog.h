#pragma once

#include <QString>

// The shared log: "VTRPro.log" in the data-settings folder.
class CVtrProLog
{
public:
    // Appends one line: time, source file and line, message.
    static void PrintMessage(const QString& message, const char* sourceFile, int line);
    // Writes buffered lines to the file.
    static void Flush();
    // Path of the log file.
    static QString LogFilePath();
};
