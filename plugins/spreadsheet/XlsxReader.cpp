#include "XlsxReader.h"

#include "VtrRegularFile.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <pugixml.hpp>
#include <zip.h>

#include <QFile>

namespace Spreadsheet {
namespace {
constexpr zip_uint64_t kReserveBytes = 16 * 1024 * 1024;
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

// The name of an element or attribute without its namespace prefix, since
// writers differ in the prefixes they use.
std::string_view LocalName(const char* name)
{
    std::string_view n(name);
    const size_t colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_node Child(pugi::xml_node parent, std::string_view name)
{
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && LocalName(child.name()) == name)
            return child;
    return {};
}

// A relationship id attribute ("r:id"): namespaced, local name "id".
const char* RelationshipId(pugi::xml_node node)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        if (std::strchr(a.name(), ':') && LocalName(a.name()) == "id")
            return a.value();
    return "";
}

bool EndsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Resolves a relationship target against the folder of its source part.
std::string ResolvePart(std::string_view folder, std::string_view target)
{
    std::string path;
    if (!target.empty() && target[0] == '/')
        target.remove_prefix(1);
    else
        path = folder;
    while (!target.empty()) {
        const size_t slash = target.find('/');
        const std::string_view part = target.substr(0, slash);
        target = slash == std::string_view::npos ? std::string_view() : target.substr(slash + 1);
        if (part == "..") {
            if (!path.empty())
                path.pop_back();
            const size_t up = path.rfind('/');
            path.erase(up == std::string::npos ? 0 : up + 1);
        } else if (!part.empty() && part != ".") {
            path.append(part);
            if (slash != std::string_view::npos)
                path.push_back('/');
        }
    }
    return path;
}

std::string_view Folder(std::string_view part)
{
    const size_t slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
}

QString Name(std::string_view part)
{
    return QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size()));
}

QString TooLarge(std::string_view part)
{
    return QStringLiteral("The part %1 unpacks to more than %2 MiB; it is not read.")
        .arg(Name(part))
        .arg(kMaxPartBytes / (1024 * 1024));
}

// The parts of a workbook, by name.
class Workbook
{
public:
    virtual ~Workbook() = default;

    // Unpacks a part into out (bounded); false with the reason, or with
    // missing set when the workbook has no such part.
    virtual bool ReadPart(const std::string& name, std::string& out, bool& missing, QString& error) = 0;

    // Parses a part; false with the reason (or missing set).
    bool LoadXml(const std::string& name, pugi::xml_document& doc, std::string& buffer, bool& missing, QString& error)
    {
        if (!ReadPart(name, buffer, missing, error))
            return false;
        const pugi::xml_parse_result parsed = doc.load_buffer_inplace(buffer.data(), buffer.size(), kParseOptions);
        if (!parsed) {
            error = QStringLiteral("The part %1 is not valid XML: %2 at byte %3.")
                        .arg(Name(name), QString::fromUtf8(parsed.description()))
                        .arg(parsed.offset);
            return false;
        }
        return true;
    }
};

// A workbook given as its parts.
class PartsWorkbook : public Workbook
{
public:
    explicit PartsWorkbook(const std::map<std::string, std::string>& parts)
        : m_parts(parts)
    { }
    bool ReadPart(const std::string& name, std::string& out, bool& missing, QString& error) override
    {
        const auto found = m_parts.find(name);
        missing = found == m_parts.end();
        if (missing)
            return false;
        if (static_cast<qint64>(found->second.size()) > kMaxPartBytes) {
            error = TooLarge(name);
            return false;
        }
        out = found->second;
        return true;
    }

private:
    const std::map<std::string, std::string>& m_parts;
};

// A workbook in its zip archive.
class ZipWorkbook : public Workbook
{
public:
    explicit ZipWorkbook(zip_t* archive)
        : m_archive(archive)
    { }
    ~ZipWorkbook() override { zip_discard(m_archive); }
    ZipWorkbook(const ZipWorkbook&) = delete;
    ZipWorkbook& operator=(const ZipWorkbook&) = delete;

