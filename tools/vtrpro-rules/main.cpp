// vtrpro-rules: the rule manager's logic without windows, for scripts and for
// checking files.

#include "CommandLine.h"
#include "Commands.h"
#include "ExitCodes.h"

#include <cstdio>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    CLI::App root { "The rule manager's logic without windows, for scripts and for checking files.", "vtrpro-rules" };
    root.require_subcommand(1, 1);
    root.set_version_flag("--version", std::string("vtrpro-rules ") + VTRPRO_VERSION);
    root.footer("Exit codes: 0 done, 1 found something, 2 refused or unreadable (file untouched), 3 fingerprint "
                "mismatch, 4 held by another copy.");
    bool declarations = false;
    root.add_flag("--list-declarations", declarations)->group(""); // for the tests of the manual and completion
    CommandLine::Declarations commands;
    DeclareCommands(root, commands);

    if (argc == 1) {
        std::fprintf(stderr, "%s", root.help().c_str());
        return ExitCode::kRefused;
    }
    if (argc == 2 && std::string(argv[1]) == "--list-declarations") {
        CommandLine::PrintDeclarations(root);
        return ExitCode::kDone;
    }
    // A word that names no command where one is needed is said as such, not
    // as a missing command.
    const auto named = [](const CLI::App& app, const std::string& word) -> const CLI::App* {
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
            if (sub->get_name() == word)
                return sub;
        return nullptr;
    };
    const CLI::App* at = &root;
    for (int i = 1; i < argc && argv[i][0] != '-'; ++i) {
        const CLI::App* next = named(*at, argv[i]);
        if (!next) {
            if (at->get_require_subcommand_min() == 0)
                break;
            const QString word = CommandLine::WithoutPasswords(QString::fromLocal8Bit(argv[i]));
            if (at == &root) {
                std::fprintf(stderr, "vtrpro-rules: unknown command \"%s\"\nRun \"vtrpro-rules --help\" for the commands.\n",
                    qUtf8Printable(word));
                return ExitCode::kRefused;
            }
            return CommandLine::UsageError(*at, QStringLiteral("unknown command \"%1\"").arg(word));
        }
        at = next;
    }
    try {
        root.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return root.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return root.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return root.exit(e);
    } catch (const CLI::ParseError& e) {
        QString reason = CommandLine::WithoutPasswords(QString::fromLocal8Bit(e.what()));
        // CLI11 says "The following argument(s) were not expected: ..."; say it plainly.
        if (dynamic_cast<const CLI::ExtrasError*>(&e))
            reason = QStringLiteral("unknown option or argument: ") + reason.section(QStringLiteral(": "), 1);
        // A command that takes a command of its own and got none.
        // The subcommand being parsed, else the program.
        const std::vector<CLI::App*> parsed = root.get_subcommands();
        const CLI::App* sub = parsed.empty() ? &root : parsed.front();
        while (!sub->get_subcommands().empty())
            sub = sub->get_subcommands().front();
        if (dynamic_cast<const CLI::RequiredError*>(&e) && sub->get_require_subcommand_min() > 0
            && sub->get_subcommands().empty()) {
            QStringList names;
            for (const CLI::App* c : sub->get_subcommands([](const CLI::App*) { return true; }))
                names << QString::fromStdString(c->get_name());
            reason = QStringLiteral("give one of its commands: ") + names.join(QStringLiteral(", "));
        }
        if (sub == &root) {
            std::fprintf(
                stderr, "vtrpro-rules: %s\nRun \"vtrpro-rules --help\" for the commands.\n", qUtf8Printable(reason));
            return ExitCode::kRefused;
        }
        return CommandLine::UsageError(*sub, reason);
    }
    for (const CommandLine::Declared& command : commands)
        if (command.app->parsed())
            return command.run();
    std::fprintf(stderr, "vtrpro-rules: no command given\nRun \"vtrpro-rules --help\" for the commands.\n");
    return ExitCode::kRefused;
}
