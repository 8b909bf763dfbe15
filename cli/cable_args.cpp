#include "cable_args.h"

namespace {

// The value of option `name` at args[i], advancing i past a separate value.
// Nothing when `arg` is not that option; `missing` set when it is, but
// without a value or with an empty one.
std::optional<std::string_view> optionValue(std::span<const std::string_view> args, std::size_t& i,
                                            std::string_view name, bool& missing) {
    const std::string_view arg = args[i];
    std::string_view value;
    if (arg == name) {
        if (i + 1 < args.size()) value = args[++i];
    } else if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else {
        return std::nullopt;
    }
    missing = value.empty();
    return value;
}

}  // namespace

std::optional<CableArgs> parseCableArgs(std::span<const std::string_view> args, bool takesCapture,
                                        std::string& error) {
    CableArgs result;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded) {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                result.help = true;
                return result;
            }
            const struct {
                std::string_view name;
                std::string* target;  // null: not an option of this command
            } options[] = {{"--cable", &result.cable}, {"--capture", takesCapture ? &result.capture : nullptr}};
            bool taken = false;
            for (const auto& option : options) {
                bool missing = false;
                const std::optional<std::string_view> value =
                    option.target ? optionValue(args, i, option.name, missing) : std::nullopt;
                if (!value) continue;
                if (missing) {
                    error = std::string(option.name) + " needs a value";
                    return std::nullopt;
                }
                *option.target = *value;
                taken = true;
                break;
            }
            if (taken) continue;
            if (arg.size() > 1 && arg.front() == '-') {
                error = "unknown option '" + std::string(arg) + "'";
                return std::nullopt;
            }
        }
        result.operands.emplace_back(arg);
    }
    return result;
}
