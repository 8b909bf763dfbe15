// travik-cli probe: says whether the cable is there, as the window's start-up
// probe does, and for the real cable also which USB-Blasters are plugged in.

#include "commands.h"

#include "cable_args.h"
#include "cable_choice.h"
#include "ft.h"
#include "usb_cable.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kProbeUsage[] = "Usage: travik-cli probe [--cable usb|sim[:OPTS]]\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "travik-cli: probe: %s\n%s", message.c_str(), kProbeUsage);
    return 2;
}

int notConnected(const std::string& reason) {
    std::fprintf(stderr, "%s\n", kNotConnectedText);
    if (!reason.empty()) std::fprintf(stderr, "reason: %s\n", reason.c_str());
    return 1;
}

void printCables(const std::vector<UsbCableInfo>& cables) {
    for (const UsbCableInfo& cable : cables) {
        std::printf("Bus %03d Device %03d: product \"%s\", serial \"%s\"%s\n", cable.bus, cable.address,
                    cable.product.c_str(), cable.serial.c_str(),
                    cable.chosen ? "  <- an upload opens this one" : "");
    }
}

// Opens and closes the cable through the FT layer, as the window's probe does.
int openAndClose(const std::string& what) {
    FT_HANDLE raw = nullptr;
    if (FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &raw) != FT_OK) {
        return notConnected(lastOpenFailureDetail());
    }
    const CableHandle handle(raw);
    std::printf("%s opened and closed: the cable is ready.\n", what.c_str());
    return 0;
}

int probeUsb() {
    std::string detail;
    const std::vector<UsbCableInfo> cables = listUsbCables(detail);
    if (cables.empty()) return notConnected(detail.empty() ? "no USB-Blaster cable found" : detail);
    printCables(cables);
    bool anyChosen = false;
    for (const UsbCableInfo& cable : cables) anyChosen = anyChosen || cable.chosen;
    if (!anyChosen) {
        std::printf("None of them has the product string \"%s\".\n", kCableDescription);
    }
    return openAndClose("USB-Blaster");
}

}  // namespace

int runProbe(std::span<const std::string_view> args) {
    std::string error;
    const std::optional<CableArgs> parsed = parseCableArgs(args, false, error);
    if (!parsed) return usageError(error);
    if (parsed->help) {
        std::fputs(kProbeUsage, stdout);
        return 0;
    }
    if (!parsed->operands.empty()) {
        return usageError("unexpected argument '" + parsed->operands.front() + "'");
    }
    const std::optional<CableChoice> choice = chooseCable(parsed->cable, "", error);
    if (!choice) return usageError(error);
    selectCableBackend(choice->backend);
    const int result = choice->sim ? openAndClose("Simulated USB-Blaster") : probeUsb();
    selectCableBackend(nullptr);
    return result;
}
