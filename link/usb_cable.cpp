// The USB-Blaster through libftdi1. The cable is found among the Altera
// USB-Blaster ids by its product string, read with plain libusb so that the
// exact reason of a failed open (permission, busy, gone) is known; libftdi
// then opens and configures the one chosen.

#include "usb_cable.h"

#include "ft.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kAlteraVendor = 0x09FB;
constexpr std::array<int, 3> kBlasterProducts = {0x6001, 0x6002, 0x6003};

// Bytes handed to the cable per bulk transfer. The wire buffers are 128 KiB;
// 64 KiB transfers keep the per-transfer overhead low without asking the
// kernel for an unusually large single buffer.
constexpr int kWriteChunk = 65536;
constexpr unsigned char kLatencyMs = 2;

constexpr char kUdevRule[] = "60-travik-usb-blaster.rules";

std::string noCableText() { return "no USB-Blaster cable found"; }

std::string permissionText() {
    return std::string("permission denied opening the USB-Blaster; install the udev rule ") +
           kUdevRule + " (sudo cp contrib/" + kUdevRule +
           " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger)"
           " and plug the cable in again";
}

std::string busyText() { return "the cable is in use by another program"; }

std::string libusbText(int code) {
    if (code == LIBUSB_ERROR_ACCESS) return permissionText();
    if (code == LIBUSB_ERROR_BUSY) return busyText();
    if (code == LIBUSB_ERROR_NO_DEVICE) return noCableText();
    return std::string("USB error: ") + libusb_strerror(static_cast<libusb_error>(code));
}

struct FtdiFree {
    void operator()(ftdi_context* context) const { ftdi_free(context); }
};
using FtdiContext = std::unique_ptr<ftdi_context, FtdiFree>;

struct DeviceListFree {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListFree>;

struct HandleClose {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using DeviceHandle = std::unique_ptr<libusb_device_handle, HandleClose>;

struct ContextExit {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
using UsbContext = std::unique_ptr<libusb_context, ContextExit>;

bool isBlaster(libusb_device* device) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0) return false;
    return descriptor.idVendor == kAlteraVendor &&
           std::ranges::find(kBlasterProducts, descriptor.idProduct) != kBlasterProducts.end();
}

std::string readString(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0) return {};
    std::array<unsigned char, 256> text{};
    const int length = libusb_get_string_descriptor_ascii(handle, index, text.data(),
                                                          static_cast<int>(text.size()));
    if (length < 0) return {};
    return std::string(reinterpret_cast<const char*>(text.data()), static_cast<std::size_t>(length));
}

// One cable seen on the bus; `openError` is the libusb code when its strings
// could not be read (the device node would not open).
struct SeenCable {
    libusb_device* device = nullptr;
    UsbCableInfo info;
    int openError = 0;
};

// Reads the product and serial strings. Opening the device node is all it
// takes; no interface is claimed and no kernel driver is touched.
SeenCable inspect(libusb_device* device) {
    SeenCable seen;
    seen.device = device;
    seen.info.bus = libusb_get_bus_number(device);
    seen.info.address = libusb_get_device_address(device);
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    libusb_device_handle* raw = nullptr;
    seen.openError = libusb_open(device, &raw);
    if (seen.openError != 0) return seen;
    const DeviceHandle handle(raw);
    seen.info.product = readString(handle.get(), descriptor.iProduct);
    seen.info.serial = readString(handle.get(), descriptor.iSerialNumber);
    return seen;
}

// The device list stays owned by the caller: the SeenCable entries point into
// it. Null, with `failureDetail` set, when the bus cannot be listed.
std::optional<std::vector<SeenCable>> seeCables(libusb_context* context, DeviceList& list,
                                                std::string& failureDetail) {
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    if (count < 0) {
        failureDetail = libusbText(static_cast<int>(count));
        return std::nullopt;
    }
    list.reset(raw);
    std::vector<SeenCable> cables;
    for (ssize_t i = 0; i < count; ++i) {
        if (isBlaster(raw[i])) cables.push_back(inspect(raw[i]));
    }
    return cables;
}

