// The rule document: open with the lock or read-only, save and save as,
// save changes on close, close, and what happens to files that are not
// what they seem.

#include "DocFixture.h"
#include "HostileFiles.h"

#include "document/DocumentLock.h"
#include "views/RuleListController.h"
#include "Utilities/StringTable.h"

#include <csignal>
#include <memory>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

#include <pugixml.hpp>

#include <QFileInfo>
#include <QThread>

namespace {

QString Msg(int id, const QString& path = QString())
{
    QString text = VtrString(id);
    return text.replace(QStringLiteral("%s"), path);
}

class DocumentTest : public DocFixture
{
protected:
    QString HeldFile(const QString& name) { return WriteRuleFile(name, { TestRuleElement("TM - Hole Depth") }); }
    // Writes more bytes into a file, as another program would.
    static void Touch(const QString& path)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("<!-- edited elsewhere -->\n");
    }
};

TEST_F(DocumentTest, OpeningAFileHeldElsewhereAsksAboutReadOnly)
{
    const QString path = HeldFile(QStringLiteral("held.vtr"));
    DocumentLock other; // another copy: a second open of the lock file
    ASSERT_EQ(other.Acquire(path), FileErrorCause::None);
    EXPECT_FALSE(DocumentLock::Holder(path).isEmpty());

    const struct
    {
        MsgAnswer answer;
        bool opened;
    } cases[] = { { MsgAnswer::Yes, true }, { MsgAnswer::No, false } };
    for (const auto& c : cases) {
        m_messages.shown.clear();
        m_messages.Answer(c.answer);
        CVTRRuleBuilderDoc doc;
        EXPECT_EQ(doc.OnOpenDocument(path), c.opened);
        ASSERT_EQ(m_messages.shown.size(), 1u);
        // The question, with who holds the file between its two sentences.
        const QString start = path + " file is not available for write access. It is being edited by ";
        EXPECT_TRUE(m_messages.shown[0].text.startsWith(start)) << m_messages.shown[0].text.toStdString();
        EXPECT_TRUE(m_messages.shown[0].text.endsWith(". Do you want to open document read only?"));
        EXPECT_EQ(m_messages.shown[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(doc.IsReadOnly(), c.opened);
        EXPECT_FALSE(doc.HoldsLock());
        if (c.opened) {
            EXPECT_EQ(doc.GetTitle(), QStringLiteral("held.vtr [Read-Only] "));
            EXPECT_EQ(doc.FileDetails().RuleCount(), 1);
        }
        doc.OnCloseDocument();
    }
}

TEST_F(DocumentTest, ReadOnlyDocumentSavedUnderANewPathBecomesWritableAndLocksIt)
{
    const QString path = HeldFile(QStringLiteral("held.vtr"));
    DocumentLock other;
    ASSERT_EQ(other.Acquire(path), FileErrorCause::None);
    CVTRRuleBuilderDoc doc;
    m_messages.Answer(MsgAnswer::Yes);
    ASSERT_TRUE(doc.OnOpenDocument(path));
    const QString copy = m_env.Path(QStringLiteral("copy.vtr"));
    ASSERT_TRUE(doc.OnSaveDocument(copy));
    EXPECT_FALSE(doc.IsReadOnly());
    EXPECT_TRUE(doc.HoldsLock());
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("copy.vtr"));
    EXPECT_EQ(doc.GetPathName(), copy);
    DocumentLock probe;
    EXPECT_EQ(probe.Acquire(copy), FileErrorCause::SharingViolation);
    pugi::xml_document xml;
    EXPECT_TRUE(xml.load_file(QFile::encodeName(copy).constData()));
    EXPECT_EQ(QString::fromUtf8(xml.document_element().attribute("Name").value()), copy);
    doc.OnCloseDocument();
    EXPECT_EQ(probe.Acquire(copy), FileErrorCause::None) << "closing releases the lock";
}

TEST_F(DocumentTest, ReadOnlySaveOnItsOwnPath)
{
    const QString path = HeldFile(QStringLiteral("held.vtr"));
    const QByteArray before = ReadAll(path);
    auto other = std::make_unique<DocumentLock>();
    ASSERT_EQ(other->Acquire(path), FileErrorCause::None);
    CVTRRuleBuilderDoc doc;
    m_messages.Answer(MsgAnswer::Yes);
    ASSERT_TRUE(doc.OnOpenDocument(path));
    doc.SetModifiedFlag(true);

    // Still held by the other copy: refused, file untouched.
    m_messages.shown.clear();
    EXPECT_FALSE(doc.OnSaveDocument(path));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, Msg(61632));
    EXPECT_EQ(ReadAll(path), before);

    // Released: the user is warned; No keeps the file, Yes saves and locks.
    other.reset();
    m_messages.shown.clear();
    m_messages.Answer(MsgAnswer::No);
    EXPECT_FALSE(doc.OnSaveDocument(path));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, Msg(61631));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_TRUE(doc.IsReadOnly());

    m_messages.Answer(MsgAnswer::Yes);
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_FALSE(doc.IsReadOnly());
    EXPECT_TRUE(doc.HoldsLock());
    EXPECT_FALSE(doc.IsModified());
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, SavingOverItsOwnLockedPathGoesThrough)
{
    const QString path = HeldFile(QStringLiteral("own.vtr"));
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_TRUE(doc.HoldsLock());
    doc.SetModifiedFlag(true);
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("own.vtr*"));
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_TRUE(m_messages.shown.empty());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("own.vtr"));
    EXPECT_TRUE(doc.HoldsLock());
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, SaveAsOntoAnotherOpenDocumentIsRefusedWith61644)
{
    const QString a = HeldFile(QStringLiteral("a.vtr"));
    const QString b = HeldFile(QStringLiteral("b.vtr"));
    const QByteArray before = ReadAll(a);
    CVTRRuleBuilderDoc first;
    CVTRRuleBuilderDoc second;
    ASSERT_TRUE(first.OnOpenDocument(a));
    ASSERT_TRUE(second.OnOpenDocument(b));
    m_dialogs.Answer(a);
    EXPECT_FALSE(second.DoSaveAs());
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, Msg(61644, a));
    EXPECT_EQ(ReadAll(a), before);
    EXPECT_EQ(second.GetPathName(), b);
    first.OnCloseDocument(false);
    second.OnCloseDocument();
}

