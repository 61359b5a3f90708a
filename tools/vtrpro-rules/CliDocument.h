#pragma once

#include "CommandLine.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

class CliContext;
class CVtrRule;
class CVTRRuleBuilderDoc;
class RuleListController;

// Opens a rule file to change it, as the program opens a document, and
// saves it through the document's lock and save path. Every command that
// writes an existing rule file goes through here, so each refuses the same
// files with the same exit code and leaves them untouched:
//
//     CliDocument file(QStringLiteral("vtrpro-rules"), a.file, password);
//     return file.Change([&](CliDocument& open) {
//         ...change open.Doc() through open.List()...
//         return open.Save();
//     });
class CliDocument
{
public:
    // prefix starts every message ("vtrpro-rules" or "vtrpro-rules units");
    // password answers the password question, which without one is
    // answered with Cancel.
    CliDocument(const QString& prefix, const QString& file, std::optional<QString> password);
    ~CliDocument();
    CliDocument(const CliDocument&) = delete;
    CliDocument& operator=(const CliDocument&) = delete;

    // Whether filling the rule list writes the running program's all-rules
    // file, as a view does (true by default).
    void SetWritesAllRulesFile(bool writes) { m_writesAllRulesFile = writes; }

    // Whether a file holding rules that no loaded module offers may be saved
    // without them. Without it such a file is refused: saving would drop them.
    void SetDropUnoffered(bool drop) { m_dropUnoffered = drop; }
    // The option that allows it, declared on a command that saves.
    static void AddDropUnoffered(CLI::App& sub, bool& drop);
    static constexpr char kDropUnofferedOption[] = "--drop-unoffered";

    // Refuses what is not a regular file and a protected file whose
    // fingerprint does not match (saving would re-sign a change made outside
    // the program), starts the modules, opens the file, fills its rule list,
    // refuses a file with rules no loaded module offers (unless they may be
    // dropped) and runs change with it open. Returns change's exit code, or
    // the code of the refusal after printing why on stderr.
    int Change(const std::function<int(CliDocument&)>& change);

    // Saves the open document. ExitCode::kDone, or ExitCode::kRefused after
    // saying why (a missing or wrong password, a failed write).
    int Save();

    // Prints "PREFIX: text; nothing was changed" on stderr; returns
    // ExitCode::kRefused.
    int Refuse(const QString& text) const;

    const QString& Path() const { return m_path; }
    bool HasPassword() const { return m_password.has_value(); }
    CliContext& Cli() { return *m_cli; }
    CVTRRuleBuilderDoc& Doc() { return *m_doc; }
    RuleListController& List() { return *m_list; }

private:
    int Check() const;
    int Open();
    // A file rule as it was read, before the list matched it with the modules.
    struct FileRule
    {
        const CVtrRule* rule;
        QString name;
        QString category;
        QString module;
    };
    int CheckUnoffered(const std::vector<FileRule>& read);

    QString m_prefix;
    QString m_path;
    std::optional<QString> m_password;
    bool m_writesAllRulesFile = true;
    bool m_dropUnoffered = false;
    std::unique_ptr<CliContext> m_cli;
    std::unique_ptr<CVTRRuleBuilderDoc> m_doc;
    RuleListController* m_list = nullptr;
};
