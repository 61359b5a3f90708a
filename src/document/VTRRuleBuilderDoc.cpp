#include "document/VTRRuleBuilderDoc.h"

#include "VtrLibrary.h"
#include "VtrRegularFile.h"
#include "VtrRule.h"
#include "app/AppContext.h"
#include "document/RuleFile.h"
#include "document/RulePassword.h"
#include "modules/ModuleContract.h"
#include "Utilities/FileDialogService.h"
#include "Utilities/MessageService.h"
#include "Utilities/StringTable.h"
#include "Utilities/VTRUIUtils.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

namespace {

const QString kUserDefinedModule = QStringLiteral("Interactive User Defined Rule");
const QString kVstaModule = QStringLiteral("VSTA Rule");

QString Caption()
{
    return VtrString(StrId::DocCaption);
}

QString WithPath(int id, const QString& path)
{
    QString text = VtrString(id);
    return text.replace(QStringLiteral("%s"), path);
}

// The loaded library a rule's module path names, or null. Module libraries
// are few, so a scan of the handle lists per rule stays linear in rules.
void* LoadedLibraryFor(const QString& modulePath)
{
    AppContext* app = AppContext::Instance();
    return app ? LoadedLibraryAt(app->Modules(), modulePath) : nullptr;
}

// The read-only question, saying who holds the file when its lock file
// tells: "... not available for write access. It is being edited by USER on
// HOST since TIME. Do you want to open document read only?"
QString ReadOnlyQuestion(const QString& path, const LockHolder& holder)
{
    const QString question = VtrString(61630);
    if (!holder.IsKnown())
        return QString(question).replace(QStringLiteral("%s"), path);
    const auto known = [](const QString& text) { return text.isEmpty() ? QStringLiteral("?") : text; };
    const QString who = VtrString(62103)
                            .replace(QStringLiteral("%u"), known(holder.user))
                            .replace(QStringLiteral("%h"), known(holder.host))
                            .replace(QStringLiteral("%t"),
                                known(holder.since.isValid() ? holder.since.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                                                             : QString()));
    // Between the statement and the question; after both when the text has
    // no such break. Split before the path goes in: it may hold ". " too.
    const qsizetype end = question.indexOf(QStringLiteral(". "), question.indexOf(QStringLiteral("%s")));
    QString head = end >= 0 ? question.left(end + 2) : question + QLatin1Char('\n');
    QString tail = end >= 0 ? question.mid(end + 2) : QString();
    return head.replace(QStringLiteral("%s"), path) + who + (tail.isEmpty() ? QString() : QStringLiteral(" "))
        + tail.replace(QStringLiteral("%s"), path);
}

int g_untitledCount = 0;

// Fills the "%s" and "%d" places of a string, in order.
QString Filled(QString text, const QStringList& values)
{
    qsizetype from = 0;
    for (const QString& value : values) {
        const qsizetype s = text.indexOf(QLatin1String("%s"), from);
        const qsizetype d = text.indexOf(QLatin1String("%d"), from);
        const qsizetype at = s < 0 ? d : (d < 0 ? s : std::min(s, d));
        if (at < 0)
            break;
        text.replace(at, 2, value);
        from = at + value.size();
    }
    return text;
}

// The warning about rules of modules that are not loaded: how many, and the
// module names in file order, each once.
QString DroppedRulesMessage(const QString& path, const std::vector<DroppedRuleElement>& dropped)
{
    QStringList modules;
    QSet<QString> seen;
    for (const DroppedRuleElement& rule : dropped) {
        const QString name = rule.module.isEmpty() ? QStringLiteral("(no module named)")
                                                   : QLatin1Char('"') + rule.module + QLatin1Char('"');
        if (!seen.contains(name)) {
            seen.insert(name);
            modules << name;
        }
    }
    return Filled(VtrString(StrId::RulesOfUnloadedModules),
        { QString::number(dropped.size()), QFileInfo(path).fileName(), modules.join(QStringLiteral(", ")) });
}

} // namespace

CVTRRuleBuilderDoc::CVTRRuleBuilderDoc() = default;

CVTRRuleBuilderDoc::~CVTRRuleBuilderDoc()
{
    if (m_lock.IsHeld()) {
        LogWithText(QStringLiteral("%s has been closed"), m_title);
        m_lock.Release();
    }
}

