#include "XlsxReader.h"

#include "VtrRegularFile.h"
#include "custommsg/VTRCLRMangedHelper.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <zip.h>

#include <QFile>
#include <QHash>

namespace Spreadsheet {
namespace {
// How much of a part is unpacked at a time; the reader never holds more of
// a part than this plus the one tag or section it is reading.
constexpr size_t kChunkBytes = 64 * 1024;

// The name of an element or attribute without its namespace prefix, since
// writers differ in the prefixes they use.
std::string_view LocalName(std::string_view n)
{
    const size_t colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
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

// The unpacked bytes of one part, handed out a chunk at a time.
class PartStream
{
public:
    virtual ~PartStream() = default;
    // Up to size bytes into buffer: their count, 0 at the end of the part,
    // or -1 with the reason in error.
    virtual int64_t Read(char* buffer, size_t size, QString& error) = 0;
};

// The parts of a workbook, by name.
class Workbook
{
public:
    virtual ~Workbook() = default;
    // Opens a part; null with the reason, or with missing set when the
    // workbook has no such part.
    virtual std::unique_ptr<PartStream> Open(const std::string& name, bool& missing, QString& error) = 0;
};

// A part held in memory.
class BytesStream : public PartStream
{
public:
    explicit BytesStream(std::string_view bytes)
        : m_left(bytes)
    { }
    int64_t Read(char* buffer, size_t size, QString&) override
    {
        const size_t n = std::min(size, m_left.size());
        std::memcpy(buffer, m_left.data(), n);
        m_left.remove_prefix(n);
        return static_cast<int64_t>(n);
    }

private:
    std::string_view m_left;
};

// A workbook given as its parts.
class PartsWorkbook : public Workbook
{
public:
    explicit PartsWorkbook(const std::map<std::string, std::string>& parts)
        : m_parts(parts)
    { }
    std::unique_ptr<PartStream> Open(const std::string& name, bool& missing, QString& error) override
    {
        const auto found = m_parts.find(name);
        missing = found == m_parts.end();
        if (missing)
            return nullptr;
        if (static_cast<qint64>(found->second.size()) > kMaxPartBytes) {
            error = TooLarge(name);
            return nullptr;
        }
        return std::make_unique<BytesStream>(found->second);
    }

private:
    const std::map<std::string, std::string>& m_parts;
};

// A part unpacked from its zip archive as it is read, never past
// kMaxPartBytes whatever the archive claims.
class ZipPartStream : public PartStream
{
public:
    ZipPartStream(zip_file_t* file, std::string name)
        : m_file(file)
        , m_name(std::move(name))
    { }
    ~ZipPartStream() override { zip_fclose(m_file); }
    ZipPartStream(const ZipPartStream&) = delete;
    ZipPartStream& operator=(const ZipPartStream&) = delete;

    int64_t Read(char* buffer, size_t size, QString& error) override
    {
        const zip_int64_t n = zip_fread(m_file, buffer, size);
        if (n < 0) {
            error = QStringLiteral("The part %1 is damaged: %2.")
                        .arg(Name(m_name), QString::fromUtf8(zip_error_strerror(zip_file_get_error(m_file))));
            return -1;
        }
        m_total += n;
        if (m_total > kMaxPartBytes) {
            error = TooLarge(m_name);
            return -1;
        }
        return n;
    }

private:
    zip_file_t* m_file;
    std::string m_name;
    qint64 m_total = 0;
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

    std::unique_ptr<PartStream> Open(const std::string& name, bool& missing, QString& error) override
    {
        missing = false;
        zip_file_t* file = zip_fopen(m_archive, name.c_str(), 0);
        if (!file) {
            zip_error_t* e = zip_get_error(m_archive);
            if (zip_error_code_zip(e) == ZIP_ER_NOENT) {
                missing = true;
                zip_error_clear(m_archive);
                return nullptr;
            }
            error = QStringLiteral("The part %1 cannot be opened: %2.")
                        .arg(Name(name), QString::fromUtf8(zip_error_strerror(e)));
            return nullptr;
        }
        // The declared size refuses most bombs before any work; the stream
        // counts what really arrives.
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat(m_archive, name.c_str(), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)
            && stat.size > static_cast<zip_uint64_t>(kMaxPartBytes)) {
            zip_fclose(file);
            error = TooLarge(name);
            return nullptr;
        }
        return std::make_unique<ZipPartStream>(file, name);
    }

private:
    zip_t* m_archive;
};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Appends the UTF-8 of a code point.
void AppendUtf8(std::string& out, uint32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The length of the entity reference at the start of text ("&amp;"), with
// its character appended to out; 0 when it is none, and the "&" then stands
// for itself.
size_t DecodeEntity(std::string_view text, std::string& out)
{
    const size_t semicolon = text.find(';', 1);
    if (semicolon == std::string_view::npos || semicolon > 12)
        return 0;
    const std::string_view name = text.substr(1, semicolon - 1);
    if (!name.empty() && name[0] == '#') {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        uint32_t code = 0;
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (digits.empty() || parsed.ec != std::errc() || parsed.ptr != digits.data() + digits.size()
            || code > 0x10FFFF)
            return 0;
        AppendUtf8(out, code);
        return semicolon + 1;
    }
    static const struct
    {
        std::string_view name;
        char c;
    } named[] = { { "lt", '<' }, { "gt", '>' }, { "amp", '&' }, { "quot", '"' }, { "apos", '\'' } };
    for (const auto& n : named)
        if (name == n.name) {
            out.push_back(n.c);
            return semicolon + 1;
        }
    return 0;
}

// Appends XML character data with its entities resolved and its line ends
// made line feeds; in attribute values every white-space character becomes
// a space, as the XML rules for attributes have it.
void AppendDecoded(std::string_view text, bool attribute, std::string& out)
{
    size_t i = 0;
    while (i < text.size()) {
        size_t stop = i;
        while (stop < text.size() && text[stop] != '&' && text[stop] != '\r'
            && !(attribute && (text[stop] == '\n' || text[stop] == '\t')))
            ++stop;
        out.append(text.data() + i, stop - i);
        i = stop;
        if (i == text.size())
            break;
        if (text[i] == '&') {
            const size_t n = DecodeEntity(text.substr(i), out);
            if (n == 0) {
                out.push_back('&');
                ++i;
            } else {
                i += n;
            }
        } else {
            // "\r\n" and a lone "\r" are one line end.
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out.push_back(attribute ? ' ' : '\n');
            ++i;
        }
    }
}

// A pull reader of one XML part: start tags, end tags (a self-closing tag
// gives both) and runs of text, read a chunk at a time, so that what it
// holds stays the size of a chunk and of the open elements' names whatever
// the part holds. It stops at the end of the first element of the document.
class XmlStream
{
public:
    // kSkipped is internal: a comment or declaration passed over.
    enum Event { kStart, kEnd, kText, kDone, kFailed, kSkipped };

    XmlStream(PartStream& in, std::string part, QString& error)
        : m_in(in)
        , m_part(std::move(part))
        , m_error(error)
    { }

    Event Next()
    {
        if (m_failed)
            return kFailed;
        Consume();
        if (m_pendingEnd) {
            m_pendingEnd = false;
            Pop();
            return kEnd;
        }
        if (m_poppedRoot)
            return kDone;
        for (;;) {
            int c = At(0);
            if (c < 0)
                return AtEnd();
            if (c != '<') {
                const Event text = ReadText();
                if (text == kText && m_names.empty()) {
                    // Text beside the document element is no content.
                    Consume();
                    continue;
                }
                return text;
            }
            c = At(1);
            if (c == '/')
                return ReadEndTag();
            if (c == '?') {
                if (!Skip(2, "?>"))
                    return kFailed;
                continue;
            }
            if (c == '!') {
                const Event e = ReadDeclaration();
                if (e == kSkipped)
                    continue;
                return e;
            }
            return ReadStartTag();
        }
    }

    // The depth of the element just started or ended (1 for the document
    // element), or of the element holding the text just read.
    int Depth() const { return static_cast<int>(m_nameEnds.size()) + (m_popped ? 1 : 0); }
    // The local name of the element just started or ended.
    std::string_view Local() const { return LocalName(m_current); }

    // The value of an attribute of the element just started, by its name as
    // written, or by its local name among the prefixed ones when prefixed;
    // false when it has none.
    bool Attribute(std::string_view name, bool prefixed, std::string& value) const
    {
        value.clear();
        const std::string_view tag = Token();
        size_t i = 1 + m_current.size();
        while (i < tag.size()) {
            while (i < tag.size() && IsSpace(tag[i]))
                ++i;
            const size_t nameStart = i;
            while (i < tag.size() && tag[i] != '=' && !IsSpace(tag[i]) && tag[i] != '/' && tag[i] != '>')
                ++i;
            const std::string_view attribute = tag.substr(nameStart, i - nameStart);
            while (i < tag.size() && tag[i] != '"' && tag[i] != '\'')
                ++i;
            if (i >= tag.size())
                break;
            const size_t close = tag.find(tag[i], i + 1);
            const std::string_view raw = tag.substr(i + 1, close - i - 1);
            i = close + 1;
            const bool match = prefixed ? attribute.find(':') != std::string_view::npos && LocalName(attribute) == name
                                        : attribute == name;
            if (match) {
                AppendDecoded(raw, true, value);
                return true;
            }
        }
        return false;
    }

    // Appends the text just read, entities resolved.
    void AppendText(std::string& out) const
    {
        if (m_rawText)
            out.append(Token().substr(9, m_tokenLength - 12));
        else
            AppendDecoded(Token(), false, out);
    }

private:
    std::string_view Token() const { return std::string_view(m_buffer).substr(m_begin, m_tokenLength); }

    // Drops the token handed out last.
    void Consume()
    {
        m_begin += m_tokenLength;
        m_tokenLength = 0;
        m_rawText = false;
        if (m_popped) {
            m_popped = false;
            if (m_nameEnds.empty())
                m_poppedRoot = true;
        }
    }

    // Reads another chunk; false at the end of the part or on failure.
    bool Fill()
    {
        if (m_failed || m_ended)
            return false;
        if (m_begin > 0 && m_begin >= m_buffer.size() / 2) {
            m_offset += m_begin;
            m_buffer.erase(0, m_begin);
            m_begin = 0;
        }
        const size_t old = m_buffer.size();
        m_buffer.resize(old + kChunkBytes);
        const int64_t n = m_in.Read(m_buffer.data() + old, kChunkBytes, m_error);
        m_buffer.resize(old + static_cast<size_t>(std::max<int64_t>(n, 0)));
        if (n < 0) {
            m_failed = true;
            return false;
        }
        if (n == 0) {
            m_ended = true;
            return false;
        }
        if (m_offset == 0 && old == 0 && !CheckEncoding())
            return false;
        return true;
    }

    // Spreadsheet parts are UTF-8; a byte-order mark of UTF-8 is skipped,
    // one of another encoding refused.
    bool CheckEncoding()
    {
        const std::string_view start(m_buffer);
        if (start.substr(0, 3) == "\xEF\xBB\xBF") {
            m_begin = 3;
            return true;
        }
        if (start.substr(0, 2) == "\xFE\xFF" || start.substr(0, 2) == "\xFF\xFE"
            || (start.size() >= 2 && (start[0] == '\0' || start[1] == '\0'))) {
            m_error = QStringLiteral("The part %1 is not written in UTF-8; it is not read.").arg(Name(m_part));
            m_failed = true;
            return false;
        }
        return true;
    }

    // The byte at offset i of what is not yet consumed, or -1 past the end.
    int At(size_t i)
    {
        while (m_begin + i >= m_buffer.size())
            if (!Fill())
                return -1;
        return static_cast<unsigned char>(m_buffer[m_begin + i]);
    }

    // The offset of the first byte c at or after i, reading as needed;
    // npos at the end of the part.
    size_t Find(char c, size_t i)
    {
        for (;;) {
            if (m_begin + i < m_buffer.size()) {
                const void* found = std::memchr(m_buffer.data() + m_begin + i, c, m_buffer.size() - m_begin - i);
                if (found)
                    return static_cast<size_t>(static_cast<const char*>(found) - m_buffer.data()) - m_begin;
                i = m_buffer.size() - m_begin;
            }
            if (!Fill())
                return std::string::npos;
        }
    }

    // The offset just past the first "end" at or after from.
    size_t FindEnd(size_t from, std::string_view end)
    {
        for (size_t i = from;; ++i) {
            i = Find(end[0], i);
            if (i == std::string::npos)
                return i;
            bool match = true;
            for (size_t k = 1; k < end.size() && match; ++k)
                match = At(i + k) == static_cast<unsigned char>(end[k]);
            if (match)
                return i + end.size();
        }
    }

    Event Fail(const char* what, size_t at)
    {
        if (!m_failed) {
            m_error = QStringLiteral("The part %1 is not valid XML: %2 at byte %3.")
                          .arg(Name(m_part), QLatin1String(what))
                          .arg(m_offset + m_begin + at);
            m_failed = true;
        }
        return kFailed;
    }

    Event AtEnd()
    {
        if (m_failed)
            return kFailed;
        if (!m_names.empty() || !m_sawRoot)
            return Fail(m_sawRoot ? "Unexpected end of data" : "No document element found", 0);
        return kDone;
    }

    // Skips a processing instruction or comment from its opening to end.
    bool Skip(size_t from, std::string_view end)
    {
        const size_t stop = FindEnd(from, end);
        if (stop == std::string::npos) {
            Fail("Unexpected end of data", 0);
            return false;
        }
        m_tokenLength = stop;
        Consume();
        return true;
    }

    // Text up to the next tag. A long run is handed out in pieces, each cut
    // before an entity or line end that the next chunk may complete.
    Event ReadText()
    {
        size_t scanned = 0;
        for (;;) {
            const size_t available = m_buffer.size() - m_begin;
            const void* found = std::memchr(m_buffer.data() + m_begin + scanned, '<', available - scanned);
            if (found) {
                m_tokenLength = static_cast<size_t>(static_cast<const char*>(found) - m_buffer.data()) - m_begin;
                return kText;
            }
            scanned = available;
            if (available >= kChunkBytes) {
                const std::string_view run = std::string_view(m_buffer).substr(m_begin, available);
                size_t cut = available;
                const size_t amp = run.rfind('&');
                if (amp != std::string_view::npos && available - amp <= 12
                    && run.find(';', amp) == std::string_view::npos)
                    cut = amp;
                if (cut > 0 && run[cut - 1] == '\r')
                    --cut;
                if (cut > 0) {
                    m_tokenLength = cut;
                    return kText;
                }
            }
            if (!Fill()) {
                if (m_failed)
                    return kFailed;
                // Text after the document element ends the document.
                m_tokenLength = scanned;
                if (m_names.empty()) {
                    Consume();
                    return AtEnd();
                }
                return Fail("Unexpected end of data", scanned);
            }
        }
    }

    // "<!--", "<![CDATA[" or "<!DOCTYPE".
    Event ReadDeclaration()
    {
        auto starts = [this](std::string_view text) {
            for (size_t k = 0; k < text.size(); ++k)
                if (At(k) != static_cast<unsigned char>(text[k]))
                    return false;
            return true;
        };
        if (starts("<!--"))
            return Skip(4, "-->") ? kSkipped : kFailed;
        if (starts("<![CDATA[")) {
            const size_t stop = FindEnd(9, "]]>");
            if (stop == std::string::npos)
                return Fail("Unexpected end of data", 0);
            m_tokenLength = stop;
            m_rawText = true;
            if (m_names.empty()) {
                Consume();
                return kSkipped;
            }
            return kText;
        }
        if (starts("<!DOCTYPE") && m_names.empty() && !m_sawRoot) {
            // Skipped whole: its declarations are never applied.
            int nesting = 0;
            for (size_t i = 9;; ++i) {
                const int c = At(i);
                if (c < 0)
                    return Fail("Unexpected end of data", 0);
                if (c == '"' || c == '\'') {
                    i = Find(static_cast<char>(c), i + 1);
                    if (i == std::string::npos)
                        return Fail("Unexpected end of data", 0);
                } else if (c == '[') {
                    ++nesting;
                } else if (c == ']') {
                    --nesting;
                } else if (c == '>' && nesting <= 0) {
                    m_tokenLength = i + 1;
                    Consume();
                    return kSkipped;
                }
            }
        }
        return Fail("Unrecognized tag", 0);
    }

    // The length of the name starting at offset i.
    size_t NameLength(size_t i)
    {
        size_t n = 0;
        for (;;) {
            const int c = At(i + n);
            if (c < 0 || IsSpace(static_cast<char>(c)) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"'
                || c == '\'')
                return n;
            ++n;
        }
    }

    Event ReadStartTag()
    {
        if (m_poppedRoot || (m_names.empty() && m_sawRoot))
            return kDone;
        const size_t nameLength = NameLength(1);
        const int first = At(1);
        if (nameLength == 0 || (first >= '0' && first <= '9') || first == '-' || first == '.')
            return Fail("Error parsing start element tag", 1);
        // Attributes: name, "=", then a quoted value; "/>" or ">" ends.
        size_t i = 1 + nameLength;
        bool selfClosing = false;
        for (;;) {
            int c = At(i);
            const bool spaced = c >= 0 && IsSpace(static_cast<char>(c));
            while (c >= 0 && IsSpace(static_cast<char>(c)))
                c = At(++i);
            if (c < 0)
                return Fail("Unexpected end of data", i);
            if (c == '>')
                break;
            if (c == '/') {
                if (At(i + 1) != '>')
                    return Fail("Error parsing start element tag", i);
                selfClosing = true;
                ++i;
                break;
            }
            const size_t attribute = NameLength(i);
            if (!spaced || attribute == 0)
                return Fail("Error parsing start element tag", i);
            i += attribute;
            c = At(i);
            while (c >= 0 && IsSpace(static_cast<char>(c)))
                c = At(++i);
            if (c != '=')
                return Fail("Error parsing attribute", i);
            c = At(++i);
            while (c >= 0 && IsSpace(static_cast<char>(c)))
                c = At(++i);
            if (c != '"' && c != '\'')
                return Fail("Error parsing attribute", i);
            const size_t close = Find(static_cast<char>(c), i + 1);
            if (close == std::string::npos)
                return Fail("Unexpected end of data", i);
            i = close + 1;
        }
        m_tokenLength = i + 1;
        m_names.append(m_buffer, m_begin + 1, nameLength);
        m_nameEnds.push_back(static_cast<uint32_t>(m_names.size()));
        m_current = std::string_view(m_names).substr(m_names.size() - nameLength);
        m_sawRoot = true;
        m_pendingEnd = selfClosing;
        return kStart;
    }

    Event ReadEndTag()
    {
        const size_t nameLength = NameLength(2);
        size_t i = 2 + nameLength;
        int c = At(i);
        while (c >= 0 && IsSpace(static_cast<char>(c)))
            c = At(++i);
        if (c != '>')
            return Fail(c < 0 ? "Unexpected end of data" : "Error parsing end element tag", i);
        const size_t open = m_nameEnds.size() < 2 ? 0 : m_nameEnds[m_nameEnds.size() - 2];
        if (m_nameEnds.empty()
            || std::string_view(m_names).substr(open) != std::string_view(m_buffer).substr(m_begin + 2, nameLength))
            return Fail("Start-end tags mismatch", 0);
        m_tokenLength = i + 1;
        Pop();
        return kEnd;
    }

    // Closes the innermost element; its name stays readable as m_current
    // until the next event.
    void Pop()
    {
        const size_t open = m_nameEnds.size() < 2 ? 0 : m_nameEnds[m_nameEnds.size() - 2];
        m_closed.assign(m_names, open);
        m_current = m_closed;
        m_names.erase(open);
        m_nameEnds.pop_back();
        m_popped = true;
    }

    PartStream& m_in;
    std::string m_part;
    QString& m_error;
    std::string m_buffer;
    size_t m_begin = 0; // the first byte not yet consumed
    size_t m_tokenLength = 0; // the bytes of the token handed out last
    qint64 m_offset = 0; // the bytes dropped from the buffer's front
    std::string m_names; // the open elements' names, one after the other
    std::vector<uint32_t> m_nameEnds; // where each name ends in m_names
    std::string m_closed;
    std::string_view m_current;
    bool m_rawText = false;
    bool m_pendingEnd = false;
    bool m_popped = false;
    bool m_poppedRoot = false;
    bool m_sawRoot = false;
    bool m_ended = false;
    bool m_failed = false;
};

struct Relationship
{
    std::string type;
    std::string target;
    std::string id;
};

// Calls visit with each relationship of a relationships part until it
// returns false. False with the reason, or with missing set.
template <typename Visit>
bool ReadRelationships(Workbook& book, const std::string& part, bool& missing, QString& error, Visit visit)
{
    const std::unique_ptr<PartStream> in = book.Open(part, missing, error);
    if (!in)
        return false;
    XmlStream xml(*in, part, error);
    bool inRoot = false;
    Relationship r;
    for (;;) {
        switch (xml.Next()) {
        case XmlStream::kStart:
            if (xml.Depth() == 1) {
                inRoot = xml.Local() == "Relationships";
            } else if (inRoot && xml.Depth() == 2 && xml.Local() == "Relationship") {
                xml.Attribute("Type", false, r.type);
                xml.Attribute("Target", false, r.target);
                xml.Attribute("Id", false, r.id);
                if (!visit(r))
                    return true;
            }
            break;
        case XmlStream::kDone:
            return true;
        case XmlStream::kFailed:
            return false;
        default:
            break;
        }
    }
}

// The relationship id ("r:id") of the workbook's first worksheet; empty
// when it has none.
bool FirstSheetId(Workbook& book, const std::string& part, std::string& sheetId, QString& error)
{
    bool missing = false;
    const std::unique_ptr<PartStream> in = book.Open(part, missing, error);
    if (!in) {
        if (missing)
            error = QStringLiteral("The file is not a spreadsheet: it has no workbook part.");
        return false;
    }
    XmlStream xml(*in, part, error);
    bool inRoot = false;
    int sheets = 0; // 1 inside the first <sheets>, 2 past it
    for (;;) {
        switch (xml.Next()) {
        case XmlStream::kStart:
            if (xml.Depth() == 1) {
                inRoot = xml.Local() == "workbook";
            } else if (inRoot && xml.Depth() == 2 && sheets == 0 && xml.Local() == "sheets") {
                sheets = 1;
            } else if (sheets == 1 && xml.Depth() == 3 && xml.Local() == "sheet") {
                xml.Attribute("id", true, sheetId);
                return true;
            }
            break;
        case XmlStream::kEnd:
            if (sheets == 1 && xml.Depth() == 2)
                sheets = 2;
            break;
        case XmlStream::kDone:
            error = QStringLiteral("The workbook has no worksheet.");
            return false;
        case XmlStream::kFailed:
            return false;
        default:
            break;
        }
    }
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
    bool missing = false;
    if (!ReadRelationships(book, "_rels/.rels", missing, error,
            [&workbookPart](const Relationship& r) {
                if (!EndsWith(r.type, "/officeDocument"))
                    return true;
                workbookPart = ResolvePart("", r.target);
                return false;
            })
        && !missing)
        return false;
    const std::string folder(Folder(workbookPart));
    std::string sheetId;
    if (!FirstSheetId(book, workbookPart, sheetId, error))
        return false;
    const std::string relsPart = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    if (!ReadRelationships(book, relsPart, missing, error,
            [&](const Relationship& r) {
                if (!sheetId.empty() && sheetId == r.id)
                    parts.sheet = ResolvePart(folder, r.target);
                else if (EndsWith(r.type, "/sharedStrings") && parts.sharedStrings.empty())
                    parts.sharedStrings = ResolvePart(folder, r.target);
                return true;
            })
        && !missing)
        return false;
    if (parts.sheet.empty())
        parts.sheet = folder + "worksheets/sheet1.xml";
    if (parts.sharedStrings.empty())
        parts.sharedStrings = folder + "sharedStrings.xml";
    return true;
}

// Gathers the text of a string item (<si> or <is>): its <t>, and the first
// <t> of each rich-text run <r>.
class ItemText
{
public:
    // depth: that of the item element.
    explicit ItemText(int depth)
        : m_item(depth)
    { }
    void Reset()
    {
        m_text = 0;
        m_run = false;
    }
    void Start(const XmlStream& xml)
    {
        const int depth = xml.Depth();
        if (depth == m_item + 1) {
            if (xml.Local() == "t")
                m_text = depth;
            else if (xml.Local() == "r") {
                m_run = true;
                m_runText = false;
            }
        } else if (depth == m_item + 2 && m_run && !m_runText && xml.Local() == "t") {
            m_text = depth;
            m_runText = true;
        }
    }
    void End(const XmlStream& xml)
    {
        if (xml.Depth() == m_text)
            m_text = 0;
        if (xml.Depth() == m_item + 1)
            m_run = false;
    }
    void Text(const XmlStream& xml, std::string& out) const
    {
        if (m_text != 0 && xml.Depth() == m_text)
            xml.AppendText(out);
    }

private:
    int m_item;
    int m_text = 0; // the depth of the <t> being read, or 0
    bool m_run = false;
    bool m_runText = false;
};

// The shared strings as the part holds them, one after the other; each is
// made cell text when a wanted cell first uses it, and shared after that.
class SharedStrings
{
public:
    // False with the reason; a missing part is no failure (Present says).
    bool Load(Workbook& book, const std::string& part, QString& error)
    {
        bool missing = false;
        const std::unique_ptr<PartStream> in = book.Open(part, missing, error);
        if (!in)
            return missing;
        m_present = true;
        XmlStream xml(*in, part, error);
        bool inRoot = false;
        bool inItem = false;
        ItemText item(2);
        for (;;) {
            switch (xml.Next()) {
            case XmlStream::kStart:
                if (xml.Depth() == 1) {
                    inRoot = xml.Local() == "sst";
                } else if (inRoot && xml.Depth() == 2 && xml.Local() == "si") {
                    inItem = true;
                    item.Reset();
                } else if (inItem) {
                    item.Start(xml);
                }
                break;
            case XmlStream::kEnd:
                if (inItem && xml.Depth() == 2) {
                    inItem = false;
                    m_ends.push_back(static_cast<uint32_t>(m_texts.size()));
                } else if (inItem) {
                    item.End(xml);
                }
                break;
            case XmlStream::kText:
                if (inItem)
                    item.Text(xml, m_texts);
                break;
            case XmlStream::kDone:
                return true;
            default:
                return false;
            }
        }
    }
    bool Present() const { return m_present; }
    size_t Count() const { return m_ends.size(); }
    QString Text(size_t index)
    {
        const auto key = static_cast<uint32_t>(index);
        const auto found = m_made.constFind(key);
        if (found != m_made.constEnd())
            return *found;
        const uint32_t begin = index == 0 ? 0 : m_ends[index - 1];
        QString text = CellTextFromXml(std::string_view(m_texts).substr(begin, m_ends[index] - begin));
        m_made.insert(key, text);
        return text;
    }

private:
    bool m_present = false;
    std::string m_texts;
    std::vector<uint32_t> m_ends;
    QHash<uint32_t, QString> m_made;
};

bool ParseRowNumber(std::string_view s, int64_t& row)
{
    const auto result = std::from_chars(s.data(), s.data() + s.size(), row);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && row >= 1;
}

QString TooManyRows()
{
    return QStringLiteral("The sheet has more rows than a worksheet can hold (%1).").arg(VTRCLRMangedHelper::kMaxRows);
}

QString Utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Reads the worksheet's cells into out as they stream past: the row and cell
// limits hold before anything of a row is kept, and only wanted cells are.
class SheetReader
{
public:
    SheetReader(SharedStrings& shared, ColumnTable& out, QString& error)
        : m_shared(shared)
        , m_out(out)
        , m_error(error)
    { }

    bool Read(Workbook& book, const std::string& part)
    {
        bool missing = false;
        const std::unique_ptr<PartStream> in = book.Open(part, missing, m_error);
        if (!in) {
            if (missing)
                m_error = QStringLiteral("The workbook has no part %1 for its first worksheet.").arg(Name(part));
            return false;
        }
        XmlStream xml(*in, part, m_error);
        for (;;) {
            switch (xml.Next()) {
            case XmlStream::kStart:
                if (!Start(xml))
                    return false;
                break;
            case XmlStream::kEnd:
                if (!End(xml))
                    return false;
                if (m_data == 2)
                    return true; // the rest of the sheet holds no cells
                break;
            case XmlStream::kText:
                if (m_cell && m_wanted && m_valueDepth == 5 && xml.Depth() == 5)
                    xml.AppendText(m_value);
                else if (m_cell && m_wanted && m_inline)
                    m_item.Text(xml, m_inlineText);
                break;
            case XmlStream::kDone:
                return true;
            default:
                return false;
            }
        }
    }

private:
    bool Start(const XmlStream& xml)
    {
        const int depth = xml.Depth();
        const std::string_view name = xml.Local();
        if (depth == 1) {
            m_root = name == "worksheet";
        } else if (depth == 2) {
            if (m_root && m_data == 0 && name == "sheetData")
                m_data = 1;
        } else if (depth == 3) {
            if (m_data == 1 && name == "row")
                return StartRow(xml);
        } else if (depth == 4) {
            if (m_row && name == "c")
                return StartCell(xml);
        } else if (m_cell && m_wanted) {
            if (depth == 5 && name == "v" && !m_sawValue) {
                m_valueDepth = 5;
                m_sawValue = true;
            } else if (depth == 5 && name == "is" && !m_sawInline) {
                m_inline = true;
                m_sawInline = true;
                m_item.Reset();
            } else if (m_inline) {
                m_item.Start(xml);
            }
        }
        return true;
    }

    bool End(const XmlStream& xml)
    {
        const int depth = xml.Depth();
        if (depth == 2 && m_data == 1) {
            m_data = 2;
        } else if (depth == 3) {
            m_row = false;
        } else if (depth == 4 && m_cell) {
            m_cell = false;
            return !m_wanted || EndCell();
        } else if (depth == 5) {
            m_valueDepth = 0;
            m_inline = false;
        } else if (m_inline) {
            m_item.End(xml);
        }
        return true;
    }

    bool StartRow(const XmlStream& xml)
    {
        if (++m_rowCount > VTRCLRMangedHelper::kMaxRows) {
            m_error = TooManyRows();
            return false;
        }
        if (xml.Attribute("r", false, m_attribute)) {
            if (!ParseRowNumber(m_attribute, m_rowNumber)) {
                m_error = QStringLiteral("The sheet has a row numbered \"%1\".").arg(Utf8(m_attribute));
                return false;
            }
        } else {
            ++m_rowNumber;
        }
        if (m_rowNumber > VTRCLRMangedHelper::kMaxRows) {
            m_error = TooManyRows();
            return false;
        }
        m_row = true;
        m_column = -1;
        return true;
    }

    bool StartCell(const XmlStream& xml)
    {
        m_cellRow = m_rowNumber;
        if (xml.Attribute("r", false, m_attribute)) {
            if (!ParseCellReference(m_attribute, m_column, m_cellRow) || m_cellRow > VTRCLRMangedHelper::kMaxRows) {
                m_error = QStringLiteral("The sheet has a cell named \"%1\", which is not a cell of a worksheet.")
                              .arg(Utf8(m_attribute));
                return false;
            }
        } else if (++m_column >= kMaxColumns) {
            m_error = QStringLiteral("Row %1 has more cells than a worksheet can hold.").arg(m_rowNumber);
            return false;
        }
        m_cell = true;
        m_wanted = m_out.Wants(m_column);
        if (m_wanted) {
            xml.Attribute("t", false, m_type);
            m_value.clear();
            m_inlineText.clear();
            m_sawValue = m_sawInline = m_inline = false;
            m_valueDepth = 0;
        }
        return true;
    }

    bool EndCell()
    {
        const std::string_view type = m_type;
        const std::string_view value = m_value;
        QString text;
        if (type == "s") {
            const QString name = ColumnLetters(m_column) + QString::number(m_cellRow);
            if (!m_shared.Present()) {
                m_error = QStringLiteral("Cell %1 refers to a shared string, but the file holds none.").arg(name);
                return false;
            }
            size_t index = 0;
            const auto parsed = std::from_chars(value.data(), value.data() + value.size(), index);
            if (parsed.ec != std::errc() || parsed.ptr != value.data() + value.size() || index >= m_shared.Count()) {
                m_error = QStringLiteral("Cell %1 refers to shared string \"%2\", but the file holds %3.")
                              .arg(name, Utf8(m_value))
                              .arg(m_shared.Count());
                return false;
            }
            text = m_shared.Text(index);
        } else if (type == "inlineStr") {
            text = CellTextFromXml(m_inlineText);
        } else if (type == "b") {
            text = value == "1" ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        } else if (type.empty() || type == "n") {
            double number = 0;
            const auto parsed = std::from_chars(value.data(), value.data() + value.size(), number);
            text = parsed.ec == std::errc() && parsed.ptr == value.data() + value.size() ? NumberText(number)
                                                                                         : CellTextFromXml(value);
        } else {
            // Formula strings, errors and dates read as their stored text.
            text = CellTextFromXml(value);
        }
        m_out.Set(m_column, m_cellRow, std::move(text));
        return true;
    }

    SharedStrings& m_shared;
    ColumnTable& m_out;
    QString& m_error;
    bool m_root = false;
    int m_data = 0; // 1 inside the first <sheetData>, 2 past it
    bool m_row = false;
    int64_t m_rowNumber = 0;
    int64_t m_rowCount = 0;
    int m_column = -1;
    // The cell being read.
    bool m_cell = false;
    bool m_wanted = false;
    int64_t m_cellRow = 0;
    int m_valueDepth = 0;
    bool m_sawValue = false;
    bool m_sawInline = false;
    bool m_inline = false;
    ItemText m_item { 5 };
    std::string m_attribute;
    std::string m_type;
    std::string m_value;
    std::string m_inlineText;
};

bool ReadWorkbook(Workbook& book, const QStringList& columns, Table& table, QString& error)
{
    ColumnTable out;
    if (!out.Init(columns, error))
        return false;
    SheetParts parts;
    if (!FindParts(book, parts, error))
        return false;
    SharedStrings shared;
    if (!shared.Load(book, parts.sharedStrings, error))
        return false;
    SheetReader sheet(shared, out, error);
    if (!sheet.Read(book, parts.sheet))
        return false;
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
