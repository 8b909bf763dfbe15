#pragma once
// The options upload and probe share: --cable VALUE (or --cable=VALUE),
// --capture the same way where the command takes it, --help, and -- to end
// the options. Everything else is an operand for the command to judge.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct CableArgs {
    std::string cable = "usb";
    std::string capture;
    std::vector<std::string> operands;
    bool help = false;  // --help or -h came before any error
};

// Null with `error` set on a usage error: an option without a value or with
// an empty one, or an unknown option.
std::optional<CableArgs> parseCableArgs(std::span<const std::string_view> args, bool takesCapture,
                                        std::string& error);