    bool ReadPart(const std::string& name, std::string& out, bool& missing, QString& error) override
    {
        out.clear();
        missing = false;
        zip_file_t* file = zip_fopen(m_archive, name.c_str(), 0);
        if (!file) {
            zip_error_t* e = zip_get_error(m_archive);
            if (zip_error_code_zip(e) == ZIP_ER_NOENT) {
                missing = true;
                zip_error_clear(m_archive);
                return false;
            }
            error = QStringLiteral("The part %1 cannot be opened: %2.")
                        .arg(Name(name), QString::fromUtf8(zip_error_strerror(e)));
            return false;
        }
        // The declared size refuses most bombs before any work; the bound
        // on what is read holds whatever the archive claims.
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat(m_archive, name.c_str(), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
            if (stat.size > static_cast<zip_uint64_t>(kMaxPartBytes)) {
                zip_fclose(file);
                error = TooLarge(name);
                return false;
            }
            // A claim is not memory: reserve little, grow as bytes arrive.
            out.reserve(static_cast<size_t>(std::min<zip_uint64_t>(stat.size, kReserveBytes)));
        }
        bool ok = true;
        char chunk[64 * 1024];
        for (;;) {
            const zip_int64_t n = zip_fread(file, chunk, sizeof chunk);
            if (n < 0) {
                error = QStringLiteral("The part %1 is damaged: %2.")
                            .arg(Name(name), QString::fromUtf8(zip_error_strerror(zip_file_get_error(file))));
                ok = false;
                break;
            }
            if (n == 0)
                break;
            if (static_cast<qint64>(out.size()) + n > kMaxPartBytes) {
                error = TooLarge(name);
                ok = false;
                break;
            }
            out.append(chunk, static_cast<size_t>(n));
        }
        zip_fclose(file);
        return ok;
    }

private:
    zip_t* m_archive;
};

// The text of a string item (<si> or <is>): its <t>, or its rich-text runs.
std::string ItemText(pugi::xml_node item)
{
    std::string text;
    for (pugi::xml_node child = item.first_child(); child; child = child.next_sibling()) {
        const std::string_view name = LocalName(child.name());
        if (name == "t")
            text += child.child_value();
        else if (name == "r")
            text += Child(child, "t").child_value();
    }
    return text;
}

struct SheetParts
{
    std::string sheet;
    std::string sharedStrings;
};

// Finds the first worksheet and the shared strings through the package's
// relationships, falling back to the usual names where they are missing.
bool FindParts(Workbook& book, SheetParts& parts, QString& error)
{
    std::string workbookPart = "xl/workbook.xml";
    std::string buffer;
    bool missing = false;
    {
        pugi::xml_document rels;
        if (book.LoadXml("_rels/.rels", rels, buffer, missing, error)) {
            for (pugi::xml_node r = Child(Child(rels, "Relationships"), "Relationship"); r; r = r.next_sibling())
                if (EndsWith(r.attribute("Type").value(), "/officeDocument")) {
                    workbookPart = ResolvePart("", r.attribute("Target").value());
                    break;
                }
        } else if (!missing) {
            return false;
        }
    }
    const std::string folder(Folder(workbookPart));
    std::string sheetId;
    {
        pugi::xml_document workbook;
        if (!book.LoadXml(workbookPart, workbook, buffer, missing, error)) {
            if (missing)
                error = QStringLiteral("The file is not a spreadsheet: it has no workbook part.");
            return false;
        }
        const pugi::xml_node sheet = Child(Child(Child(workbook, "workbook"), "sheets"), "sheet");
        if (!sheet) {
            error = QStringLiteral("The workbook has no worksheet.");
            return false;
        }
        sheetId = RelationshipId(sheet);
    }
    const std::string relsPart = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    pugi::xml_document rels;
    if (book.LoadXml(relsPart, rels, buffer, missing, error)) {
        for (pugi::xml_node r = Child(Child(rels, "Relationships"), "Relationship"); r; r = r.next_sibling()) {
            const std::string_view type = r.attribute("Type").value();
            if (!sheetId.empty() && sheetId == r.attribute("Id").value())
                parts.sheet = ResolvePart(folder, r.attribute("Target").value());
            else if (EndsWith(type, "/sharedStrings") && parts.sharedStrings.empty())
                parts.sharedStrings = ResolvePart(folder, r.attribute("Target").value());
        }
    } else if (!missing) {
        return false;
    }
    if (parts.sheet.empty())
        parts.sheet = folder + "worksheets/sheet1.xml";
    if (parts.sharedStrings.empty())
        parts.sharedStrings = folder + "sharedStrings.xml";
    return true;
}

