#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

#include <QString>
#include <QStringList>

// The subcommands' arguments, declared with CLI11: one declaration per
// subcommand gives its parsing, its --help and its usage errors, all worded
// and ended the same way (exit 2).
namespace CommandLine {

// A declared subcommand and what runs it once its arguments are parsed.
struct Declared
{
    CLI::App* app;
    std::function<int()> run;
};
using Declarations = std::vector<Declared>;

// An argument's text as given (in the locale's encoding).
QString Text(const std::string& text);
QStringList Texts(const std::vector<std::string>& texts);

// "--format text|json" on a listing subcommand.
CLI::Option* AddFormat(CLI::App& sub, bool& json);

// The values of sub's options in the order they were given, as (long name,
// value): where a later option qualifies an earlier one ("--rule A
// --category C").
std::vector<std::pair<std::string, std::string>> InOrder(const CLI::App& sub);

// text without the password of any connection string among the arguments.
QString WithoutPasswords(QString text);

// Prints a usage error of sub the one way every subcommand does and
// returns the exit code for it (2).
int UsageError(const CLI::App& sub, const QString& reason);

// Every subcommand with its options, one line each ("new --rule --category
// ..."), for the test that keeps the completion and the manual in step.
void PrintDeclarations(const CLI::App& root);

} // namespace CommandLine
