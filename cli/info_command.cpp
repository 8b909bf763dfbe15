// travik-cli info FILE: stages FILE exactly as a drop onto the window does and
// prints what the information field would then show.

#include "commands.h"

#include "spc_file.h"
#include "staging.h"

#include <cstdio>
#include <string>

namespace {

constexpr char kInfoUsage[] =
    "Usage: travik-cli info FILE\n"
    "\n"
    "Stages FILE as a drop onto the window would and prints the information\n"
    "text, with its CR LF line ends, byte for byte. ROM images are taken only\n"
    "when a file named Travik.ini is in the current directory; otherwise SPC\n"
    "files only.\n"
    "\n"
    "Exit status: 0 staged, 1 nothing staged, 2 usage error.\n";

int usageError(const char* message) {
    std::fprintf(stderr, "travik-cli: info: %s\n%s", message, kInfoUsage);
    return 2;
}

bool writeAll(const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
}

}  // namespace

int runInfo(std::span<const std::string_view> args) {
    std::string_view file;
    bool optionsEnded = false;
    for (const std::string_view arg : args) {
        if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            std::fputs(kInfoUsage, stdout);
            return 0;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return usageError("unknown option");
        } else if (file.empty() && !arg.empty()) {
            file = arg;
        } else {
            return usageError(arg.empty() ? "empty file name" : "one FILE only");
        }
    }
    if (file.empty()) return usageError("no FILE given");

    SpcFile spc;
    RomImage rom;
    const DropResult result = stageDroppedFile(std::string(file), spcOnlyVariant(), spc, rom);
    // Exactly what the field would show, whether or not anything was staged.
    if (!writeAll(result.infoText)) {
        std::perror("travik-cli: info: writing the information text");
        return 1;
    }
    if (result.staged()) return 0;
    std::fprintf(stderr, "travik-cli: info: %.*s: %s\n", static_cast<int>(file.size()),
                 file.data(), result.reason().c_str());
    return 1;
}
