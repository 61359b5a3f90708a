#include "Commands.h"

#include <cstdio>

int RunNew(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

int RunShow(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

int RunVerify(const QStringList&)
{
    std::fprintf(stderr, "vtrpro-rules: this command is not available yet\n");
    return 1;
}

