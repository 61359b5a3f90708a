#pragma once

#include <string_view>

#include <QString>

// The shared log: "VTRPro.log" in the data-settings folder.
class CVtrProLog
{
public:
    // Appends one line: time, source file and line, message.
    static void PrintMessage(const QString& message, const char* sourceFile, int line);
    // Appends many lines at once, each ended by a newline (UTF-8), all with
    // the same time and source place: one lock for the lot.
    static void PrintLines(std::string_view lines, const char* sourceFile, int line);
    // Writes buffered lines to the file.
    static void Flush();
    // Path of the log file.
    static QString LogFilePath();
};
