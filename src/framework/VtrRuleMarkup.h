#pragma once

#include <string>
#include <unordered_map>
#include <utility>

#include <QString>

namespace pugi {
class xml_node;
}

// XML 1.0 allows no control character but tab, line feed and carriage
// return, not even as a reference ("&#01;"): other XML readers refuse a file
// that holds one. Whatever writes a rule file drops them, as the spreadsheet
// reader does; where a user types a text, it is refused instead.
constexpr bool IsForbiddenXmlControl(unsigned c)
{
    return c >= 1 && c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}
// The index of the first such character in text, or -1.
qsizetype FirstForbiddenXmlCharacter(const QString& text);
// Drops them from the node's attribute values and texts and from everything
// under it.
void DropForbiddenXmlCharacters(pugi::xml_node node);

// Rule elements written straight from rule objects, without building a tree:
// a save writes every rule once, and building and then printing a tree of a
// big file costs several times what writing its text does. Two forms, either
// or both, byte for byte what printing the tree gives:
// - file: as a save writes it, indented with tabs, each element led by its
//   line break (a rule under the root starts with "\n\t<Rule");
// - raw: without indentation, the form the rules' fingerprint hashes.
// The caller takes the text away (and clears it) as it likes. Names and
// values are UTF-8 and end at their first NUL, as the tree's C-string calls
// take them. Control characters XML forbids are left out, as from a tree
// that DropForbiddenXmlCharacters went through.
class VtrMarkupWriter
{
public:
    enum Forms { kFile = 1, kRaw = 2, kBoth = 3 };
    explicit VtrMarkupWriter(Forms forms = kBoth)
        : m_forms(forms)
    { }

    std::string file;
    std::string raw;
    Forms WrittenForms() const { return m_forms; }

    // Starts an element at a depth under the root (a rule is at depth 1);
    // afterText when it follows text inside its parent (no line break then).
    void StartElement(const char* name, int depth, bool afterText = false);
    // An attribute of the element just started.
    void Attribute(const char* name, const char* value);
    // Ends the start tag of an element that has content.
    void EndStartTag();
    // Ends an element without content.
    void EndEmptyElement();
    // Text inside the current element.
    void Text(const char* value);
    // The end tag; afterText when the element's last content was text.
    void EndElement(const char* name, int depth, bool afterText);

    // Nodes deeper than this under the document are refused, as the tree's
    // save refuses them (the root is at level 1, a rule at level 2).
    void NoteLevel(int level);
    bool TooDeep() const { return m_tooDeep; }

    // Markup kept for content shared by several rules (a module's settings
    // repeated across a file), keyed by the address of that content: each
    // form is made once per save. Valid while the content is not changed.
    std::unordered_map<const void*, std::pair<std::string, std::string>>& SharedMarkup() { return m_shared; }

private:
    // The string the text goes to first, and where it is copied after.
    std::string& Main() { return m_forms & kFile ? file : raw; }
    void Copy(size_t mark)
    {
        if (m_forms == kBoth)
            raw.append(file, mark);
    }
    void LineBreak(int depth);
    void Escaped(std::string& out, const char* value, bool attribute);

    Forms m_forms;
    bool m_tooDeep = false;
    std::unordered_map<const void*, std::pair<std::string, std::string>> m_shared;
};
