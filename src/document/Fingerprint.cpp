#include "document/Fingerprint.h"

#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrRegularFile.h"
#include "document/VTRProMD5.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {
bool IsAscii(const std::string& text)
{
    unsigned char seen = 0;
    for (const char c : text)
        seen |= static_cast<unsigned char>(c);
    return seen < 0x80;
}

// Feeds UTF-16 text to an MD5 digest in blocks. Once the text outgrows one
// block, a second thread hashes each full block while the caller makes the
// next: hashing is the larger part of a fingerprint, and the digest of the
// blocks in order is the digest of the text.
class BlockedMd5
{
public:
    explicit BlockedMd5(Md5Stream& md5)
        : m_md5(md5)
    {
        m_filling.reserve(kBlock);
    }
    ~BlockedMd5() { Stop(); }
    BlockedMd5(const BlockedMd5&) = delete;
    BlockedMd5& operator=(const BlockedMd5&) = delete;

    // Appends ASCII text, one code unit per byte.
    void AddAscii(const std::string& text) { Add(text.data(), text.size()); }
    void AddUtf16(const QString& text)
    {
        Add(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
    }
    // Hashes what is left; the digest is then complete.
    void Finish()
    {
        if (!m_thread.joinable()) {
            m_md5.AddUtf16(m_filling.data(), m_filling.size());
            m_filling.clear();
            return;
        }
        Hand();
        Stop();
    }

private:
    static constexpr size_t kBlock = 1 << 20; // code units

    template <typename Unit> void Add(const Unit* text, size_t size)
    {
        while (size > 0) {
            const size_t n = std::min(size, kBlock - m_filling.size());
            m_filling.insert(m_filling.end(), text, text + n);
            text += n;
            size -= n;
            if (m_filling.size() == kBlock)
                Hand();
        }
    }
    // Queues the filled block for the hashing thread (started on the first
    // block) and takes an empty one.
    void Hand()
    {
        std::vector<char16_t> next;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_thread.joinable())
                m_thread = std::thread([this] { Run(); });
            // Two blocks waiting at most: memory stays small whoever is faster.
            m_taken.wait(lock, [this] { return m_queue.size() < 2; });
            m_queue.push_back(std::move(m_filling));
            if (!m_spare.empty()) {
                next = std::move(m_spare.back());
                m_spare.pop_back();
            }
        }
        m_ready.notify_one();
        next.clear();
        next.reserve(kBlock);
        m_filling = std::move(next);
    }
    void Run()
    {
        for (;;) {
            std::vector<char16_t> block;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_ready.wait(lock, [this] { return !m_queue.empty() || m_done; });
                if (m_queue.empty())
                    return;
                block = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_taken.notify_one();
            m_md5.AddUtf16(block.data(), block.size());
            std::lock_guard<std::mutex> lock(m_mutex);
            m_spare.push_back(std::move(block));
        }
    }
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_ready.notify_one();
        if (m_thread.joinable())
            m_thread.join();
    }

    Md5Stream& m_md5;
    std::vector<char16_t> m_filling;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_taken;
    std::deque<std::vector<char16_t>> m_queue;
    std::vector<std::vector<char16_t>> m_spare;
    bool m_done = false;
    std::thread m_thread;
};
} // namespace

struct RulesFingerprintBuilder::State
{
    Md5Stream md5;
    std::optional<BlockedMd5> blocks;
    bool any = false;
    State() { blocks.emplace(md5); }
};

RulesFingerprintBuilder::RulesFingerprintBuilder()
    : m_state(std::make_unique<State>())
{ }

RulesFingerprintBuilder::~RulesFingerprintBuilder() = default;

void RulesFingerprintBuilder::AddRule(const std::string& markup)
{
    if (IsAscii(markup))
        m_state->blocks->AddAscii(markup);
    else // the rare text beyond ASCII, including bytes that are not UTF-8
        m_state->blocks->AddUtf16(QString::fromUtf8(markup.data(), static_cast<qsizetype>(markup.size())));
    m_state->any = true;
}

QString RulesFingerprintBuilder::Finish()
{
    m_state->blocks->Finish();
    m_state->blocks.reset();
    return m_state->any ? m_state->md5.Finish() : QString();
}

QString RulesFingerprint(const VtrXMLNode* root)
{
    if (!root || root->IsNull())
        return {};
    RulesFingerprintBuilder fingerprint;
    // Rule by rule through one buffer, so no string of the whole file's
    // markup is built and no rule costs an allocation.
    std::string utf8;
    for (pugi::xml_node child = root->Native().child("Rule"); child; child = child.next_sibling("Rule")) {
        utf8.clear();
        VtrXMLNode(child, root->Owner()).AppendXMLUtf8(utf8);
        fingerprint.AddRule(utf8);
    }
    return fingerprint.Finish();
}

namespace {
// Checks a file's fingerprint without building the tree of the whole file:
// the file is read in blocks and scanned child by child of the root, and the
// complete children of each block are parsed as one fragment. The scan knows
// only what rule files hold; anything else (another encoding, a document type,
// text beside the rules, an error of any kind) makes it give up, and the caller
// loads the whole file instead, so every answer and every reason stays the one
// a full load gives.
class StreamedCheck
{
public:
    explicit StreamedCheck(int fd)
        : m_fd(fd)
    { }
    ~StreamedCheck() { ::close(m_fd); }
    StreamedCheck(const StreamedCheck&) = delete;
    StreamedCheck& operator=(const StreamedCheck&) = delete;