TEST_F(DocumentTest, SaveChangesOnClose)
{
    const struct
    {
        const char* name;
        MsgAnswer answer;
        bool givePath;
        bool result;
        bool written;
    } cases[] = {
        { "yes and a path saves", MsgAnswer::Yes, true, true, true },
        { "yes then cancel keeps the document", MsgAnswer::Yes, false, false, false },
        { "no closes without saving", MsgAnswer::No, false, true, false },
        { "cancel keeps the document", MsgAnswer::Cancel, false, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_messages.shown.clear();
        m_dialogs.asked.clear();
        const QString target
            = m_env.Path(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('_')) + ".vtr");
        CVTRRuleBuilderDoc doc;
        ASSERT_TRUE(doc.OnNewDocument());
        const QString title = doc.GetBaseTitle();
        doc.SetModifiedFlag(true);
        m_messages.Answer(c.answer);
        if (c.givePath)
            m_dialogs.Answer(target);
        EXPECT_EQ(doc.SaveModified(), c.result);
        ASSERT_FALSE(m_messages.shown.empty());
        EXPECT_EQ(m_messages.shown[0].text, Msg(61658, title + ".vtr"));
        EXPECT_EQ(m_messages.shown[0].buttons, MsgButtons::YesNoCancel);
        if (c.answer == MsgAnswer::Yes) {
            ASSERT_EQ(m_dialogs.asked.size(), 1u);
            EXPECT_FALSE(m_dialogs.asked[0].open);
            EXPECT_EQ(m_dialogs.asked[0].initialName, title + ".vtr");
            EXPECT_EQ(m_dialogs.asked[0].filter, QStringLiteral("VTRPro(*.vtr)|*.vtr|All Files(*.*)|*.*||"));
            EXPECT_TRUE(m_dialogs.asked[0].flags & FileDialogFlags::kOverwritePrompt);
            EXPECT_TRUE(m_dialogs.asked[0].flags & FileDialogFlags::kPathMustExist);
        } else {
            EXPECT_TRUE(m_dialogs.asked.empty());
        }
        EXPECT_EQ(QFileInfo::exists(target), c.written);
        doc.OnCloseDocument();
    }
}

TEST_F(DocumentTest, ClosingTheLastDocumentDisablesUnitsAndConfigure)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    EXPECT_TRUE(m_app->UnitsEnabled());
    m_app->SetConfigureRuleEnabled(true);
    doc.OnCloseDocument(false);
    EXPECT_TRUE(m_app->UnitsEnabled()) << "another document is still open";
    EXPECT_TRUE(m_app->ConfigureRuleEnabled());
    doc.OnCloseDocument(true);
    EXPECT_FALSE(m_app->UnitsEnabled());
    EXPECT_FALSE(m_app->ConfigureRuleEnabled());
    EXPECT_EQ(m_app->StatusText(), QStringLiteral("Ready."));
}

