#include "commands.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr char kUsage[] =
    "Usage: travik-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  info FILE                       stage FILE as a drop would and print the\n"
    "                                  information text\n"
    "  upload [--cable usb|sim[:OPTS]] [--capture OUT] FILE\n"
    "                                  stage FILE and stream it into the board\n"
    "  probe [--cable usb|sim[:OPTS]]  say whether the cable is there\n"
    "\n"
    "Options:\n"
    "  --help     show this help\n"
    "  --version  show the version\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string_view command = args.front();
    const std::span<const std::string_view> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::puts("travik-cli " TRAVIK_VERSION);
        return 0;
    }
    if (command == "info") return runInfo(rest);
    if (command == "upload") return runUpload(rest);
    if (command == "probe") return runProbe(rest);
    std::fprintf(stderr, "travik-cli: unknown command '%.*s'\n%s", static_cast<int>(command.size()),
                 command.data(), kUsage);
    return 2;
}
