#include "document/RuleFile.h"

#include "ConcreteVTRRule.h"
#include "FrameworkExports.h"
#include "VTRFrameWrkUtils.h"
#include "VtrLibrary.h"
#include "VtrRegularFile.h"
#include "VtrRule.h"
#include "VtrRuleMarkup.h"
#include "VtrUtf8.h"
#include "VtrXMLDocument.h"
#include "VtrXMLNode.h"
#include "Utilities/MessageService.h"
#include "Utilities/Progress.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"
#include "app/AppContext.h"
#include "document/Fingerprint.h"
#include "document/RuleFileStream.h"
#include "document/RulePassword.h"
#include "modules/ModuleContract.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
const QString kRootName = QString::fromLatin1(RuleFileNames::kRoot);

// Hands one XML document to the framework and to the modules for the life of
// the object, then hands back what the framework had before, so that nobody
// keeps a pointer to a document that is gone.
class XmlDocHandOver
{
public:
    XmlDocHandOver(VtrXMLDocument* document, bool includeInstalled)
        : m_previous(VtrFrameworkXMLDoc())
    {
        if (AppContext* app = AppContext::Instance()) {
            ModuleSet& modules = app->Modules();
            Collect(modules.loadedRuleModules);
            if (includeInstalled)
                Collect(modules.loadedInstalledModules);
        }
        Send(document);
    }
    ~XmlDocHandOver() { Send(m_previous); }
    XmlDocHandOver(const XmlDocHandOver&) = delete;
    XmlDocHandOver& operator=(const XmlDocHandOver&) = delete;

private:
    void Collect(const PtrArray& handles)
    {
        for (int32_t i = 0; i < handles.GetSize(); ++i)
            if (void* fn = VtrLibrary::Find(handles.GetAt(i), ModuleExports::kSetXMLDoc))
                m_setters.push_back(reinterpret_cast<PFN_SetXMLDoc>(fn));
    }
    void Send(VtrXMLDocument* document)
    {
        SetXMLDoc(document);
        for (PFN_SetXMLDoc set : m_setters)
            set(document);
    }

    VtrXMLDocument* m_previous;
    std::vector<PFN_SetXMLDoc> m_setters;
};

// The GetRule exports to offer elements to, in order, with the module path
// of each (stamped on rules that do not name their library).
struct RuleSource
{
    PFN_GetRule getRule;
    QString path;
    PFN_DeleteRule deleteRule; // null when the library has none
};

std::vector<RuleSource> CollectRuleSources()
{
    std::vector<RuleSource> sources;
    AppContext* app = AppContext::Instance();
    if (!app)
        return sources;
    ModuleSet& modules = app->Modules();
    const auto add = [&sources](void* handle) {
        if (void* fn = VtrLibrary::Find(handle, ModuleExports::kGetRule))
            sources.push_back({ reinterpret_cast<PFN_GetRule>(fn), VtrLibrary::FileName(handle),
                reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(handle, ModuleExports::kDeleteRule)) });
    };
    for (int32_t i = 0; i < modules.loadedRuleModules.GetSize(); ++i)
        add(modules.loadedRuleModules.GetAt(i));
    if (modules.configuratorLibrary)
        add(modules.configuratorLibrary);
    return sources;
}

// Whether UTF-8 text equals an ASCII text, case aside as QString compares
// them. ASCII against ASCII folds as ASCII does; other text takes the long way.
bool SameTextCaseAside(const char* text, const char* ascii)
{
    for (size_t i = 0;; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80)
            return QString::fromUtf8(text).compare(QLatin1String(ascii), Qt::CaseInsensitive) == 0;
        if (VtrAsciiLower(c) != VtrAsciiLower(static_cast<unsigned char>(ascii[i])))
            return false;
        if (c == 0)
            return true;
    }
}

