#pragma once

#include <QString>

// Dynamic libraries ("Name.so" where the product family on Windows
// has "Name.dll").
namespace VtrLibrary {
// The file suffix of a library.
inline constexpr char kSuffix[] = ".so";
// Loads a library by path (or by name from the program folder when the name
// has no "/"); null when it does not load.
void* Load(const QString& path);
// An exported entry, or null.
void* Find(void* handle, const char* name);
// Frees a handle.
void Free(void* handle);
// The full file name of a loaded library: the path it was loaded from.
QString FileName(void* handle);
// Whether a loaded library was loaded from path; unlike comparing FileName,
// it makes no copy, for callers that test many handles per rule.
bool HasFileName(void* handle, QStringView path);
// Why the last Load failed.
QString LastError();
} // namespace VtrLibrary
