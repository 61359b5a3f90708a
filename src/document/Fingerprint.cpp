#include "document/Fingerprint.h"

#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "VtrRegularFile.h"
#include "document/RuleFileStream.h"
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
    // One buffer for every rule's markup: no rule costs an allocation.
    std::string markup;
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

void RulesFingerprintBuilder::AddRulesOf(pugi::xml_node parent)
{
    for (pugi::xml_node child = parent.child("Rule"); child; child = child.next_sibling("Rule")) {
        m_state->markup.clear();
        VtrXMLNode(child, nullptr).AppendXMLUtf8(m_state->markup);
        AddRule(m_state->markup);
    }
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
    // Rule by rule: no string of the whole file's markup is built.
    RulesFingerprintBuilder fingerprint;
    fingerprint.AddRulesOf(root->Native());
    return fingerprint.Finish();
}

QString StoredRulesFingerprint(const VtrXMLNode& root)
{
    QString password;
    QString stored;
    root.GetAttributeValue(QStringLiteral("Password"), password);
    root.GetAttributeValue(QStringLiteral("RulesData"), stored);
    return password.isEmpty() ? QString() : stored;
}

namespace {
// The status from a streamed read, or nothing when the file needs a full load.
std::optional<FingerprintStatus> StreamedCheck(int fd)
{
    RuleFileStream stream(fd);
    if (!stream.Start())
        return std::nullopt;
    const QString stored = StoredRulesFingerprint(VtrXMLNode(stream.Root(), nullptr));
    const bool isProtected = !stored.isEmpty();
    RulesFingerprintBuilder fingerprint;
    pugi::xml_document fragment;
    for (;;) {
        switch (stream.Next(fragment)) {
        case RuleFileStream::Step::GiveUp:
            return std::nullopt;
        case RuleFileStream::Step::End:
            if (!isProtected)
                return FingerprintStatus::Unprotected;
            return fingerprint.Finish() == stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
        case RuleFileStream::Step::Children:
            // Unprotected, the rest is read only to tell whether the file is whole.
            if (isProtected)
                fingerprint.AddRulesOf(fragment);
            break;
        }
    }
}
} // namespace

FingerprintStatus VerifyRuleFileFingerprint(const QString& path, QString* detail)
{
    {
        const int fd = VtrOpenRegularFileForReading(path.toLocal8Bit().constData());
        if (fd >= 0)
            if (const std::optional<FingerprintStatus> status = StreamedCheck(fd))
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
    const QString stored = StoredRulesFingerprint(*root);
    if (stored.isEmpty())
        return FingerprintStatus::Unprotected;
    return RulesFingerprint(root.get()) == stored ? FingerprintStatus::Matches : FingerprintStatus::Modified;
}