    // The status, or nothing when the file needs a full load.
    std::optional<FingerprintStatus> Run()
    {
        if (!Prolog())
            return std::nullopt;
        RulesFingerprintBuilder fingerprint;
        std::string utf8;
        for (;;) {
            const Span run = CompleteChildren();
            if (run.bad)
                return std::nullopt;
            if (run.size > 0 && !ParseRun(run, fingerprint, utf8))
                return std::nullopt;
            if (run.rootEnds)
                break;
        }
        if (!Epilog())
            return std::nullopt;
        if (!m_protected)
            return FingerprintStatus::Unprotected;
        return fingerprint.Finish() == m_stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
    }

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

    // Reads more of the file after what is not consumed yet; false at its end.
    bool More()
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
    const char* Data() const { return m_buffer.data(); }
    size_t Size() const { return m_buffer.size(); }
    bool StartsWith(size_t at, const char* text) const
    {
        const size_t n = std::strlen(text);
        return Size() - at >= n && std::memcmp(Data() + at, text, n) == 0;
    }
    // End (past the terminator) of the construct at `at` closed by `terminator`.
    size_t After(size_t at, const char* terminator) const
    {
        const size_t n = std::strlen(terminator);
        for (size_t i = at; i + n <= Size(); ++i)
            if (std::memcmp(Data() + i, terminator, n) == 0)
                return i + n;
        return kIncomplete;
    }
    // End of the tag that starts at `at` ('<'), quotes respected.
    size_t TagEnd(size_t at) const
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
    size_t MiscEnd(size_t at) const
    {
        if (StartsWith(at, "<!--"))
            return After(at + 4, "-->");
        if (StartsWith(at, "<?"))
            return After(at + 2, "?>");
        return 0;
    }
    // End of the element that starts at `at`.
    size_t ElementEnd(size_t at) const
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
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    // Skips blanks, comments and processing instructions; false when the file
    // ends or holds something the scan does not expect.
    bool SkipMisc()
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
    // Everything up to and with the root's start tag, whose attributes say
    // whether the file is protected.
    bool Prolog()
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
        pugi::xml_document root;
        if (!root.load_buffer(tag.data(), tag.size(), pugi::parse_default, pugi::encoding_utf8))
            return false;
        const pugi::xml_node element = root.first_child();
        if (!element || std::strcmp(element.name(), "VTRExpress") != 0 || element.next_sibling())
            return false;
        const VtrXMLNode node(element, nullptr);
        QString password;
        node.GetAttributeValue(QStringLiteral("Password"), password);
        node.GetAttributeValue(QStringLiteral("RulesData"), m_stored);
        m_protected = !password.isEmpty() && !m_stored.isEmpty();
        return true;
    }
    // The run of complete children from the scan position on (blanks,
    // comments and instructions between them included), reading more when
    // not even one is complete; with rootEnds when the root's end tag follows.
    Span CompleteChildren()
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
    bool IsRootEndTag(size_t at, size_t end) const
    {
        size_t last = end - 1; // '>'
        while (last > at + 2 && IsBlank(Data()[last - 1]))
            --last;
        return std::string_view(Data() + at + 2, last - at - 2) == "VTRExpress";
    }
    // Parses a run of children and hashes its rule elements, in order.
    bool ParseRun(const Span& run, RulesFingerprintBuilder& fingerprint, std::string& utf8)
    {
        pugi::xml_document fragment;
        const pugi::xml_parse_result parsed = fragment.load_buffer_inplace(
            m_buffer.data() + run.begin, run.size, pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
        if (!parsed)
            return false;
        for (pugi::xml_node child = fragment.first_child(); child; child = child.next_sibling()) {
            // The scan let only blanks through between children.
            if (child.type() == pugi::node_pcdata)
                continue;
            // Under the root every node is one level deeper than here.
            if (child.type() != pugi::node_element
                || 2 + VtrXMLDocument::NestingDepth(child) > VtrXMLDocument::kMaxNestingDepth)
                return false;
            if (!m_protected || std::strcmp(child.name(), "Rule") != 0)
                continue;
            utf8.clear();
            VtrXMLNode(child, nullptr).AppendXMLUtf8(utf8);
            fingerprint.AddRule(utf8);
        }
        return true;
    }
    // After the root: only blanks, comments and instructions.
    bool Epilog()
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

    int m_fd;
    std::vector<char> m_buffer;
    size_t m_pos = 0;
    bool m_eof = false;
    bool m_protected = false;
    QString m_stored;
};
} // namespace

FingerprintStatus VerifyRuleFileFingerprint(const QString& path, QString* detail)
{
    {
        const int fd = VtrOpenRegularFileForReading(path.toLocal8Bit().constData());
        if (fd >= 0)
            if (const std::optional<FingerprintStatus> status = StreamedCheck(fd).Run())
                return *status;
    }
    VtrXMLDocument document;
    std::unique_ptr<VtrXMLNode> root(document.LoadFromFile(path));
    if (!root) {
        if (detail)
            *detail = document.LastError();
        return FingerprintStatus::Unreadable;
    }
    if (root->GetNodeName() != QLatin1String("VTRExpress")) {
        if (detail)
            *detail = QStringLiteral("root element is \"%1\", not \"VTRExpress\"").arg(root->GetNodeName());
        return FingerprintStatus::Unreadable;
    }
    QString password;
    QString stored;
    root->GetAttributeValue(QStringLiteral("Password"), password);
    root->GetAttributeValue(QStringLiteral("RulesData"), stored);
    if (password.isEmpty() || stored.isEmpty())
        return FingerprintStatus::Unprotected;
    return RulesFingerprint(root.get()) == stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
}
