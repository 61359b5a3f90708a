#include "Commands.h"

#include <cstdio>

int RunModules(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