TEST_F(DocumentTest, RulesOfModulesThatAreNotLoadedAreAnnouncedBeforeAnythingIsLost)
{
    const QString path = WriteRuleFile(QStringLiteral("colleague.vtr"),
        { TestRuleElement("TM - Hole Depth"),
            "<Rule Name=\"GR - Old Rule\" RuleCategory=\"General\" RuleModule=\"Gone Rules\" Selected=\"1\"/>",
            "<Rule Name=\"XR - Other Rule\" RuleCategory=\"General\" RuleModule=\"Other Rules\" Selected=\"1\"/>",
            "<Rule Name=\"GR - Older Rule\" RuleCategory=\"General\" RuleModule=\"Gone Rules\" Selected=\"1\"/>" });
    const QByteArray onDisk = ReadAll(path);

    // What the document and the file were when the message was shown.
    struct Moment
    {
        bool modified;
        QByteArray file;
    };
    std::vector<Moment> moments;
    CVTRRuleBuilderDoc doc;
    m_messages.onShow = [&](const ScriptedMessages::Shown&) { moments.push_back({ doc.IsModified(), ReadAll(path) }); };

    ASSERT_TRUE(doc.OnOpenDocument(path));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text,
        QStringLiteral("3 rule(s) in colleague.vtr belong to modules that are not loaded: \"Gone Rules\", \"Other "
                       "Rules\".\nThey are not listed, and saving the file removes them. To keep them, close the file "
                       "without saving and register those modules first."));
    EXPECT_EQ(m_messages.shown[0].caption, VtrString(StrId::DocCaption));
    EXPECT_EQ(m_messages.shown[0].icon, MsgIcon::Warning);
    ASSERT_EQ(moments.size(), 1u);
    EXPECT_FALSE(moments[0].modified);
    EXPECT_EQ(moments[0].file, onDisk);
    EXPECT_EQ(doc.DroppedFileRules(), 3);

    // The list then marks the document modified, as before, without a second word.
    RuleListController list(&doc);
    RuleListDocLink link(&list);
    list.Fill(true, true);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(m_messages.shown.size(), 1u);

    // And a save leaves the rules out, as the message said.
    ASSERT_TRUE(doc.OnSaveDocument(path));
    const QByteArray saved = ReadAll(path);
    EXPECT_TRUE(saved.contains("TM - Hole Depth"));
    EXPECT_FALSE(saved.contains("GR - Old Rule"));
    EXPECT_FALSE(saved.contains("XR - Other Rule"));
    EXPECT_EQ(m_messages.shown.size(), 1u);
    m_messages.onShow = nullptr;
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, FilesWhoseRulesAreAllOfferedOpenWithoutAWord)
{
    const QString path = WriteRuleFile(QStringLiteral("mine.vtr"), { TestRuleElement("TM - Hole Depth") });
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    EXPECT_TRUE(m_messages.shown.empty());
    EXPECT_EQ(doc.DroppedFileRules(), 0);
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, FilesThatCannotBeReadAsRuleFilesAreReported)
{
    enum Kind { File, Missing, Fifo };
    const struct
    {
        const char* name;
        QByteArray content;
        Kind kind;
    } cases[] = {
        { "broken.vtr", "<VTRExpress Name=\"x\"><Rule Name=", File },
        { "other.vtr", "<?xml version=\"1.0\"?><Something/>", File },
        { "empty.vtr", "", File },
        { "missing.vtr", "", Missing },
        { "deep.vtr", DeeplyNestedRuleFile(60000), File },
        { "fifo.vtr", "", Fifo },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_messages.shown.clear();
        const QString path = m_env.Path(QString::fromLatin1(c.name));
        if (c.kind == File) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        } else if (c.kind == Fifo) {
            ASSERT_TRUE(MakeFifo(path));
        }
        std::unique_ptr<FifoWatchdog> watchdog(c.kind == Fifo ? new FifoWatchdog(path) : nullptr);
        CVTRRuleBuilderDoc doc;
        EXPECT_FALSE(doc.OnOpenDocument(path));
        if (watchdog) {
            EXPECT_FALSE(watchdog->Finish()) << "the FIFO was opened for reading";
        }
        ASSERT_EQ(m_messages.shown.size(), 1u);
        EXPECT_EQ(m_messages.shown[0].text, Msg(61629, path));
        EXPECT_FALSE(doc.HoldsLock());
        EXPECT_EQ(doc.FileDetails().RuleCount(), 0);
        EXPECT_NE(doc.GetPathName(), path) << "no empty document is left open in its place";
        // A FIFO can never be locked; the check above that the document holds
        // no lock is what matters for it.
        DocumentLock probe;
        if (c.kind == File) {
            EXPECT_EQ(probe.Acquire(path), FileErrorCause::None) << "a refused file stays free";
            EXPECT_EQ(ReadAll(path), c.content) << "a refused file is left as it was";
        }
    }
}

