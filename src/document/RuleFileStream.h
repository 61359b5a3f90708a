#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <pugixml.hpp>

// A rule file read in blocks: the root's start tag first, then the root's
// children a run at a time, each run parsed as one fragment, so that no tree
// of the whole file is built and memory stays small whatever the file's
// size. The scan knows only what rule files hold; anything else (another
// encoding, a document type, text beside the rules, nodes nested too deep, an
// error of any kind) makes it give up, and the caller loads the whole file
// instead, so every answer stays the one a full load gives.
class RuleFileStream
{
public:
    // Takes the descriptor of an open regular file and closes it.
    explicit RuleFileStream(int fd);
    ~RuleFileStream();
    RuleFileStream(const RuleFileStream&) = delete;
    RuleFileStream& operator=(const RuleFileStream&) = delete;

    // Reads up to and with the root's start tag; false to give up.
    bool Start();
    // The root element with its attributes and without children (after Start).
    pugi::xml_node Root() const { return m_rootTag.first_child(); }

    enum class Step {
        Children, // the next run of the root's children is in the fragment
        End, // the root and the file ended as a rule file ends
        GiveUp, // load the whole file instead
    };
    // Parses the next run of children into fragment (blanks between them come
    // as text nodes; everything else is an element). The fragment's texts
    // point into the stream's buffer, valid until the next call, unless
    // copied: then the fragment holds its own.
    Step Next(pugi::xml_document& fragment, bool copied = false);

private:
    static constexpr size_t kBlock = 1 << 20;
    static constexpr size_t kIncomplete = SIZE_MAX;
    static constexpr size_t kBad = SIZE_MAX - 1;

    struct Span
    {
        size_t begin = 0;
        size_t size = 0;
        bool rootEnds = false;
        bool bad = false;
    };

    bool More();
    const char* Data() const { return m_buffer.data(); }
    size_t Size() const { return m_buffer.size(); }
    bool StartsWith(size_t at, const char* text) const;
    size_t After(size_t at, const char* terminator) const;
    size_t TagEnd(size_t at) const;
    size_t MiscEnd(size_t at) const;
    size_t ElementEnd(size_t at) const;
    bool SkipMisc();
    Span CompleteChildren();
    bool IsRootEndTag(size_t at, size_t end) const;
    // Whether "<!" (a comment, character data, a declaration) stands in [begin, end).
    bool HasMarkupDeclaration(size_t begin, size_t end) const;
    // Where the last "</Rule>" read so far ends, or 0.
    size_t LastRuleEnd() const;
    bool Epilog();

    int m_fd;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    bool m_eof = false;
    bool m_rootEnded = false;
    pugi::xml_document m_rootTag;
};
