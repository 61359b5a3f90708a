#include "modules/IniFile.h"

#include "VtrRegularFile.h"

#include <string_view>
#include <unordered_map>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
constexpr std::string_view kBlanks = " \t\r\n";

QString FileName(const std::string& file)
{
    return QFile::decodeName(QByteArray::fromStdString(file));
}

std::string_view Trim(std::string_view s)
{
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool ReadAll(const std::string& file, std::string& text)
{
    const QString name = FileName(file);
    if (name.isEmpty())
        return false;
    // A FIFO or device is refused before it is opened: reading one could wait
    // for ever and hang start-up.
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(name).constData());
    if (fd < 0)
        return false;
    QFile f;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    text = data.toStdString();
    return true;
}

// Loads, lets change() edit the records and saves when it asks to.
template <typename Change> bool Modify(const std::string& file, Change change)
{
    std::vector<IniRecord> records;
    if (!CIniFile::Load(file, records))
        return false;
    if (!change(records))
        return false;
    return CIniFile::Save(file, records);
}

IniRecord KeyRecord(const std::string& key, const std::string& value, const std::string& section)
{
    IniRecord r;
    r.Section = section;
    r.Key = key;
    r.Value = value;
    return r;
}

IniRecord HeaderRecord(const std::string& section)
{
    IniRecord r;
    r.Section = section;
    return r;
}
} // namespace

CIniFile::~CIniFile() = default;

void CIniFile::Parse(const std::string& text, std::vector<IniRecord>& records)
{
    records.clear();
    std::string pending;
    std::string current;
    const std::string_view all(text);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size(); // a last line without a line break is read like any other
        std::string_view line = Trim(all.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;

        IniRecord r;
        if (line.front() == '#' || line.front() == ';') {
            const std::string_view rest = Trim(line.substr(1));
            // Only a line that would be a header or a key is a disabled record;
            // anything else after the mark is a comment.
            const bool header = !rest.empty() && rest.front() == '[';
            if (!header && rest.find('=') == std::string_view::npos) {
                pending.append(line);
                pending.push_back('\n');
                continue;
            }
            r.Commented = line.front();
            line = rest;
        }

        if (line.front() == '[') {
            // A header without "]" takes the rest of the line as its name.
            std::string_view name = line.substr(1);
            const size_t close = name.find(']');
            if (close != std::string_view::npos)
                name = name.substr(0, close);
            r.Comments.swap(pending);
            r.Section.assign(name);
            current = r.Section;
        } else if (const size_t eq = line.find('='); eq != std::string_view::npos) {
            r.Comments.swap(pending);
            r.Section = current;
            r.Key.assign(line.substr(0, eq));
            r.Value.assign(line.substr(eq + 1));
        }
        // A line that is neither header nor key becomes a header record of the
        // empty section, unless comments wait for a record of their own.
        if (pending.empty())
            records.push_back(std::move(r));
    }
    // Comments after the last record belong to nothing and are dropped.
}

bool CIniFile::Load(const std::string& file, std::vector<IniRecord>& records)
{
    std::string text;
    if (!ReadAll(file, text))
        return false;
    Parse(text, records);
    return true;
}

std::string CIniFile::Format(const std::vector<IniRecord>& records)
{
    // Regroup in one pass: section names in order of first occurrence, and
    // for each name the positions of its records in their current order.
    std::vector<std::vector<size_t>> groups;
    std::unordered_map<std::string_view, size_t> groupOf;
    groupOf.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        auto [it, added] = groupOf.try_emplace(records[i].Section, groups.size());
        if (added)
            groups.emplace_back();
        groups[it->second].push_back(i);
    }

    std::string out;
    for (const std::vector<size_t>& group : groups) {
        for (size_t i : group) {
            const IniRecord& r = records[i];
            out += r.Comments;
            out.push_back(r.Commented == '\0' ? ' ' : r.Commented);
            if (r.Key.empty()) {
                out.push_back('[');
                out += r.Section;
                out.push_back(']');
            } else {
                out += r.Key;
                out.push_back('=');
                out += r.Value;
            }
            out.push_back('\n');
        }
    }
    return out;
}