TEST_F(DocumentTest, AFileChangedOnDiskIsNotSilentlyOverwritten)
{
    const QString path = HeldFile(QStringLiteral("shared.vtr"));
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    Touch(path);
    const QByteArray edited = ReadAll(path);

    m_messages.Answer(MsgAnswer::No);
    EXPECT_FALSE(doc.OnSaveDocument(path));
    ASSERT_EQ(m_messages.shown.size(), 1u);
    EXPECT_EQ(m_messages.shown[0].text, Msg(62100, path));
    EXPECT_EQ(ReadAll(path), edited);

    m_messages.shown.clear();
    m_messages.Answer(MsgAnswer::Yes);
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_NE(ReadAll(path), edited);
    // Our own save is not a change by someone else.
    m_messages.shown.clear();
    EXPECT_TRUE(doc.OnSaveDocument(path));
    EXPECT_TRUE(m_messages.shown.empty());
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, TitleDecorations)
{
    CVTRRuleBuilderDoc doc;
    ASSERT_TRUE(doc.OnNewDocument());
    const QString base = doc.GetBaseTitle();
    EXPECT_TRUE(base.startsWith(QStringLiteral("VTRPro")));
    doc.SetModifiedFlag(true);
    doc.SetModifiedFlag(true);
    EXPECT_EQ(doc.GetTitle(), base + QLatin1Char('*'));
    doc.SetTitle(doc.GetTitle()); // setting a decorated title adds nothing twice
    EXPECT_EQ(doc.GetTitle(), base + QLatin1Char('*'));
    doc.SetModifiedFlag(false);
    EXPECT_EQ(doc.GetTitle(), base);
    doc.OnCloseDocument();
}

TEST_F(DocumentTest, KillingTheProgramWhileItSavesLeavesAWholeFileAndNoLock)
{
    // A big document: many rule objects of the test module.
    auto getAll = reinterpret_cast<PFN_GetAllRules>(VtrLibrary::Find(m_module, ModuleExports::kGetAllRules));
    ASSERT_NE(getAll, nullptr);
    const QString path = m_env.Path(QStringLiteral("big.vtr"));
    auto doc = std::make_unique<CVTRRuleBuilderDoc>();
    ASSERT_TRUE(doc->OnNewDocument());
    for (int i = 0; i < 1500; ++i) {
        PtrArray rules;
        getAll(&rules);
        for (int32_t k = 0; k < rules.GetSize(); ++k) {
            auto* rule = static_cast<CVtrRule*>(rules.GetAt(k));
            rule->SetModulePath(VtrLibrary::FileName(m_module));
            rule->SetSelected(1);
            doc->SelectedRules().Append(rule);
        }
    }
    const int expected = static_cast<int>(doc->SelectedRules().Size());
    ASSERT_TRUE(doc->OnSaveDocument(path));
    const QList<CVtrRule*> rules = doc->SelectedRules().ToList();
    doc->SelectedRules().Clear(); // the rules outlive the document; released below
    doc->OnCloseDocument(); // releases the lock: each child takes its own

    std::mt19937 random(12345);
    for (int round = 0; round < 8; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            CVTRRuleBuilderDoc saver;
            saver.OnNewDocument();
            for (CVtrRule* rule : rules)
                saver.SelectedRules().Append(rule);
            for (;;)
                saver.OnSaveDocument(path);
        }
        QThread::msleep(20 + random() % 180);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        pugi::xml_document xml;
        ASSERT_TRUE(xml.load_file(QFile::encodeName(path).constData())) << "round " << round;
        int count = 0;
        for (pugi::xml_node r = xml.document_element().child("Rule"); r; r = r.next_sibling("Rule"))
            ++count;
        EXPECT_EQ(count, expected) << "round " << round;
        DocumentLock next;
        EXPECT_EQ(next.Acquire(path), FileErrorCause::None) << "round " << round;
    }
    auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(m_module, ModuleExports::kDeleteRule));
    for (CVtrRule* rule : rules)
        deleteRule(&rule);
}

} // namespace
