#pragma once

#include <string>
#include <vector>

// One line of an INI file with the comment lines that stood above it.
struct IniRecord
{
    std::string Comments; // comment lines directly above, each with its line break
    char Commented = ' '; // ' ' for a live record; '#' or ';' for a disabled one
    std::string Section; // the section the record belongs to
    std::string Key; // empty for a section header
    std::string Value; // empty for a section header
};

// The program's INI store. It keeps no state: every operation reads the whole
// file, works on its records and, for changes, writes the whole file back.
// Strings are narrow and compared byte for byte. Lookups by section and key
// find disabled records like live ones. Every operation returns false (or an
// empty result) when the file cannot be read, unless said otherwise.
class CIniFile
{
public:
    virtual ~CIniFile();

    // Clears records and parses the file into them; false if it does not open.
    static bool Load(const std::string& file, std::vector<IniRecord>& records);
    // Groups the records by section (order of first occurrence) and replaces the
    // file with them atomically; false if the file cannot be written.
    static bool Save(const std::string& file, const std::vector<IniRecord>& records);
    // Writes an empty file.
    static bool Create(const std::string& file);
    // Whether the file opens for reading.
    static bool CanOpen(const std::string& file);
    // Appends a header record for the section (even when one exists) and saves.
    static bool AddSection(const std::string& section, const std::string& file);
    // Appends a live key record and saves; the grouping of Save puts it at the
    // end of its section.
    static bool AppendRecord(
        const std::string& key, const std::string& value, const std::string& section, const std::string& file);
    // Replaces the value of the key's first record, or inserts the key after the
    // section's first header, or appends the section and the key; saves.
    static bool SetValue(
        const std::string& key, const std::string& value, const std::string& section, const std::string& file);
    // Value of the key's first record; empty when there is none.
    static std::string GetValue(const std::string& key, const std::string& section, const std::string& file);
    // Whether the file reads and has a record with that section and key.
    static bool RecordExists(const std::string& key, const std::string& section, const std::string& file);
    // False only when the file reads and has no record of the section.
    static bool SectionExists(const std::string& section, const std::string& file);
    // Removes the key's first record and saves; false when there is none.
    static bool DeleteRecord(const std::string& key, const std::string& section, const std::string& file);
    // Removes every record of the section, header and keys, and saves.
    static bool DeleteSection(const std::string& section, const std::string& file);
    // The key records of the section, in file order.
    static std::vector<IniRecord> GetSection(const std::string& section, const std::string& file);

    // Parses INI text (the work of Load without the file).
    static void Parse(const std::string& text, std::vector<IniRecord>& records);
    // The text Save writes for the records.
    static std::string Format(const std::vector<IniRecord>& records);
    // Index of the first record with that section and key, or -1.
    static int FindRecord(const std::vector<IniRecord>& records, const std::string& key, const std::string& section);
};