bool CIniFile::Save(const std::string& file, const std::vector<IniRecord>& records)
{
    const QString name = FileName(file);
    if (name.isEmpty())
        return false;
    const std::string text = Format(records);
    QSaveFile f(name);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    if (f.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool CIniFile::Create(const std::string& file)
{
    return Save(file, {});
}

bool CIniFile::CanOpen(const std::string& file)
{
    const QString name = FileName(file);
    if (name.isEmpty())
        return false;
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(name).constData());
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

int CIniFile::FindRecord(const std::vector<IniRecord>& records, const std::string& key, const std::string& section)
{
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].Key == key && records[i].Section == section)
            return static_cast<int>(i);
    return -1;
}

bool CIniFile::AddSection(const std::string& section, const std::string& file)
{
    return Modify(file, [&](std::vector<IniRecord>& records) {
        records.push_back(HeaderRecord(section));
        return true;
    });
}

bool CIniFile::AppendRecord(
    const std::string& key, const std::string& value, const std::string& section, const std::string& file)
{
    return Modify(file, [&](std::vector<IniRecord>& records) {
        records.push_back(KeyRecord(key, value, section));
        return true;
    });
}

bool CIniFile::SetValue(
    const std::string& key, const std::string& value, const std::string& section, const std::string& file)
{
    return Modify(file, [&](std::vector<IniRecord>& records) {
        const int found = FindRecord(records, key, section);
        if (found >= 0) {
            records[static_cast<size_t>(found)].Value = value;
            return true;
        }
        size_t firstHeader = records.size();
        bool sectionSeen = false;
        for (size_t i = 0; i < records.size(); ++i) {
            if (records[i].Section != section)
                continue;
            sectionSeen = true;
            if (records[i].Key.empty()) {
                firstHeader = i;
                break;
            }
        }
        if (!sectionSeen) {
            records.push_back(HeaderRecord(section));
            records.push_back(KeyRecord(key, value, section));
        } else if (firstHeader < records.size()) {
            records.insert(
                records.begin() + static_cast<std::ptrdiff_t>(firstHeader) + 1, KeyRecord(key, value, section));
        } else {
            // Keys of a section without a header (the empty section): Save's
            // grouping places the new key at the end of that section.
            records.push_back(KeyRecord(key, value, section));
        }
        return true;
    });
}

std::string CIniFile::GetValue(const std::string& key, const std::string& section, const std::string& file)
{
    std::vector<IniRecord> records;
    if (!Load(file, records))
        return {};
    const int found = FindRecord(records, key, section);
    return found >= 0 ? records[static_cast<size_t>(found)].Value : std::string();
}

bool CIniFile::RecordExists(const std::string& key, const std::string& section, const std::string& file)
{
    std::vector<IniRecord> records;
    return Load(file, records) && FindRecord(records, key, section) >= 0;
}

bool CIniFile::SectionExists(const std::string& section, const std::string& file)
{
    std::vector<IniRecord> records;
    if (!Load(file, records))
        return true; // an unreadable file is not known to lack the section
    for (const IniRecord& r : records)
        if (r.Section == section)
            return true;
    return false;
}

bool CIniFile::DeleteRecord(const std::string& key, const std::string& section, const std::string& file)
{
    return Modify(file, [&](std::vector<IniRecord>& records) {
        const int found = FindRecord(records, key, section);
        if (found < 0)
            return false;
        records.erase(records.begin() + found);
        return true;
    });
}

bool CIniFile::DeleteSection(const std::string& section, const std::string& file)
{
    return Modify(file, [&](std::vector<IniRecord>& records) {
        std::erase_if(records, [&](const IniRecord& r) { return r.Section == section; });
        return true;
    });
}

std::vector<IniRecord> CIniFile::GetSection(const std::string& section, const std::string& file)
{
    std::vector<IniRecord> records;
    std::vector<IniRecord> keys;
    if (!Load(file, records))
        return keys;
    for (IniRecord& r : records)
        if (r.Section == section && !r.Key.empty())
            keys.push_back(std::move(r));
    return keys;
}