bool LoadSharedStrings(
    Workbook& book, const std::string& part, std::vector<QString>& strings, bool& present, QString& error)
{
    std::string buffer;
    pugi::xml_document doc;
    bool missing = false;
    present = false;
    if (!book.LoadXml(part, doc, buffer, missing, error))
        return missing;
    present = true;
    for (pugi::xml_node si = Child(Child(doc, "sst"), "si"); si; si = si.next_sibling())
        if (si.type() == pugi::node_element && LocalName(si.name()) == "si")
            strings.push_back(CellTextFromXml(ItemText(si)));
    return true;
}

bool ParseRowNumber(const char* text, int64_t& row)
{
    const std::string_view s(text);
    const auto result = std::from_chars(s.data(), s.data() + s.size(), row);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && row >= 1;
}

QString TooManyRows()
{
    return QStringLiteral("The sheet has more rows than a worksheet can hold (%1).").arg(VTRCLRMangedHelper::kMaxRows);
}

bool ReadWorkbook(Workbook& book, const QStringList& columns, Table& table, QString& error)
{
    ColumnTable out;
    if (!out.Init(columns, error))
        return false;
    SheetParts parts;
    if (!FindParts(book, parts, error))
        return false;

    std::vector<QString> shared;
    bool hasShared = false;
    if (!LoadSharedStrings(book, parts.sharedStrings, shared, hasShared, error))
        return false;

    std::string buffer;
    pugi::xml_document doc;
    bool missing = false;
    if (!book.LoadXml(parts.sheet, doc, buffer, missing, error)) {
        if (missing)
            error = QStringLiteral("The workbook has no part %1 for its first worksheet.").arg(Name(parts.sheet));
        return false;
    }
    const pugi::xml_node data = Child(Child(doc, "worksheet"), "sheetData");
    int64_t rowNumber = 0;
    int64_t rowCount = 0;
    for (pugi::xml_node row = data.first_child(); row; row = row.next_sibling()) {
        if (row.type() != pugi::node_element || LocalName(row.name()) != "row")
            continue;
        if (++rowCount > VTRCLRMangedHelper::kMaxRows) {
            error = TooManyRows();
            return false;
        }
        if (const pugi::xml_attribute r = row.attribute("r")) {
            if (!ParseRowNumber(r.value(), rowNumber)) {
                error = QStringLiteral("The sheet has a row numbered \"%1\".").arg(QString::fromUtf8(r.value()));
                return false;
            }
        } else {
            ++rowNumber;
        }
        if (rowNumber > VTRCLRMangedHelper::kMaxRows) {
            error = TooManyRows();
            return false;
        }
        int column = -1;
        for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element || LocalName(c.name()) != "c")
                continue;
            int64_t cellRow = rowNumber;
            if (const pugi::xml_attribute ref = c.attribute("r")) {
                if (!ParseCellReference(ref.value(), column, cellRow) || cellRow > VTRCLRMangedHelper::kMaxRows) {
                    error = QStringLiteral("The sheet has a cell named \"%1\", which is not a cell of a worksheet.")
                                .arg(QString::fromUtf8(ref.value()));
                    return false;
                }
            } else if (++column >= kMaxColumns) {
                error = QStringLiteral("Row %1 has more cells than a worksheet can hold.").arg(rowNumber);
                return false;
            }
            if (!out.Wants(column))
                continue;
            const std::string_view type = c.attribute("t").value();
            const char* value = Child(c, "v").child_value();
            QString text;
            if (type == "s") {
                const QString name = ColumnLetters(column) + QString::number(cellRow);
                if (!hasShared) {
                    error = QStringLiteral("Cell %1 refers to a shared string, but the file holds none.").arg(name);
                    return false;
                }
                size_t index = 0;
                const std::string_view v(value);
                const auto parsed = std::from_chars(v.data(), v.data() + v.size(), index);
                if (parsed.ec != std::errc() || parsed.ptr != v.data() + v.size() || index >= shared.size()) {
                    error = QStringLiteral("Cell %1 refers to shared string \"%2\", but the file holds %3.")
                                .arg(name, QString::fromUtf8(value))
                                .arg(shared.size());
                    return false;
                }
                text = shared[index];
            } else if (type == "inlineStr") {
                text = CellTextFromXml(ItemText(Child(c, "is")));
            } else if (type == "b") {
                text = std::string_view(value) == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            } else if (type.empty() || type == "n") {
                const std::string_view v(value);
                double number = 0;
                const auto parsed = std::from_chars(v.data(), v.data() + v.size(), number);
                text = parsed.ec == std::errc() && parsed.ptr == v.data() + v.size() ? NumberText(number)
                                                                                     : CellTextFromXml(v);
            } else {
                // Formula strings, errors and dates read as their stored text.
                text = CellTextFromXml(value);
            }
            out.Set(column, cellRow, std::move(text));
        }
    }
    table = out.Take();
    return true;
}

