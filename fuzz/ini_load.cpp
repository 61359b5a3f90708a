// Feeds arbitrary bytes to the INI store as a file: Load, Save, Load again.
// The store must never crash, and one save must reach a fixed point: saving
// what was read back from a saved file writes the same bytes again.

#include "modules/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

namespace {
const std::string& ScratchFile()
{
    static QTemporaryDir dir;
    static const std::string path = QFile::encodeName(dir.filePath(QStringLiteral("fuzz.ini"))).toStdString();
    return path;
}

std::string ReadFile(const std::string& path)
{
    QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    return f.readAll().toStdString();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ScratchFile();
    {
        QFile f(QFile::decodeName(QByteArray::fromStdString(path)));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    std::vector<IniRecord> records;
    if (!CIniFile::Load(path, records))
        std::abort();
    if (!CIniFile::Save(path, records))
        std::abort();
    const std::string first = ReadFile(path);
    if (first != CIniFile::Format(records))
        std::abort();

    std::vector<IniRecord> again;
    if (!CIniFile::Load(path, again))
        std::abort();
    if (CIniFile::Format(again) != first)
        std::abort();

    // The lookups must cope with whatever the records hold.
    for (const IniRecord& r : again) {
        if (CIniFile::FindRecord(again, r.Key, r.Section) < 0)
            std::abort();
    }
    return 0;
}
