// Placeholder until the info command is written.
#include "commands.h"
#include <cstdio>
int runInfo(std::span<const std::string_view>) {
    std::fputs("travik-cli: info: not built yet\n", stderr);
    return 2;
}