QString ArchiveError(int code)
{
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    QString text = QString::fromUtf8(zip_error_strerror(&e));
    zip_error_fini(&e);
    if (code == ZIP_ER_NOZIP)
        return QStringLiteral("The file is not an .xlsx workbook (not a zip archive).");
    return QStringLiteral("The file is not a readable .xlsx workbook: %1.").arg(text);
}
} // namespace

bool ReadXlsxFile(const QString& path, const QStringList& columns, Table& table, QString& error)
{
    table.clear();
    QString why;
    const int fd = VtrOpenRegularFileForReading(QFile::encodeName(path).constData(), &why);
    if (fd < 0) {
        error = QStringLiteral("%1 cannot be read: %2").arg(path, why);
        return false;
    }
    int code = 0;
    zip_t* archive = zip_fdopen(fd, 0, &code);
    if (!archive) {
        ::close(fd);
        error = ArchiveError(code);
        return false;
    }
    ZipWorkbook book(archive);
    return ReadWorkbook(book, columns, table, error);
}

bool ReadXlsxBuffer(const void* data, size_t size, const QStringList& columns, Table& table, QString& error)
{
    table.clear();
    zip_error_t e;
    zip_error_init(&e);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &e);
    if (!source) {
        error = ArchiveError(zip_error_code_zip(&e));
        zip_error_fini(&e);
        return false;
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &e);
    if (!archive) {
        zip_source_free(source);
        error = ArchiveError(zip_error_code_zip(&e));
        zip_error_fini(&e);
        return false;
    }
    zip_error_fini(&e);
    ZipWorkbook book(archive);
    return ReadWorkbook(book, columns, table, error);
}

bool ReadXlsxParts(
    const std::map<std::string, std::string>& parts, const QStringList& columns, Table& table, QString& error)
{
    table.clear();
    PartsWorkbook book(parts);
    return ReadWorkbook(book, columns, table, error);
}
} // namespace Spreadsheet
