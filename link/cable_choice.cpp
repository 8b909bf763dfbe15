#include "cable_choice.h"

#include "capture_cable.h"
#include "sim_cable.h"
#include "usb_cable.h"

#include <string_view>

namespace {

constexpr std::string_view kSimPrefix = "sim:";

}  // namespace

std::optional<CableChoice> chooseCable(const std::string& option, const std::string& captureFile,
                                       std::string& error) {
    CableChoice choice;
    const std::string_view text = option;
    if (text == "usb") {
        choice.backend = makeUsbCableBackend();
    } else if (text == "sim" || text.starts_with(kSimPrefix)) {
        const std::string_view simOptions = text == "sim" ? std::string_view() : text.substr(kSimPrefix.size());
        std::string simError;
        choice.sim = SimCableBackend::create(simOptions, simError);
        if (!choice.sim) {
            error = "bad --cable option '" + option + "': " + simError;
            return std::nullopt;
        }
        choice.backend = choice.sim;
    } else {
        error = "unknown cable '" + option + "' (expected usb or sim[:options])";
        return std::nullopt;
    }
    if (!captureFile.empty()) {
        choice.capture = std::make_shared<CaptureCableBackend>(choice.backend, captureFile);
        choice.backend = choice.capture;
    }
    return choice;
}
