#include "CommandLine.h"

#include "ExitCodes.h"

#include "settings/DatabaseServerText.h"

#include <QCoreApplication>

#include <cstdio>
#include <unordered_map>

namespace CommandLine {

QString Text(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList Texts(const std::vector<std::string>& texts)
{
    QStringList out;
    out.reserve(static_cast<qsizetype>(texts.size()));
    for (const std::string& t : texts)
        out << Text(t);
    return out;
}

CLI::Option* AddFormat(CLI::App& sub, bool& json)
{
    // Bound through a callback: json is a bool, the option a word.
    return sub
        .add_option_function<std::string>(
            "--format", [&json](const std::string& format) { json = format == "json"; }, "text (the default) or json")
        ->check(CLI::IsMember({ "text", "json" }))
        ->type_name("text|json");
}

std::vector<std::pair<std::string, std::string>> InOrder(const CLI::App& sub)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::unordered_map<const CLI::Option*, size_t> next;
    for (const CLI::Option* option : sub.parse_order()) {
        size_t& i = next[option];
        const std::vector<std::string>& results = option->results();
        if (i < results.size() && !option->get_lnames().empty())
            out.emplace_back(option->get_lnames().front(), results[i++]);
    }
    return out;
}

QString WithoutPasswords(QString text)
{
    // An argument CLI11 quotes may be a connection string with a password.
    for (const QString& argument : QCoreApplication::arguments())
        if (!DatabaseServerText::PasswordOf(argument).isEmpty())
            text = DatabaseServerText::Scrubbed(text, argument);
    return text;
}

int UsageError(const CLI::App& sub, const QString& said)
{
    const QString reason = WithoutPasswords(said);
    std::string path = sub.get_name();
    for (const CLI::App* parent = sub.get_parent(); parent && parent->get_parent(); parent = parent->get_parent())
        path = parent->get_name() + ' ' + path;
    std::fprintf(stderr, "vtrpro-rules %s: %s\nRun \"vtrpro-rules %s --help\" for its usage.\n", path.c_str(),
        qUtf8Printable(reason), path.c_str());
    return ExitCode::kRefused;
}

namespace {
void PrintApp(const CLI::App& app, const std::string& prefix)
{
    const std::string name = prefix.empty() ? app.get_name() : prefix + ' ' + app.get_name();
    std::string line = name;
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_lnames().empty() || option->get_lnames().front() == "help")
            continue;
        line += " --" + option->get_lnames().front();
    }
    std::printf("%s\n", line.c_str());
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        PrintApp(*sub, name);
}
} // namespace

void PrintDeclarations(const CLI::App& root)
{
    for (const CLI::App* sub : root.get_subcommands([](const CLI::App*) { return true; }))
        PrintApp(*sub, std::string());
    std::fflush(stdout);
}

} // namespace CommandLine