// The rule an element gives, and the source that made it (null for a
// user-defined rule made here).
CVtrRule* RuleFromSources(
    VtrXMLNode* ruleNode, const std::vector<RuleSource>& sources, const RuleSource** madeBy = nullptr)
{
    if (madeBy)
        *madeBy = nullptr;
    // Asked here first, the module name is remembered for the modules. Both
    // tests are made before a module sees the element, as a copy of the
    // text would give them.
    const char* moduleText = ruleNode->AttributeText("RuleModule");
    const bool userDefined = moduleText && std::strcmp(moduleText, RuleFileNames::kUserDefinedModule) == 0;
    const bool userDefinedCaseAside
        = userDefined || (moduleText && SameTextCaseAside(moduleText, RuleFileNames::kUserDefinedModule));
    if (!userDefined) {
        for (const RuleSource& source : sources) {
            CVtrRule* rule = nullptr;
            source.getRule(ruleNode, &rule);
            if (rule) {
                if (rule->GetModulePath().isEmpty())
                    rule->SetModulePath(source.path);
                if (madeBy)
                    *madeBy = &source;
                return rule;
            }
        }
    }
    if (!userDefinedCaseAside)
        return nullptr;

    auto* rule = new ConcreteVTRRule();
    rule->PopulateParametersFromXML(ruleNode);
    static const struct
    {
        const char* name;
        int32_t id;
    } kFixedIds[] = {
        { "Curl - External Bend Distance", 19053 },
        { "SM - Minimum Distance between Holes", 19054 },
        { "SM - Minimum Hole Diameter", 19055 },
        { "SM - Minimum Flange Width", 19056 },
    };
    for (const auto& fixed : kFixedIds)
        if (rule->GetRuleName().compare(QLatin1String(fixed.name), Qt::CaseInsensitive) == 0)
            rule->SetRuleId(fixed.id);
    return rule;
}

// "%ld"-like: optional blanks and sign, then digits; trailing text is ignored.
// False (value untouched) when no number leads the text.
bool ParseLeadingInteger(const QString& text, int32_t& value)
{
    const QByteArray narrow = text.toUtf8();
    const char* start = narrow.constData();
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(start, &end, 10);
    if (end == start)
        return false;
    // Out-of-range numbers keep their low 32 bits, as a 32-bit store of a long would.
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(parsed)));
    return true;
}

// Prints an element a rule built with GetXML into the markup as a save of
// the tree prints it; false when the element belongs to another document.
bool AppendBuiltElement(VtrXMLDocument& document, const VtrXMLNode& element, VtrMarkupWriter& markup)
{
    const pugi::xml_node node = element.Native();
    if (node.root() != document.Native())
        return false;
    markup.NoteLevel(2 + VtrXMLDocument::NestingDepth(node));
    // The printer would write them as references, which XML forbids too.
    DropForbiddenXmlCharacters(node);
    if (markup.WrittenForms() & VtrMarkupWriter::kFile) {
        std::string printed;
        element.AppendIndentedXMLUtf8(printed, 1);
        markup.file += '\n';
        markup.file.append(printed, 0, printed.empty() ? 0 : printed.size() - 1); // its line break leads the next one
    }
    if (markup.WrittenForms() & VtrMarkupWriter::kRaw)
        element.AppendXMLUtf8(markup.raw);
    return true;
}

// The declaration and the root's start tag, with the record's attributes.
std::string RootStartTag(const CVTRFileDetails& record, const QString& fingerprint, bool noRules)
{
    VtrMarkupWriter tag;
    tag.file = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    tag.StartElement(RuleFileNames::kRoot, 0);
    const auto attribute = [&tag](const char* name, const QString& value) { tag.Attribute(name, VtrUtf8(value)); };
    attribute("Name", record.name);
    attribute("Createdby", record.createdBy);
    attribute("CreatedOn", record.createdOn);
    attribute("Unit", QString::number(record.units.LinearUnit));
    attribute("AngularUnit", QString::number(record.units.AngularUnit));
    tag.Attribute("Version", RuleFileNames::kVersionValue);
    if (record.passwordProtected) {
        attribute("Password", EncodePassword(record.password));
        attribute("RulesData", fingerprint);
    }
    if (noRules)
        tag.EndEmptyElement();
    else
        tag.EndStartTag();
    return std::move(tag.file);
}

// What one rule put into the markup.
enum class Written {
    Nothing, // no element (GetXML gave none)
    Foreign, // an element of another document: left out
    Rule, // its "Rule" element
    OtherElement, // an element of another name: written, but no part of the fingerprint
};

