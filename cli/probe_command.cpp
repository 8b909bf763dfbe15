// Placeholder until the probe command is written.
#include "commands.h"
#include <cstdio>
int runProbe(std::span<const std::string_view>) {
    std::fputs("travik-cli: probe: not built yet\n", stderr);
    return 2;
}
