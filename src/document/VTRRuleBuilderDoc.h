#pragma once

#include "document/FileDetails.h"
#include "document/RuleDocViewLink.h"

#include <QList>
#include <QObject>
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
    // Releases the rules and the lock.
    void OnCloseDocument();

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified);
    // Title with "*" while modified and " [Read-Only] " when read-only.
    QString GetTitle() const { return m_title; }
    void SetTitle(const QString& title);
    QString GetPathName() const { return m_path; }
    bool IsReadOnly() const { return m_readOnly; }
    bool HoldsLock() const;

    CVTRFileDetails& FileDetails() { return m_details; }
    // Rules that a save writes, in list order (kept in step with the check boxes).
    QList<CVtrRule*>& SelectedRules() { return m_selected; }
    // User-defined rules of this document.
    QList<CVtrRule*>& UserDefinedRules() { return m_userRules; }
    RuleUnits CurrentUnits() const { return m_details.units; }
    RuleUnits PreviousUnits() const { return m_details.previousUnits; }
    void SetUnits(const RuleUnits& current);

    // Password state.
    bool IsPasswordProtected() const { return m_details.passwordProtected; }
    bool IsPasswordConfirmed() const { return m_passwordConfirmed; }
    void SetConfirmedPassword(const QString& password);

    // Releases one rule (module rules through their module) and nulls the pointer.
    void DeleteRule(CVtrRule*& rule);

    // Views.
    void AddView(IRuleDocView* view);
    void RemoveView(IRuleDocView* view);
    const QList<IRuleDocView*>& Views() const { return m_views; }
    void UpdateAllViews(int hint);

signals:
    // Title or modified state changed.
    void TitleChanged(const QString& title);

private:
    CVTRFileDetails m_details;
    QList<CVtrRule*> m_selected;
    QList<CVtrRule*> m_userRules;
    QList<IRuleDocView*> m_views;
    QString m_path;
    QString m_title;
    QString m_confirmedPassword;
    bool m_modified = false;
    bool m_readOnly = false;
    bool m_readOnlyTitleAdded = false;
    bool m_passwordConfirmed = false;
    void* m_lock = nullptr;
};
