#pragma once

#include <string>
#include <string_view>

#include <QString>

// The shared log: "VTRPro.log" in the data-settings folder, moved to
// "VTRPro.log.1" when it grows past a few megabytes. Copies of the program
// may write it at once: lines are appended whole, never split.
class CVtrProLog
{
public:
    // Appends one line: time, source file and line, message.
    static void PrintMessage(const QString& message, const char* sourceFile, int line);
    // What PrintMessage writes before a message now: time, source file and line.
    static std::string LinePrefix(const char* sourceFile, int line);
    // Appends lines that are complete already (each with its prefix and
    // newline, UTF-8) in one write: for many lines at once.
    static void PrintFormatted(std::string_view lines);
    // Writes buffered lines to the file.
    static void Flush();
    // Path of the log file.
    static QString LogFilePath();
};