Written AppendRuleMarkup(CVtrRule& rule, VtrXMLDocument& document, VtrMarkupWriter& markup)
{
    if (rule.AppendMarkup(markup))
        return Written::Rule;
    std::unique_ptr<VtrXMLNode> element(rule.GetXML());
    if (!element)
        return Written::Nothing;
    if (!AppendBuiltElement(document, *element, markup))
        return Written::Foreign;
    const bool isRule = std::strcmp(element->Native().name(), RuleFileNames::kRule) == 0;
    // Printed: the document need not keep it.
    document.StagingNode().remove_child(element->Native());
    return isRule ? Written::Rule : Written::OtherElement;
}

void ShowModifiedMessage()
{
    ShowMessage(
        QString::fromLatin1(kRuleFileModifiedMessage), QStringLiteral("VTRPro"), MsgIcon::Warning, MsgButtons::Ok);
}

// One read of a rule file into a record: the root's attributes, then the
// rule elements in order. The record changes only when the read is kept;
// a read given up releases the rules it made.
class RuleFileReading
{
public:
    RuleFileReading(CVTRFileDetails& record, VtrXMLDocument& document, const std::vector<RuleSource>& sources)
        : m_record(record)
        , m_read(record)
        , m_document(document)
        , m_sources(sources)
        , m_progress(VtrString(StrId::ProgressReading))
    {
        m_read.droppedRules.clear();
    }
    ~RuleFileReading()
    {
        if (m_kept)
            return;
        for (const auto& [rule, source] : m_made) {
            CVtrRule* doomed = rule;
            if (!source)
                delete doomed;
            else if (source->deleteRule)
                source->deleteRule(&doomed);
        }
    }
    RuleFileReading(const RuleFileReading&) = delete;
    RuleFileReading& operator=(const RuleFileReading&) = delete;

    void RootAttributes(pugi::xml_node root)
    {
        const VtrXMLNode node(root, &m_document);
        QString value;
        if (node.GetAttributeValue(QStringLiteral("Version"), value))
            m_read.version = value; // kept for display, never interpreted
        if (node.GetAttributeValue(QStringLiteral("Unit"), value))
            ParseLeadingInteger(value, m_read.units.LinearUnit);
        if (node.GetAttributeValue(QStringLiteral("AngularUnit"), value))
            ParseLeadingInteger(value, m_read.units.AngularUnit);
        m_stored = StoredRulesFingerprint(node);
        if (IsProtected()) {
            QString password;
            node.GetAttributeValue(QStringLiteral("Password"), password);
            m_read.password = DecodePassword(password);
            m_read.passwordProtected = true;
        }
    }
    // Whether the file carries a password and a fingerprint to check.
    bool IsProtected() const { return !m_stored.isEmpty(); }
    const QString& StoredFingerprint() const { return m_stored; }

    // A "Rule" element.
    void Element(pugi::xml_node child)
    {
        m_progress.Step(++m_done);
        VtrXMLNode element(child, &m_document);
        const RuleSource* source = nullptr;
        CVtrRule* rule = RuleFromSources(&element, m_sources, &source);
        if (!rule) {
            // Its module is not loaded: the rule is dropped, and the caller
            // says so before a save can lose it.
            DroppedRuleElement dropped;
            element.GetAttributeValue(QStringLiteral("Name"), dropped.name);
            element.GetAttributeValue(QStringLiteral("RuleCategory"), dropped.category);
            element.GetAttributeValue(QStringLiteral("RuleModule"), dropped.module);
            m_read.droppedRules.push_back(std::move(dropped));
            return;
        }
        m_made.emplace_back(rule, source);
        m_read.AddRule(rule);
    }
    // Every "Rule" child of parent, in order.
    void Elements(pugi::xml_node parent)
    {
        for (pugi::xml_node child = parent.child(RuleFileNames::kRule); child;
             child = child.next_sibling(RuleFileNames::kRule))
            Element(child);
    }

