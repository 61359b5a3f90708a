#pragma once

#include "document/DocumentLock.h"
#include "document/FileDetails.h"
#include "document/OrderedRuleSet.h"
#include "document/RuleDocViewLink.h"

#include <cstdint>
#include <utility>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class CVtrRule;

// One open rule file: new, open (locked, or read-only after asking), save,
// save as, save changes on close, close. Window-free: questions and messages
// go through the message and file-dialog services; views are told of
// changes through update hints.
class CVTRRuleBuilderDoc : public QObject
{
    Q_OBJECT
public:
    CVTRRuleBuilderDoc();
    ~CVTRRuleBuilderDoc() override;

    // New, empty document titled like "VTRPro1".
    bool OnNewDocument();
    // Opens a rule file; false (after any message) when it cannot be opened.
    bool OnOpenDocument(const QString& path);
    // Saves under a path; false (after any message) when the save did not happen.
    bool OnSaveDocument(const QString& path);
    // Save command: the current path, or Save As for a new document.
    bool DoFileSave();
    // Save As command: asks for a path, then saves.
    bool DoSaveAs();
    // Asked before the document closes; false keeps it open.
    bool SaveModified();
    // Releases the rules and the lock. lastDocument says whether no other
    // document window stays open (the application's flags are then cleared).
    void OnCloseDocument(bool lastDocument = true);

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true);
    // Title with " [Read-Only] " when read-only and "*" while modified.
    QString GetTitle() const;
    // The title without decorations (the file name of the path).
    QString GetBaseTitle() const { return m_title; }
    void SetTitle(const QString& title);
    QString GetPathName() const { return m_path; }
    bool IsReadOnly() const { return m_readOnly; }
    bool HoldsLock() const { return m_lock.IsHeld(); }
    // Why the last OnOpenDocument failed (None after success or a refusal
    // that was not about the file, such as an unreadable rule file).
    FileErrorCause LastOpenCause() const { return m_lastOpenCause; }

    CVTRFileDetails& FileDetails() { return m_details; }
    // "Rule" elements of the opened file that yielded no rule (their module
    // is gone); the next save leaves them out.
    int DroppedFileRules() const { return m_droppedRules; }
    // Rules that a save writes, in list order (kept in step with the check boxes).
    OrderedRuleSet& SelectedRules() { return m_selected; }
    const OrderedRuleSet& SelectedRules() const { return m_selected; }
    // User-defined rules of this document.
    OrderedRuleSet& UserDefinedRules() { return m_userRules; }
    RuleUnits CurrentUnits() const { return m_details.units; }
    RuleUnits PreviousUnits() const { return m_details.previousUnits; }
    // The units command: previous takes current, current takes the new pair.
    void SetUnits(const RuleUnits& current);

    // Password state.
    bool IsPasswordProtected() const { return m_details.passwordProtected; }
    bool IsPasswordConfirmed() const { return m_passwordConfirmed; }
    QString ConfirmedPassword() const { return m_confirmedPassword; }
    // A password set by the user (Ctrl+L): kept, confirmed and written by the next save.
    void SetConfirmedPassword(const QString& password);

    // Releases one rule (module rules through their module) and nulls the pointer.
    void DeleteRule(CVtrRule*& rule);

    // After the loaded modules changed: an unmodified document whose file is
    // there reads it again in place of every rule it and its views held, as
    // opening it would; false (nothing changed) otherwise. The views match
    // the fresh rules on their next refill (hint 1).
    bool ReloadFileRules();
    // Whether the file's rules were read again and wait to be matched; the
    // first caller takes the answer.
    bool TakeFileRulesToMatch() { return std::exchange(m_fileRulesToMatch, false); }
    // Forgets rules that are being released elsewhere (a list dropped them).
    void ForgetFileRules(const QSet<CVtrRule*>& rules);
    // Releases the rules of the file whose module path is one of paths and
    // that no view lists, before those libraries are freed.
    void ReleaseRulesOfLibraries(const QSet<QString>& paths);

    // Views.
    void AddView(IRuleDocView* view);
    void RemoveView(IRuleDocView* view);
    const QList<IRuleDocView*>& Views() const { return m_views; }
    void UpdateAllViews(int hint);

    // The save-file filter of rule files.
    static QString FileFilter();

signals:
    // Title or modified state changed.
    void TitleChanged(const QString& title);
    // The document was written to path, whichever command asked for it.
    void Saved(const QString& path);

private:
    // Asks about a file changed on disk since it was opened or saved; false stops the save.
    bool ConfirmOverwriteOfChangedFile(const QString& path);
    void RememberDiskState(const QString& path);
    void ReleaseFileRules();
    // Every rule the document and its views hold, released once; the views are emptied.
    void ReleaseAllRules();
    void EmitTitle();

    CVTRFileDetails m_details;
    OrderedRuleSet m_selected;
    OrderedRuleSet m_userRules;
    QList<IRuleDocView*> m_views;
    DocumentLock m_lock;
    QString m_path;
    QString m_title;
    QString m_confirmedPassword;
    // Size and modification time of the file when it was opened or last saved.
    qint64 m_diskSize = -1;
    QDateTime m_diskTime;
    FileErrorCause m_lastOpenCause = FileErrorCause::None;
    int m_droppedRules = 0;
    bool m_modified = false;
    bool m_readOnly = false;
    bool m_passwordConfirmed = false;
    bool m_fileRulesToMatch = false;
};
