#include "CliDocument.h"

#include "CliContext.h"
#include "ExitCodes.h"

#include "VtrRegularFile.h"
#include "VtrRule.h"
#include "document/DocumentLock.h"
#include "document/Fingerprint.h"
#include "document/RulePassword.h"
#include "document/VTRRuleBuilderDoc.h"
#include "views/RuleListController.h"

#include <cstdio>

#include <QFileInfo>

CliDocument::CliDocument(const QString& prefix, const QString& file, std::optional<QString> password)
    : m_prefix(prefix)
    , m_path(QFileInfo(file).absoluteFilePath())
    , m_password(std::move(password))
{ }

CliDocument::~CliDocument()
{
    SetPasswordPrompt({});
}

int CliDocument::Refuse(const QString& text) const
{
    std::fprintf(stderr, "%s: %s; nothing was changed\n", qUtf8Printable(m_prefix), qUtf8Printable(text));
    return ExitCode::kRefused;
}

int CliDocument::Check() const
{
    QString why;
    if (!QFileInfo::exists(m_path))
        return Refuse(QStringLiteral("%1 does not exist").arg(m_path));
    if (!VtrIsRegularFile(m_path, &why))
        return Refuse(QStringLiteral("%1 is %2").arg(m_path, why));

    // Saving re-signs a protected file: one changed outside the program is
    // refused, or the change would pass as the owner's.
    QString detail;
    switch (VerifyRuleFileFingerprint(m_path, &detail)) {
    case FingerprintStatus::Modified:
        std::fprintf(stderr,
            "%s: %s: fingerprint does not match; the rules were changed outside the program; nothing was changed\n",
            qUtf8Printable(m_prefix), qUtf8Printable(m_path));
        return ExitCode::kFingerprint;
    case FingerprintStatus::Unreadable:
        return Refuse(QStringLiteral("%1 cannot be read as a rule file: %2").arg(m_path, detail));
    case FingerprintStatus::Unprotected:
    case FingerprintStatus::Matches:
        break;
    }
    return ExitCode::kDone;
}

void CliDocument::AddDropUnoffered(CLI::App& sub, bool& drop)
{
    sub.add_flag(kDropUnofferedOption, drop, "save without the rules no loaded module offers (otherwise refused)");
}

int CliDocument::Open()
{
    // Without a terminal to ask, the read-only question is answered No.
    if (m_doc->OnOpenDocument(m_path)) {
        if (m_doc->HoldsLock())
            return ExitCode::kDone;
        // Opened without its lock (a read-only file system): a save would fail.
        m_doc->OnCloseDocument();
        return Refuse(QStringLiteral("%1 cannot be written").arg(m_path));
    }
    switch (m_doc->LastOpenCause()) {
    case FileErrorCause::SharingViolation: {
        const QString holder = DocumentLock::Holder(m_path);
        std::fprintf(stderr, "%s: %s is open for writing elsewhere%s; nothing was changed\n", qUtf8Printable(m_prefix),
            qUtf8Printable(m_path),
            holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
        return ExitCode::kHeld;
    }
    case FileErrorCause::AccessDenied:
    case FileErrorCause::ReadOnlyMedium:
        // Nobody holds it: this user may not write the file or its folder.
        return Refuse(QStringLiteral("%1 cannot be written").arg(m_path));
    default:
        return Refuse(QStringLiteral("%1 cannot be opened as a rule file").arg(m_path));
    }
}

int CliDocument::CheckUnoffered(const std::vector<FileRule>& read)
{
    // Elements no module made a rule of, and rules the list matched with no
    // module's row: a save writes neither.
    QStringList lost;
    const auto describe = [](const QString& name, const QString& category, const QString& module) {
        return QStringLiteral("\"%1\" (%2, module \"%3\")")
            .arg(name, category.isEmpty() ? QStringLiteral("no category") : category,
                module.isEmpty() ? QStringLiteral("none named") : module);
    };
    for (const DroppedRuleElement& dropped : m_doc->FileDetails().droppedRules)
        lost << describe(dropped.name, dropped.category, dropped.module);
    for (const FileRule& r : read)
        if (!m_doc->SelectedRules().Contains(r.rule))
            lost << describe(r.name, r.category, r.module);
    if (lost.isEmpty() && !m_doc->IsModified())
        return ExitCode::kDone;
    if (m_dropUnoffered) {
        if (!lost.isEmpty())
            std::fprintf(stderr, "%s: %s: saving drops %lld rule(s) that no loaded module offers: %s\n",
                qUtf8Printable(m_prefix), qUtf8Printable(m_path), static_cast<long long>(lost.size()),
                qUtf8Printable(lost.join(QStringLiteral(", "))));
        return ExitCode::kDone;
    }
    if (lost.isEmpty())
        return Refuse(QStringLiteral("%1 holds rules that the loaded modules do not list; saving would drop them "
                                     "(give %2 to save without them)")
                          .arg(m_path, QLatin1String(kDropUnofferedOption)));
    return Refuse(QStringLiteral("%1 holds %2 rule(s) that no loaded module offers: %3; saving would drop them "
                                 "(register their modules, or give %4 to save without them)")
                      .arg(m_path, QString::number(lost.size()), lost.join(QStringLiteral(", ")),
                          QLatin1String(kDropUnofferedOption)));
}

int CliDocument::Change(const std::function<int(CliDocument&)>& change)
{
    if (const int code = Check())
        return code;

    m_cli = std::make_unique<CliContext>();
    if (const int code = m_cli->Start())
        return code;

    // The password is asked only when the file is protected.
    SetPasswordPrompt([this](QString& typed) {
        if (!m_password)
            return false;
        typed = *m_password;
        return true;
    });

    m_doc = std::make_unique<CVTRRuleBuilderDoc>();
    if (const int code = Open())
        return code;

    int code = ExitCode::kDone;
    {
        // The list keeps the document's rules: the close, which releases
        // them, runs while it is linked.
        RuleListController list(m_doc.get());
        list.SetWritesAllRulesFile(m_writesAllRulesFile);
        RuleListDocLink link(&list);
        // The file's rules as read; those the list does not take are lost
        // to a save. Only their addresses are compared after the fill.
        std::vector<FileRule> read;
        read.reserve(m_doc->FileDetails().Rules().size());
        for (const CVtrRule* rule : m_doc->FileDetails().Rules())
            if (rule)
                read.push_back({ rule, rule->GetRuleName(), rule->GetRuleCategory(), rule->GetRuleModuleName() });
        list.Fill(true, true);
        m_list = &list;
        code = CheckUnoffered(read);
        if (code == ExitCode::kDone)
            code = change(*this);
        m_doc->OnCloseDocument();
        m_list = nullptr;
    }
    return code;
}

int CliDocument::Save()
{
    if (m_doc->OnSaveDocument(m_path))
        return ExitCode::kDone;
    if (m_doc->IsPasswordProtected() && !m_doc->IsPasswordConfirmed())
        return Refuse(
            QStringLiteral("%1 is password protected; %2")
                .arg(m_path, m_password ? QStringLiteral("the password is wrong") : QStringLiteral("give --password")));
    return Refuse(QStringLiteral("%1 could not be saved").arg(m_path));
}