    // The read becomes the record.
    void Keep()
    {
        // Logged only now: a read given up makes no rules after all.
        LogTextBatch log;
        for (const auto& made : m_made)
            log.AddWithText(u"%s rule has been added", made.first->GetRuleName());
        m_record = std::move(m_read);
        m_kept = true;
    }

private:
    CVTRFileDetails& m_record;
    CVTRFileDetails m_read;
    VtrXMLDocument& m_document;
    const std::vector<RuleSource>& m_sources;
    ProgressScope m_progress;
    int64_t m_done = 0;
    QString m_stored;
    std::vector<std::pair<CVtrRule*, const RuleSource*>> m_made;
    bool m_kept = false;
};

// Reads a rule file's runs of children on a thread of its own, a few runs
// ahead of the caller, parsed and (when asked) fingerprinted, so that making
// the rules, which must happen on the caller's thread, is all the caller does.
class ReadAhead
{
public:
    explicit ReadAhead(int fd)
        : m_stream(fd)
    { }
    ~ReadAhead()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Up to and with the root's start tag, on the caller's thread.
    bool Start() { return m_stream.Start(); }
    pugi::xml_node Root() const { return m_stream.Root(); }
    void Go(bool fingerprint)
    {
        m_thread = std::thread([this, fingerprint] { Run(fingerprint); });
    }
    // The next run, or null when the stream ended or gave up (see Outcome).
    std::unique_ptr<pugi::xml_document> Take()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_runs.empty() || m_finished; });
        if (m_runs.empty())
            return nullptr;
        std::unique_ptr<pugi::xml_document> run = std::move(m_runs.front());
        m_runs.pop_front();
        m_changed.notify_all();
        return run;
    }
    // After Take gave null: how the stream ended, and the fingerprint.
    RuleFileStream::Step Outcome() const { return m_outcome; }
    const QString& Fingerprint() const { return m_fingerprint; }

private:
    void Run(bool makeFingerprint)
    {
        std::optional<RulesFingerprintBuilder> fingerprint;
        if (makeFingerprint)
            fingerprint.emplace();
        RuleFileStream::Step step;
        for (;;) {
            auto run = std::make_unique<pugi::xml_document>();
            step = m_stream.Next(*run, true);
            if (step != RuleFileStream::Step::Children)
                break;
            if (fingerprint)
                fingerprint->AddRulesOf(*run);
            std::unique_lock<std::mutex> lock(m_mutex);
            // A few runs ahead at most: memory stays small whoever is faster.
            m_changed.wait(lock, [this] { return m_runs.size() < 3 || m_stop; });
            if (m_stop)
                return;
            m_runs.push_back(std::move(run));
            m_changed.notify_all();
        }
        QString stamp = fingerprint && step == RuleFileStream::Step::End ? fingerprint->Finish() : QString();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_outcome = step;
        m_fingerprint = std::move(stamp);
        m_finished = true;
        m_changed.notify_all();
    }

    RuleFileStream m_stream;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<pugi::xml_document>> m_runs;
    bool m_finished = false;
    bool m_stop = false;
    RuleFileStream::Step m_outcome = RuleFileStream::Step::GiveUp;
    QString m_fingerprint;
};

// Reads a file in blocks (no tree of the whole file): true or false as the
// read ends, nothing when the file needs a full load.
std::optional<bool> ReadStreamed(
    int fd, CVTRFileDetails& record, VtrXMLDocument& document, const std::vector<RuleSource>& sources)
{
    ReadAhead reader(fd);
    if (!reader.Start())
        return std::nullopt;
    RuleFileReading reading(record, document, sources);
    reading.RootAttributes(reader.Root());
    const bool checkFingerprint = reading.IsProtected();
    reader.Go(checkFingerprint);
    while (const std::unique_ptr<pugi::xml_document> run = reader.Take())
        reading.Elements(*run);
    if (reader.Outcome() != RuleFileStream::Step::End)
        return std::nullopt; // the rules made so far are released with the reading
    if (checkFingerprint && reader.Fingerprint() != reading.StoredFingerprint())
        ShowModifiedMessage();
    reading.Keep();
    return true;
}

// How one pass of a save ended.
enum class SaveOutcome {
    Saved,
    Failed, // error says why
    StampDiffers, // the file's fingerprint did not fit the room left for it; stamp holds it
};

