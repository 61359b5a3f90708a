#include "CliDocument.h"

#include "CliContext.h"
#include "ExitCodes.h"

#include "VtrRegularFile.h"
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

int CliDocument::Open()
{
    // Without a terminal to ask, the read-only question is answered No.
    if (m_doc->OnOpenDocument(m_path))
        return ExitCode::kDone;
    const FileErrorCause cause = m_doc->LastOpenCause();
    if (cause == FileErrorCause::SharingViolation || cause == FileErrorCause::AccessDenied) {
        const QString holder = DocumentLock::Holder(m_path);
        std::fprintf(stderr, "%s: %s is open for writing elsewhere%s; nothing was changed\n", qUtf8Printable(m_prefix),
            qUtf8Printable(m_path),
            holder.isEmpty() ? "" : qUtf8Printable(QStringLiteral(" (") + holder + QLatin1Char(')')));
        return ExitCode::kHeld;
    }
    return Refuse(QStringLiteral("%1 cannot be opened as a rule file").arg(m_path));
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
        list.Fill(true, true);
        m_list = &list;
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