// Why no cable could be chosen: a node we may not open is the likely cause
// when nothing matched.
std::string explainNoMatch(const std::vector<SeenCable>& cables) {
    for (const SeenCable& cable : cables) {
        if (cable.openError != 0) return libusbText(cable.openError);
    }
    return noCableText();
}

std::string ftdiText(int code, ftdi_context* context) {
    // ftdi_usb_open_dev: -3 and -5 are a failed set-configuration and claim
    // (another driver or program holds the cable), -8 is EPERM on either.
    switch (code) {
    case -3: return busyText();
    case -5: return busyText();
    case -8: return permissionText();
    default: return std::string("USB error: ") + ftdi_get_error_string(context);
    }
}

class UsbCableSession final : public CableSession {
public:
    explicit UsbCableSession(FtdiContext context) : m_context(std::move(context)) {}
    ~UsbCableSession() override { ftdi_usb_close(m_context.get()); }
    UsbCableSession(const UsbCableSession&) = delete;
    UsbCableSession& operator=(const UsbCableSession&) = delete;

    std::size_t write(std::span<const std::uint8_t> bytes) override {
        std::size_t written = 0;
        while (written < bytes.size()) {
            const int piece = static_cast<int>(std::min<std::size_t>(bytes.size() - written, kWriteChunk));
            const int sent = ftdi_write_data(m_context.get(), bytes.data() + written, piece);
            if (sent <= 0) break;
            written += static_cast<std::size_t>(sent);
        }
        return written;
    }

    // Resets the cable and gets it ready for a long stream of small commands.
    bool configure(std::string& failureDetail) {
        ftdi_context* context = m_context.get();
        const bool ready = ftdi_usb_reset(context) == 0 && ftdi_set_latency_timer(context, kLatencyMs) == 0 &&
                           ftdi_tcioflush(context) == 0 && ftdi_write_data_set_chunksize(context, kWriteChunk) == 0;
        if (!ready) failureDetail = std::string("USB error: ") + ftdi_get_error_string(context);
        return ready;
    }

private:
    FtdiContext m_context;
};

class UsbCableBackend final : public CableBackend {
public:
    std::unique_ptr<CableSession> open(std::string_view description, std::string& failureDetail) override {
        FtdiContext context(ftdi_new());
        if (!context) {
            failureDetail = "USB error: libusb could not start";
            return nullptr;
        }
        libusb_context* usb = context->usb_ctx;
        DeviceList list;
        const std::optional<std::vector<SeenCable>> cables = seeCables(usb, list, failureDetail);
        if (!cables) return nullptr;
        const auto chosen = std::ranges::find_if(
            *cables, [&](const SeenCable& cable) { return cable.openError == 0 && cable.info.product == description; });
        if (chosen == cables->end()) {
            failureDetail = explainNoMatch(*cables);
            return nullptr;
        }
        if (const int rc = ftdi_usb_open_dev(context.get(), chosen->device); rc < 0) {
            failureDetail = ftdiText(rc, context.get());
            return nullptr;
        }
        // From here the session owns the open device and closes it on every path.
        auto session = std::make_unique<UsbCableSession>(std::move(context));
        if (!session->configure(failureDetail)) return nullptr;
        return session;
    }
};

}  // namespace

std::shared_ptr<CableBackend> makeUsbCableBackend() { return std::make_shared<UsbCableBackend>(); }

std::vector<UsbCableInfo> listUsbCables(std::string& failureDetail) {
    libusb_context* raw = nullptr;
    if (const int rc = libusb_init(&raw); rc != 0) {
        failureDetail = libusbText(rc);
        return {};
    }
    const UsbContext context(raw);
    DeviceList list;
    std::vector<UsbCableInfo> found;
    bool chosenYet = false;
    std::optional<std::vector<SeenCable>> cables = seeCables(context.get(), list, failureDetail);
    if (!cables) return {};
    for (SeenCable& cable : *cables) {
        if (cable.openError != 0 && failureDetail.empty()) failureDetail = libusbText(cable.openError);
        // An upload opens the first cable whose product string is the description.
        cable.info.chosen = !chosenYet && cable.openError == 0 && cable.info.product == kCableDescription;
        chosenYet = chosenYet || cable.info.chosen;
        found.push_back(std::move(cable.info));
    }
    return found;
}