// Writes the rules' elements straight into the file's text, a block at a
// time. A protected file's fingerprint stands in the root's start tag but is
// known only when every rule is written: it is made alongside (hashed on
// another thread while the file is written), the start tag gets a stand-in
// of a digest's length, and the stand-in is overwritten at the end. With
// knownStamp the fingerprint is written as given instead.
SaveOutcome WriteRules(const std::vector<CVtrRule*>& rules, const CVTRFileDetails& record, const QString& path,
    VtrXMLDocument& document, const QString* knownStamp, QString& stamp, QString& error)
{
    static const QString kStandIn(32, QLatin1Char('0'));
    const bool makeStamp = record.passwordProtected && !knownStamp;
    ProgressScope progress(VtrString(StrId::ProgressSaving), static_cast<int64_t>(rules.size()));
    int64_t done = 0;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return SaveOutcome::Failed;
    }
    std::optional<RulesFingerprintBuilder> fingerprint;
    if (makeStamp)
        fingerprint.emplace();
    VtrMarkupWriter markup(makeStamp ? VtrMarkupWriter::kBoth : VtrMarkupWriter::kFile);
    markup.file = RootStartTag(record, makeStamp ? kStandIn : knownStamp ? *knownStamp : QString(), false);
    // Where the stand-in stands: the last attribute's value, before '"' and '>'.
    const qint64 standInAt = static_cast<qint64>(markup.file.size()) - 2 - kStandIn.size();
    bool writeFailed = false;
    const auto flush = [&file, &markup, &writeFailed] {
        const auto size = static_cast<qint64>(markup.file.size());
        if (!writeFailed && file.write(markup.file.data(), size) != size)
            writeFailed = true;
        markup.file.clear();
    };
    constexpr size_t kBlock = 1 << 20;
    bool anyElement = false;
    // One log line per rule: formatted in one buffer, not a locked write each.
    LogTextBatch log;
    for (CVtrRule* rule : rules) {
        progress.Step(++done);
        if (!rule)
            continue;
        const Written written = AppendRuleMarkup(*rule, document, markup);
        if (written == Written::Nothing)
            continue;
        if (written == Written::Foreign) {
            // Only an element built in some other document ends up here.
            if (!knownStamp)
                log.AddWithText(u"%s could not be added in the file to be saved", rule->GetRuleName());
            continue;
        }
        anyElement = true;
        if (fingerprint && written == Written::Rule)
            fingerprint->AddRule(markup.raw);
        markup.raw.clear();
        if (!knownStamp)
            log.AddWithText(u"%s has been added in the file to be saved", rule->GetRuleName());
        if (markup.file.size() >= kBlock)
            flush();
    }
    log.Flush();
    if (markup.TooDeep()) {
        // Deeper trees are refused when read: such a file could not be opened again.
        file.cancelWriting();
        error = QStringLiteral("elements nested deeper than %1 levels").arg(VtrXMLDocument::kMaxNestingDepth);
        return SaveOutcome::Failed;
    }
    if (fingerprint)
        stamp = fingerprint->Finish();
    if (!anyElement) {
        // Nothing is written yet: the root alone, closed in its start tag.
        markup.file = RootStartTag(record, makeStamp ? stamp : knownStamp ? *knownStamp : QString(), true) + "\n";
    } else {
        markup.file += std::string("\n</") + RuleFileNames::kRoot + ">\n";
        if (makeStamp && stamp.size() != kStandIn.size()) {
            file.cancelWriting();
            return SaveOutcome::StampDiffers;
        }
    }
    flush();
    if (makeStamp && anyElement && !writeFailed) {
        const QByteArray digits = stamp.toLatin1();
        if (!file.seek(standInAt) || file.write(digits) != digits.size())
            writeFailed = true;
    }
    if (writeFailed) {
        error = file.errorString();
        file.cancelWriting();
        return SaveOutcome::Failed;
    }
    if (!file.commit()) {
        error = file.errorString();
        return SaveOutcome::Failed;
    }
    return SaveOutcome::Saved;
}

QString UserDataFolder()
{
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty())
        return appData;
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty())
        return xdg;
    return QDir::homePath() + QStringLiteral("/.local/share");
}
} // namespace

QString AllRulesHostFolder(int32_t hostCode)
{
    switch (hostCode) {
    case 1:
        return QStringLiteral("SW");
    case 2:
        return QStringLiteral("Creo");
    case 3:
        return QStringLiteral("NX");
    case 4:
        return QStringLiteral("CGM");
    case 5:
        return QStringLiteral("Catia");
    default:
        return {};
    }
}

