#include "VtrRuleMarkup.h"

#include "VtrXMLDocument.h"

#include <array>
#include <cstring>

namespace {
// What the printer escapes: in attribute values every control character,
// '&', '<' and '"'; in text every control character but tab and line feed
// (a carriage return is written as a reference so that it reads back), '&',
// '<' and '>'. Of the control characters only tab and the line breaks are
// written; the rest are dropped.
enum : unsigned char { kInAttribute = 1, kInText = 2 };

constexpr std::array<unsigned char, 256> MakeSpecial()
{
    std::array<unsigned char, 256> special {};
    for (int c = 1; c < 32; ++c)
        special[static_cast<size_t>(c)] = kInAttribute | kInText;
    special['\t'] = kInAttribute;
    special['\n'] = kInAttribute;
    special['&'] = kInAttribute | kInText;
    special['<'] = kInAttribute | kInText;
    special['"'] = kInAttribute;
    special['>'] = kInText;
    return special;
}
constexpr std::array<unsigned char, 256> kSpecial = MakeSpecial();
// kept takes value without the characters XML forbids; false (kept
// untouched) when it has none.
bool WithoutForbidden(const char* value, std::string& kept)
{
    const char* p = value;
    while (*p && !IsForbiddenXmlControl(static_cast<unsigned char>(*p)))
        ++p;
    if (!*p)
        return false;
    kept.assign(value, static_cast<size_t>(p - value));
    for (; *p; ++p)
        if (!IsForbiddenXmlControl(static_cast<unsigned char>(*p)))
            kept += *p;
    return true;
}
} // namespace

qsizetype FirstForbiddenXmlCharacter(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (IsForbiddenXmlControl(text.at(i).unicode()))
            return i;
    return -1;
}

void DropForbiddenXmlCharacters(pugi::xml_node top)
{
    std::string kept;
    // Without recursion: the tree may be as deep as the reader allows.
    pugi::xml_node n = top;
    while (n) {
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
            if (WithoutForbidden(a.value(), kept))
                a.set_value(kept.c_str());
        if (n.type() != pugi::node_element && WithoutForbidden(n.value(), kept))
            n.set_value(kept.c_str());
        if (pugi::xml_node child = n.first_child()) {
            n = child;
            continue;
        }
        while (n && n != top && !n.next_sibling())
            n = n.parent();
        n = n && n != top ? n.next_sibling() : pugi::xml_node();
    }
}

void VtrMarkupWriter::LineBreak(int depth)
{
    if (m_forms & kFile) {
        file += '\n';
        file.append(static_cast<size_t>(depth), '\t');
    }
}

void VtrMarkupWriter::StartElement(const char* name, int depth, bool afterText)
{
    if (!afterText)
        LineBreak(depth);
    std::string& out = Main();
    const size_t mark = out.size();
    out += '<';
    out += *name ? name : ":anonymous";
    Copy(mark);
}

void VtrMarkupWriter::Attribute(const char* name, const char* value)
{
    std::string& out = Main();
    const size_t mark = out.size();
    out += ' ';
    out += *name ? name : ":anonymous";
    out += "=\"";
    Escaped(out, value, true);
    out += '"';
    Copy(mark);
}

void VtrMarkupWriter::EndStartTag()
{
    std::string& out = Main();
    out += '>';
    Copy(out.size() - 1);
}

void VtrMarkupWriter::EndEmptyElement()
{
    if (m_forms & kFile)
        file += " />";
    if (m_forms & kRaw)
        raw += "/>";
}

void VtrMarkupWriter::Text(const char* value)
{
    std::string& out = Main();
    const size_t mark = out.size();
    Escaped(out, value, false);
    Copy(mark);
}

void VtrMarkupWriter::EndElement(const char* name, int depth, bool afterText)
{
    if (!afterText)
        LineBreak(depth);
    std::string& out = Main();
    const size_t mark = out.size();
    out += "</";
    out += *name ? name : ":anonymous";
    out += '>';
    Copy(mark);
}

void VtrMarkupWriter::NoteLevel(int level)
{
    if (level > VtrXMLDocument::kMaxNestingDepth)
        m_tooDeep = true;
}

void VtrMarkupWriter::Escaped(std::string& out, const char* value, bool attribute)
{
    const unsigned char mask = attribute ? kInAttribute : kInText;
    const char* run = value;
    for (const char* p = value;; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == 0) {
            out.append(run, static_cast<size_t>(p - run));
            return;
        }
        if (!(kSpecial[c] & mask))
            continue;
        out.append(run, static_cast<size_t>(p - run));
        run = p + 1;
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default: // a control character: tab and line breaks as two decimal digits
            if (IsForbiddenXmlControl(c))
                break;
            out += "&#";
            out += static_cast<char>('0' + c / 10);
            out += static_cast<char>('0' + c % 10);
            out += ';';
            break;
        }
    }
}
