#include "document/RuleFileStream.h"

#include "VtrXMLDocument.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <unistd.h>

namespace {
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

RuleFileStream::RuleFileStream(int fd)
    : m_fd(fd)
{ }

RuleFileStream::~RuleFileStream()
{
    ::close(m_fd);
}

RuleFileStream::Step RuleFileStream::Next(pugi::xml_document& fragment, bool copied)
{
    fragment.reset();
    if (m_rootEnded)
        return Epilog() ? Step::End : Step::GiveUp;
    if (Size() - m_pos < kBlock)
        More();
    // The quick way: everything up to the last end tag of a rule read so far
    // is whole rules, parsed at once without a scan. Only a comment, markup
    // declaration or character data in the way, or a rule inside another
    // element, could make that cut wrong; the first two are looked for, and
    // any of them makes the parse or the check below fail, and then the whole
    // file is loaded, which decides.
    const size_t cut = LastRuleEnd();
    const bool quick = cut > m_pos && !HasMarkupDeclaration(m_pos, cut);
    size_t begin = m_pos;
    size_t size = cut - m_pos;
    if (quick) {
        m_pos = cut;
    } else {
        const Span run = CompleteChildren();
        if (run.bad)
            return Step::GiveUp;
        m_rootEnded = run.rootEnds;
        if (run.size == 0)
            return Next(fragment, copied);
        begin = run.begin;
        size = run.size;
    }
    constexpr unsigned kOptions = pugi::parse_default | pugi::parse_fragment;
    const pugi::xml_parse_result parsed = copied
        ? fragment.load_buffer(m_buffer.data() + begin, size, kOptions, pugi::encoding_utf8)
        : fragment.load_buffer_inplace(m_buffer.data() + begin, size, kOptions, pugi::encoding_utf8);
    if (!parsed)
        return Step::GiveUp;
    for (pugi::xml_node child = fragment.first_child(); child; child = child.next_sibling()) {
        // Only blanks may stand between the children (the scan let no others through).
        if (child.type() == pugi::node_pcdata) {
            for (const char* c = child.value(); *c; ++c)
                if (!IsBlank(*c))
                    return Step::GiveUp;
            continue;
        }
        // Under the root every node is one level deeper than here.
        if (child.type() != pugi::node_element
            || 2 + VtrXMLDocument::NestingDepth(child) > VtrXMLDocument::kMaxNestingDepth)
            return Step::GiveUp;
    }
    return Step::Children;
}

bool RuleFileStream::HasMarkupDeclaration(size_t begin, size_t end) const
{
    // '!' is rare in rule files, '<' is everywhere: look for the rare one.
    for (size_t at = begin; at < end;) {
        const void* found = std::memchr(Data() + at, '!', end - at);
        if (!found)
            return false;
        at = static_cast<size_t>(static_cast<const char*>(found) - Data());
        if (at > begin && Data()[at - 1] == '<')
            return true;
        ++at;
    }
    return false;
}

size_t RuleFileStream::LastRuleEnd() const
{
    static constexpr std::string_view kEnd = "</Rule>";
    const char* begin = Data() + m_pos;
    for (size_t n = Size() - m_pos; n >= kEnd.size();) {
        const void* found = memrchr(begin, '>', n);
        if (!found)
            return 0;
        const auto at = static_cast<size_t>(static_cast<const char*>(found) - begin);
        if (at + 1 >= kEnd.size() && std::string_view(begin + at + 1 - kEnd.size(), kEnd.size()) == kEnd)
            return m_pos + at + 1;
        n = at;
    }
    return 0;
}

// Reads more of the file after what is not consumed yet; false at its end.
bool RuleFileStream::More()
{
    if (m_eof)
        return false;
    if (m_pos > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos = 0;
    }
    const size_t old = m_buffer.size();
    m_buffer.resize(old + kBlock);
    size_t got = 0;
    while (got < kBlock) {
        const ssize_t n = ::read(m_fd, m_buffer.data() + old + got, kBlock - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_eof = true;
            break;
        }
        got += static_cast<size_t>(n);
    }
    m_buffer.resize(old + got);
    return got > 0;
}
bool RuleFileStream::StartsWith(size_t at, const char* text) const
{
    const size_t n = std::strlen(text);
    return Size() - at >= n && std::memcmp(Data() + at, text, n) == 0;
}
// End (past the terminator) of the construct at `at` closed by `terminator`.
size_t RuleFileStream::After(size_t at, const char* terminator) const
{
    const size_t n = std::strlen(terminator);
    for (size_t i = at; i + n <= Size(); ++i)
        if (std::memcmp(Data() + i, terminator, n) == 0)
            return i + n;
    return kIncomplete;
}
// End of the tag that starts at `at` ('<'), quotes respected.
size_t RuleFileStream::TagEnd(size_t at) const
{
    char quote = 0;
    for (size_t i = at + 1; i < Size(); ++i) {
        const char c = Data()[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        } else if (c == '<') {
            return kBad;
        }
    }
    return kIncomplete;
}
// End of the comment or processing instruction at `at`, or 0 when there is none there.
size_t RuleFileStream::MiscEnd(size_t at) const
{
    if (StartsWith(at, "<!--"))
        return After(at + 4, "-->");
    if (StartsWith(at, "<?"))
        return After(at + 2, "?>");
    return 0;
}
// End of the element that starts at `at`.
size_t RuleFileStream::ElementEnd(size_t at) const
{
    int depth = 0;
    size_t i = at;
    while (i < Size()) {
        if (Data()[i] != '<') {
            const void* next = std::memchr(Data() + i, '<', Size() - i);
            if (!next)
                return kIncomplete;
            i = static_cast<size_t>(static_cast<const char*>(next) - Data());
        }
        if (Size() - i < 9)
            return kIncomplete; // room for the longest opener below
        size_t end;
        if (StartsWith(i, "<!--")) {
            end = After(i + 4, "-->");
        } else if (StartsWith(i, "<![CDATA[")) {
            end = After(i + 9, "]]>");
        } else if (StartsWith(i, "<?")) {
            end = After(i + 2, "?>");
        } else if (StartsWith(i, "<!")) {
            return kBad;
        } else if (StartsWith(i, "</")) {
            end = TagEnd(i);
            if (end < kBad && --depth == 0)
                return end;
        } else {
            end = TagEnd(i);
            if (end < kBad && Data()[end - 2] != '/')
                ++depth;
            if (end < kBad && depth == 0)
                return end;
        }
        if (end >= kBad)
            return end;
        i = end;
    }
    return kIncomplete;
}
// Skips blanks, comments and processing instructions; false when the file
// ends or holds something the scan does not expect.
bool RuleFileStream::SkipMisc()
{
    for (;;) {
        while (m_pos < Size() && IsBlank(Data()[m_pos]))
            ++m_pos;
        if (Size() - m_pos < 9 && More())
            continue;
        if (m_pos == Size())
            return false;
        const size_t end = MiscEnd(m_pos);
        if (end == 0)
            return true;
        if (end == kIncomplete) {
            if (!More())
                return false;
            continue;
        }
        m_pos = end;
    }
}
// Everything up to and with the root's start tag.
bool RuleFileStream::Start()
{
    More();
    // Byte-order marks and other encodings: a full load.
    if (Size() < 4 || Data()[0] != '<' || std::memchr(Data(), 0, 4))
        return false;
    if (StartsWith(0, "<?xml")) {
        size_t end;
        while ((end = After(0, "?>")) == kIncomplete)
            if (!More())
                return false;
        const std::string declaration(Data(), end);
        const size_t encoding = declaration.find("encoding");
        if (encoding != std::string::npos) {
            const std::string rest = declaration.substr(encoding);
            if (rest.find("\"UTF-8\"") == std::string::npos && rest.find("'UTF-8'") == std::string::npos
                && rest.find("\"utf-8\"") == std::string::npos && rest.find("'utf-8'") == std::string::npos)
                return false;
        }
        m_pos = end;
    }
    if (!SkipMisc() || StartsWith(m_pos, "<!"))
        return false;
    size_t end;
    while ((end = TagEnd(m_pos)) == kIncomplete)
        if (!More())
            return false;
    if (end == kBad || Data()[end - 2] == '/')
        return false;
    // The start tag alone, closed, tells the root's name and attributes.
    std::string tag(Data() + m_pos, end - m_pos - 1);
    tag += "/>";
    m_pos = end;
    if (!m_rootTag.load_buffer(tag.data(), tag.size(), pugi::parse_default, pugi::encoding_utf8))
        return false;
    const pugi::xml_node element = m_rootTag.first_child();
    return element && std::strcmp(element.name(), "VTRExpress") == 0 && !element.next_sibling();
}
// The run of complete children from the scan position on (blanks,
// comments and instructions between them included), reading more when
// not even one is complete; with rootEnds when the root's end tag follows.
RuleFileStream::Span RuleFileStream::CompleteChildren()
{
    Span run;
    for (;;) {
        run.begin = m_pos;
        size_t i = m_pos;
        for (;;) {
            while (i < Size() && IsBlank(Data()[i]))
                ++i;
            if (Size() - i < 9 && !m_eof)
                break;
            if (i == Size()) {
                run.bad = true; // the file ends inside the root
                return run;
            }
            if (Data()[i] != '<') {
                run.bad = true; // text beside the rules
                return run;
            }
            if (StartsWith(i, "</")) {
                const size_t end = TagEnd(i);
                if (end == kIncomplete && !m_eof)
                    break;
                if (end >= kBad || !IsRootEndTag(i, end)) {
                    run.bad = true;
                    return run;
                }
                run.size = i - run.begin;
                run.rootEnds = true;
                m_pos = end;
                return run;
            }
            size_t end = MiscEnd(i);
            if (end == 0)
                end = StartsWith(i, "<!") ? kBad : ElementEnd(i);
            if (end == kIncomplete && !m_eof)
                break;
            if (end >= kBad) {
                run.bad = true;
                return run;
            }
            i = end;
            run.size = i - run.begin;
        }
        if (run.size > 0) {
            m_pos = run.begin + run.size;
            return run;
        }
        // Not even one child complete: read on (at the end of the file
        // the scan above decides).
        More();
    }
}
bool RuleFileStream::IsRootEndTag(size_t at, size_t end) const
{
    size_t last = end - 1; // '>'
    while (last > at + 2 && IsBlank(Data()[last - 1]))
        --last;
    return std::string_view(Data() + at + 2, last - at - 2) == "VTRExpress";
}
// After the root: only blanks, comments and instructions.
bool RuleFileStream::Epilog()
{
    for (;;) {
        while (m_pos < Size() && IsBlank(Data()[m_pos]))
            ++m_pos;
        if (m_pos == Size()) {
            if (!More())
                return true;
            continue;
        }
        size_t end = MiscEnd(m_pos);
        while (end == kIncomplete && More())
            end = MiscEnd(m_pos);
        if (end == 0 || end == kIncomplete)
            return false;
        m_pos = end;
    }
}