QString GetAllRulesFilePath()
{
    const QString vtrpro = UserDataFolder() + QStringLiteral("/VTRPRO");
    const QString host = vtrpro + QLatin1Char('/') + AllRulesHostFolder(CVTRFrameWrkUtils::GetCADType());
    // Failures show later as a failed write; nothing to report here.
    QDir().mkpath(vtrpro);
    QDir().mkpath(host);
    return host + QLatin1Char('/') + QString::fromLatin1(RuleFileNames::kAllRulesFile);
}

QString FormatCreatedOn(const QDateTime& when)
{
    return when.toString(QStringLiteral("MM/dd/yyyy HH:mm:ss"));
}

CVtrRule* MakeRuleFromElement(VtrXMLNode* ruleNode)
{
    if (!ruleNode || ruleNode->IsNull())
        return nullptr;
    return RuleFromSources(ruleNode, CollectRuleSources());
}

bool WriteRuleFile(CVTRFileDetails& record, const QString& path, bool allRules)
{
    AppContext* app = AppContext::Instance();
    if (!app || path.isEmpty())
        return false;

    std::vector<CVtrRule*> rules;
    if (allRules)
        rules.assign(app->AllRules().cbegin(), app->AllRules().cend());
    else
        rules = record.Rules();

    // The document is where a rule that only knows GetXML builds its element.
    VtrXMLDocument document;
    XmlDocHandOver handOver(&document, allRules);
    QString error;
    QString stamp;
    switch (WriteRules(rules, record, path, document, nullptr, stamp, error)) {
    case SaveOutcome::Saved:
        return true;
    case SaveOutcome::Failed:
        break;
    case SaveOutcome::StampDiffers:
        // No rule element to fingerprint after all: written again with the
        // fingerprint known.
        if (WriteRules(rules, record, path, document, &stamp, stamp, error) == SaveOutcome::Saved)
            return true;
        break;
    }
    LogWithText(QStringLiteral("%s could not be saved"), path + QStringLiteral(": ") + error);
    return false;
}

bool ReadRuleFile(CVTRFileDetails& record, const QString& path)
{
    if (path.isEmpty())
        return false;

    VtrXMLDocument document;
    XmlDocHandOver handOver(&document, false);
    const std::vector<RuleSource> sources = CollectRuleSources();
    {
        const int fd = VtrOpenRegularFileForReading(path.toLocal8Bit().constData());
        if (fd >= 0)
            if (const std::optional<bool> read = ReadStreamed(fd, record, document, sources))
                return *read;
    }

    // Anything the streamed read does not know, and every error with its reason.
    std::unique_ptr<VtrXMLNode> root(document.LoadFromFile(path));
    if (!root || root->GetNodeName() != kRootName)
        return false;
    RuleFileReading reading(record, document, sources);
    reading.RootAttributes(root->Native());
    const bool checkFingerprint = reading.IsProtected();
    if (checkFingerprint && RulesFingerprint(root.get()) != reading.StoredFingerprint())
        ShowModifiedMessage();
    reading.Elements(root->Native());
    reading.Keep();
    return true;
}

bool RefreshAllRulesFile(
    const QList<CVtrRule*>& installedRules, const RuleUnits& previous, const RuleUnits& current, bool activeDocument)
{
    AppContext* app = AppContext::Instance();
    if (!app)
        return false;
    if (!app->LastAllRulesFile().isEmpty() && QFile::exists(app->LastAllRulesFile()))
        QFile::remove(app->LastAllRulesFile());

    for (CVtrRule* rule : installedRules)
        if (rule)
            rule->UpdateRule(&previous, &current);
    app->AllRules() = installedRules;

    const QString path = GetAllRulesFilePath();
    if (QFile::exists(path))
        QFile::remove(path);
    app->SetAllRulesPath(path);
    if (!activeDocument)
        return false;

    CVTRFileDetails record;
    record.units = current;
    const bool written = WriteRuleFile(record, path, true);
    app->SetLastAllRulesFile(written ? path : QString());
    return written;
}
