// Placeholder until the upload command is written.
#include "commands.h"
#include <cstdio>
int runUpload(std::span<const std::string_view>) {
    std::fputs("travik-cli: upload: not built yet\n", stderr);
    return 2;
}
