#include "Commands.h"

#include <cstdio>

int RunSelect(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

int RunDeselect(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