QString CVTRRuleBuilderDoc::FileFilter()
{
    return QStringLiteral("VTRPro(*.vtr)|*.vtr|All Files(*.*)|*.*||");
}

bool CVTRRuleBuilderDoc::OnNewDocument()
{
    ReleaseFileRules();
    m_selected.Clear();
    m_userRules.Clear();
    m_details = CVTRFileDetails();
    m_modified = false;
    m_readOnly = false;
    m_passwordConfirmed = false;
    m_confirmedPassword.clear();
    m_diskSize = -1;
    m_title = QStringLiteral("VTRPro%1").arg(++g_untitledCount);
    // A new document's path is its title made absolute; it names no file
    // yet, so the first save asks for one.
    m_path = QDir::current().absoluteFilePath(m_title);
    if (AppContext* app = AppContext::Instance())
        app->SetUnitsEnabled(true);
    EmitTitle();
    return true;
}

bool CVTRRuleBuilderDoc::OnOpenDocument(const QString& path)
{
    LogWithText(QStringLiteral("Command received to open Rule file %s"), path);
    m_lastOpenCause = FileErrorCause::None;
    m_readOnly = false;
    const bool ownPath = !m_path.isEmpty() && path == m_path;

    // Anything but a regular file is refused before the lock is taken: reading
    // a FIFO waits for a writer that may never come.
    if (QFileInfo::exists(path) && !VtrIsRegularFile(path)) {
        ShowMessage(WithPath(StrId::FileCouldNotOpen, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }

    DocumentLock lock;
    const FileErrorCause cause = ownPath && m_lock.IsHeld() ? FileErrorCause::None : lock.Acquire(path);
    switch (cause) {
    case FileErrorCause::None:
        break;
    case FileErrorCause::Generic:
    case FileErrorCause::FileNotFound:
    case FileErrorCause::BadPath:
        if (!ownPath) {
            m_lastOpenCause = cause;
            ShowMessage(WithPath(StrId::FileCouldNotOpen, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            return false;
        }
        break;
    case FileErrorCause::AccessDenied:
    case FileErrorCause::SharingViolation:
        if (!ownPath) {
            // Denied access is this user's lack of rights, not another
            // copy's lock: the question says which.
            const QString question = cause == FileErrorCause::AccessDenied
                ? WithPath(62104, path)
                : ReadOnlyQuestion(path, DocumentLock::HolderOf(path));
            const MsgAnswer answer = ShowMessage(question, Caption(), MsgIcon::Warning, MsgButtons::YesNo);
            if (answer != MsgAnswer::Yes) {
                m_lastOpenCause = cause;
                LogLine(QStringLiteral("File is already open. User selected not to open in read-only mode"));
                return false;
            }
            LogLine(QStringLiteral("File opened in read only mode"));
            m_readOnly = true;
        }
        break;
    default:
        break;
    }

    CVTRFileDetails record;
    if (!ReadRuleFile(record, path)) {
        // A file that is not a rule file would otherwise open as an empty
        // document without a word, and a save would overwrite it.
        for (CVtrRule* rule : record.Rules()) {
            CVtrRule* r = rule;
            DeleteRule(r);
        }
        m_readOnly = false;
        ShowMessage(WithPath(StrId::FileCouldNotOpen, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    ReleaseFileRules();
    m_details = record;
    m_droppedRules = static_cast<int>(m_details.droppedRules.size());
    if (lock.IsHeld())
        m_lock.TakeOver(lock);
    else if (m_readOnly)
        m_lock.Release();

    m_path = path;
    if (!m_readOnly) {
        if (AppContext* app = AppContext::Instance())
            app->SetUnitsEnabled(true);
    }
    RememberDiskState(path);
    m_modified = false;
    SetTitle(QFileInfo(path).fileName());
    if (m_droppedRules > 0) {
        // Said now, while the file is untouched: the rule list marks the
        // document modified and the next save leaves these rules out.
        LogWithNumber(QStringLiteral("%d rules of the file belong to modules that are not loaded"), m_droppedRules);
        ShowMessage(DroppedRulesMessage(path, m_details.droppedRules), Caption(), MsgIcon::Warning, MsgButtons::Ok);
    }
    LogLine(QStringLiteral("Rule file has been opened successfully"));
    return true;
}

bool CVTRRuleBuilderDoc::OnSaveDocument(const QString& path)
{
    LogLine(QStringLiteral("Save has been called"));
    if (m_readOnly && path != m_path) {
        m_readOnly = false; // saving under another name is allowed
        SetTitle(m_title);
    }
    const bool ownPath = path == m_path;

    {
        DocumentLock probe;
        const FileErrorCause cause = probe.Acquire(path, false);
        probe.Release();
        switch (cause) {
        case FileErrorCause::Generic:
            ShowMessage(VtrString(61647), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            return false;
        case FileErrorCause::AccessDenied:
            ShowMessage(VtrString(61646), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            return false;
        case FileErrorCause::SharingViolation:
            if (!ownPath) {
                ShowMessage(WithPath(61644, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
                return false;
            }
            break; // our own lock
        case FileErrorCause::ReadOnlyMedium:
            ShowMessage(VtrString(61645), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            return false;
        default:
            break;
        }
    }

    if (m_readOnly) {
        DocumentLock probe;
        if (!m_lock.IsHeld() && probe.Acquire(path, false) == FileErrorCause::None) {
            if (ShowMessage(VtrString(61631), Caption(), MsgIcon::Warning, MsgButtons::YesNo) != MsgAnswer::Yes) {
                probe.Release();
                LogLine(QStringLiteral("The document was read-only when opened. Now the file has been released by "
                                       "other users, And user has selected not to overwrite others' changes"));
                return false;
            }
            m_readOnly = false;
            m_lock.TakeOver(probe);
            SetTitle(m_title);
        } else {
            ShowMessage(VtrString(61632), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            LogLine(QStringLiteral("The document was opened in read-only mode. Changes can not be saved"));
            return false;
        }
    }

    if (ownPath && !ConfirmOverwriteOfChangedFile(path))
        return false;

    if (!m_passwordConfirmed
        && !CheckPassword(m_details.passwordProtected, m_details.password, m_passwordConfirmed, m_confirmedPassword))
        return false;

    // Lock the target before writing so no other copy opens it half-way; the
    // old lock stays until the write has succeeded, so a failure keeps the
    // document as it was. (The lock lives in its own file, so holding it
    // does not stop the rename that replaces the document.)
    DocumentLock newLock;
    if (!(m_lock.IsHeld() && m_lock.DocumentPath() == path)) {
        const FileErrorCause cause = newLock.Acquire(path, false);
        if (cause == FileErrorCause::SharingViolation) {
            ShowMessage(WithPath(61644, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
            return false;
        }
    }

    LogLine(QStringLiteral("Updating file details"));
    const QDateTime now = QDateTime::currentDateTime();
    const QString createdOn = QString::asprintf("%.2d/%.2d/%.4d %.2d:%.2d:%.2d", now.date().month(), now.date().day(),
        now.date().year(), now.time().hour(), now.time().minute(), now.time().second());
    CVTRFileDetails record;
    record.name = path;
    record.createdBy = LoggedOnUserName();
    record.createdOn = createdOn;
    record.units = m_details.units;
    record.previousUnits = m_details.previousUnits;
    m_selected.ForEach([&record](CVtrRule* rule) { record.AddRule(rule); });
    if (m_passwordConfirmed) {
        record.passwordProtected = true;
        record.password = m_confirmedPassword;
        m_details.passwordProtected = true;
        m_details.password = m_confirmedPassword;
    }
    m_details.name = record.name;
    m_details.createdBy = record.createdBy;
    m_details.createdOn = record.createdOn;

    if (!WriteRuleFile(record, path, false)) {
        ShowMessage(WithPath(62102, path), Caption(), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }

    if (newLock.IsHeld()) {
        m_lock.TakeOver(newLock);
    } else if (!m_lock.IsHeld()) {
        m_lock.Acquire(path, false);
    }
    // The save put a new file in the old one's place; the lock moves with it.
    if (m_lock.IsHeld() && !m_lock.FollowReplacedDocument())
        LogWithText(QStringLiteral("The saved file %s could not be locked again"), path);
    m_modified = false;
    m_path = path;
    RememberDiskState(path);
    SetTitle(QFileInfo(path).fileName());
    LogLine(QStringLiteral("The document has been saved"));
    emit Saved(path);
    return true;
}

bool CVTRRuleBuilderDoc::DoFileSave()
{
    const QFileInfo info(m_path);
    if (m_path.isEmpty() || !info.exists())
        return DoSaveAs();
    return OnSaveDocument(m_path);
}

bool CVTRRuleBuilderDoc::DoSaveAs()
{
    QString name = m_title;
    if (!name.contains(QLatin1String(".vtr")))
        name += QStringLiteral(".vtr");
    const QFileInfo info(m_path);
    const QString folder = info.exists() ? info.absolutePath() : QString();
    QString chosen;
    if (GetFileDialogService()->AskPath(false, folder, QString(), QStringLiteral("vtr"), name,
            FileDialogFlags::kOverwritePrompt | FileDialogFlags::kPathMustExist | FileDialogFlags::kHideReadOnly,
            FileFilter(), chosen)
            != 1
        || chosen.isEmpty())
        return false;
    return OnSaveDocument(chosen);
}

bool CVTRRuleBuilderDoc::SaveModified()
{
    if (!m_modified)
        return true;
    QString name = m_title;
    name.remove(QLatin1Char('*'));
    if (!name.contains(QLatin1String(".vtr")))
        name += QStringLiteral(".vtr");
    const MsgAnswer answer = ShowMessage(WithPath(61658, name), Caption(), MsgIcon::Question, MsgButtons::YesNoCancel);
    if (answer == MsgAnswer::No)
        return true;
    if (answer != MsgAnswer::Yes)
        return false;
    const QFileInfo info(m_path);
    QString chosen;
    if (GetFileDialogService()->AskPath(false, info.exists() ? info.absolutePath() : QString(), QString(),
            QStringLiteral("vtr"), name, FileDialogFlags::kOverwritePrompt | FileDialogFlags::kPathMustExist,
            FileFilter(), chosen)
            != 1
        || chosen.isEmpty())
        return false;
    // A failed save keeps the document open, so nothing the user did is lost.
    return OnSaveDocument(chosen);
}

void CVTRRuleBuilderDoc::OnCloseDocument(bool lastDocument)
{
    ReleaseAllRules();
    m_fileRulesToMatch = false;

    if (m_lock.IsHeld()) {
        LogWithText(QStringLiteral("%s has been closed"), m_title);
        m_lock.Release();
    }
    m_modified = false;
    if (lastDocument) {
        if (AppContext* app = AppContext::Instance()) {
            app->SetConfigureRuleEnabled(false);
            app->SetUnitsEnabled(false);
            app->ShowStatusText(QStringLiteral("Ready."));
        }
    }
}

void CVTRRuleBuilderDoc::ReleaseAllRules()
{
    // Every rule this document or its views hold is released once.
    OrderedRuleSet all;
    for (IRuleDocView* view : m_views) {
        for (CVtrRule* rule : view->ListedRules())
            all.Append(rule);
        view->ClearRows();
    }
    for (CVtrRule* rule : m_details.Rules())
        all.Append(rule);
    m_selected.ForEach([&all](CVtrRule* r) { all.Append(r); });
    m_userRules.ForEach([&all](CVtrRule* r) { all.Append(r); });
    m_details.ClearRules();
    all.ForEach([this](CVtrRule* rule) {
        CVtrRule* r = rule;
        DeleteRule(r);
    });
    m_selected.Clear();
    m_userRules.Clear();
}

bool CVTRRuleBuilderDoc::ReloadFileRules()
{
    if (m_modified || m_path.isEmpty() || !VtrIsRegularFile(m_path))
        return false;
    CVTRFileDetails record;
    if (!ReadRuleFile(record, m_path)) {
        for (CVtrRule* rule : record.Rules()) {
            CVtrRule* r = rule;
            DeleteRule(r);
        }
        LogWithText(QStringLiteral("%s could not be read again; its rules stay as they were"), m_path);
        return false;
    }
    // A fresh record, not rules appended to the old one: each rule of the
    // file is then held once.
    ReleaseAllRules();
    m_details = record;
    m_droppedRules = static_cast<int>(m_details.droppedRules.size());
    m_fileRulesToMatch = true;
    RememberDiskState(m_path);
    LogWithText(QStringLiteral("Rule file %s has been read again"), m_path);
    return true;
}

void CVTRRuleBuilderDoc::ForgetFileRules(const QSet<CVtrRule*>& rules)
{
    if (rules.isEmpty())
        return;
    std::vector<CVtrRule*>& list = m_details.Rules();
    list.erase(
        std::remove_if(list.begin(), list.end(), [&rules](CVtrRule* r) { return rules.contains(r); }), list.end());
}

void CVTRRuleBuilderDoc::ReleaseRulesOfLibraries(const QSet<QString>& paths)
{
    if (paths.isEmpty())
        return;
    QSet<CVtrRule*> listed;
    for (IRuleDocView* view : m_views)
        for (CVtrRule* rule : view->ListedRules())
            listed.insert(rule);
    QSet<CVtrRule*> gone;
    for (CVtrRule* rule : m_details.Rules()) {
        const QString& module = rule->GetRuleModuleName();
        // The program made user-defined rules; their code is not in the library.
        if (listed.contains(rule) || module == kUserDefinedModule || module == kVstaModule
            || !paths.contains(rule->GetModulePath()))
            continue;
        gone.insert(rule);
    }
    ForgetFileRules(gone);
    for (CVtrRule* rule : gone) {
        CVtrRule* r = rule;
        DeleteRule(r);
    }
}

void CVTRRuleBuilderDoc::SetModifiedFlag(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    EmitTitle();
}

QString CVTRRuleBuilderDoc::GetTitle() const
{
    QString title = m_title;
    if (m_readOnly)
        title += QStringLiteral(" [Read-Only] ");
    if (m_modified)
        title += QLatin1Char('*');
    return title;
}

void CVTRRuleBuilderDoc::SetTitle(const QString& title)
{
    // Decorations are added by GetTitle, once, whatever the caller passes.
    QString base = title;
    if (base.endsWith(QLatin1Char('*')))
        base.chop(1);
    if (base.endsWith(QStringLiteral(" [Read-Only] ")))
        base.chop(13);
    m_title = base;
    EmitTitle();
}

void CVTRRuleBuilderDoc::SetUnits(const RuleUnits& current)
{
    m_details.previousUnits = m_details.units;
    m_details.units = current;
}

void CVTRRuleBuilderDoc::SetConfirmedPassword(const QString& password)
{
    m_confirmedPassword = password;
    m_passwordConfirmed = true;
}

void CVTRRuleBuilderDoc::DeleteRule(CVtrRule*& rule)
{
    if (!rule)
        return;
    m_selected.Remove(rule);
    m_userRules.Remove(rule);
    void* library = LoadedLibraryFor(rule->GetModulePath());
    if (!library) {
        const QString& module = rule->GetRuleModuleName();
        if (module == kUserDefinedModule || module == kVstaModule || rule->GetModulePath().isEmpty()) {
            // The program made it (the reader builds user-defined rules itself).
            if (module == kUserDefinedModule || module == kVstaModule) {
                delete rule;
                rule = nullptr;
            }
        }
        // A rule of a module that is no longer loaded cannot be released:
        // its code is gone with the library.
        return;
    }
    if (auto deleteRule = reinterpret_cast<PFN_DeleteRule>(VtrLibrary::Find(library, ModuleExports::kDeleteRule)))
        deleteRule(&rule);
}

void CVTRRuleBuilderDoc::AddView(IRuleDocView* view)
{
    if (view && !m_views.contains(view))
        m_views.append(view);
}

void CVTRRuleBuilderDoc::RemoveView(IRuleDocView* view)
{
    m_views.removeAll(view);
}

void CVTRRuleBuilderDoc::UpdateAllViews(int hint)
{
    const QList<IRuleDocView*> views = m_views;
    for (IRuleDocView* view : views)
        view->OnUpdate(hint);
}

bool CVTRRuleBuilderDoc::ConfirmOverwriteOfChangedFile(const QString& path)
{
    const QFileInfo info(path);
    if (m_diskSize < 0 || !info.exists())
        return true;
    if (info.size() == m_diskSize && info.lastModified() == m_diskTime)
        return true;
    return ShowMessage(WithPath(62100, path), Caption(), MsgIcon::Warning, MsgButtons::YesNo) == MsgAnswer::Yes;
}

void CVTRRuleBuilderDoc::RememberDiskState(const QString& path)
{
    const QFileInfo info(path);
    m_diskSize = info.exists() ? info.size() : -1;
    m_diskTime = info.lastModified();
}

void CVTRRuleBuilderDoc::ReleaseFileRules()
{
    // Only rules that no view took over; views hand theirs back on close.
    if (!m_views.isEmpty())
        return;
    for (CVtrRule* rule : m_details.Rules()) {
        CVtrRule* r = rule;
        DeleteRule(r);
    }
    m_details.ClearRules();
}

void CVTRRuleBuilderDoc::EmitTitle()
{
    emit TitleChanged(GetTitle());
}
