#include "Commands.h"

void DeclareCommands(CLI::App& root, CommandLine::Declarations& out)
{
    DeclareModules(root, out);
    DeclareRules(root, out);
    DeclareRuleFiles(root, out);
    DeclareCompare(root, out);
    DeclareLint(root, out);
    DeclareSelect(root, out);
    DeclareSettings(root, out);
    DeclareConfigure(root, out);
    DeclareDirs(root, out);
    DeclareUnits(root, out);
    DeclareUserRule(root, out);
    DeclareMessages(root, out);
    DeclareDb(root, out);
}
