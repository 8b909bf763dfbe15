#include "emulated_blaster.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr) g_object_unref(object);
    }
};
template <class T>
using GRef = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GText = std::unique_ptr<gchar, GFree>;

constexpr std::uint8_t kBulkOut = 0x02;
constexpr std::uint8_t kBulkIn = 0x81;
constexpr std::uint16_t kAlteraVendor = 0x09FB;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kDescriptorDevice = 0x01;
constexpr std::uint8_t kDescriptorConfig = 0x02;
constexpr std::uint8_t kDescriptorString = 0x03;

// What the cable says about itself: one configuration, one vendor-specific
// interface with a bulk IN and a bulk OUT endpoint of 64 bytes, as an FT245.
std::vector<std::uint8_t> deviceDescriptor(std::uint16_t productId) {
    return {0x12, 0x01, 0x10, 0x01, 0x00, 0x00, 0x00, 0x08,
            kAlteraVendor & 0xFF, kAlteraVendor >> 8, static_cast<std::uint8_t>(productId & 0xFF),
            static_cast<std::uint8_t>(productId >> 8), 0x00, 0x04, 0x01, 0x02, 0x03, 0x01};
}

std::vector<std::uint8_t> configDescriptor() {
    return {0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x4B,   // configuration
            0x09, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x00,   // interface 0
            0x07, 0x05, kBulkIn, 0x02, 0x40, 0x00, 0x01,             // bulk IN
            0x07, 0x05, kBulkOut, 0x02, 0x40, 0x00, 0x01};           // bulk OUT
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(2 + 2 * text.size()), kDescriptorString};
    for (const char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

}  // namespace

struct EmulatedBlaster::State {
    BlasterSetup setup;
    mutable std::mutex mutex;
    std::vector<std::uint8_t> delivered;
    std::vector<std::uint8_t> offeredAfterUnplug;
    std::size_t bulkOutTransfers = 0;
    bool unplugged = false;
    // Completed URBs waiting to be reaped, per open file of the device node:
    // libftdi opens the cable more than once.
    std::map<UMockdevIoctlClient*, std::deque<GRef<UMockdevIoctlData>>> reapable;

    std::vector<std::uint8_t> answerDescriptor(std::uint8_t type, std::uint8_t index) const {
        if (type == kDescriptorDevice) return deviceDescriptor(setup.productId);
        if (type == kDescriptorConfig) return configDescriptor();
        if (type != kDescriptorString) return {};
        switch (index) {
        case 0: return {0x04, kDescriptorString, 0x09, 0x04};  // US English only
        case 1: return stringDescriptor("Altera");
        case 2: return stringDescriptor(setup.product);
        case 3: return stringDescriptor(setup.serial);
        default: return {};
        }
    }

    // Setup packet in the first 8 bytes of the buffer, data after it.
    void control(usbdevfs_urb& urb, std::uint8_t* buffer) const {
        urb.status = 0;
        urb.actual_length = 0;
        if (buffer == nullptr || urb.buffer_length < 8) return;
        const std::uint8_t requestType = buffer[0];
        const std::uint8_t request = buffer[1];
        const std::uint16_t value = static_cast<std::uint16_t>(buffer[2] | buffer[3] << 8);
        const std::uint16_t length = static_cast<std::uint16_t>(buffer[6] | buffer[7] << 8);
        if ((requestType & 0x80) == 0) return;  // FTDI set-up requests: accepted
        std::vector<std::uint8_t> answer;
        if (request == kGetDescriptor) answer = answerDescriptor(value >> 8, value & 0xFF);
        else answer.assign(length, 0);
        const std::size_t room = std::min<std::size_t>(length, static_cast<std::size_t>(urb.buffer_length) - 8);
        const std::size_t count = std::min(room, answer.size());
        std::copy_n(answer.begin(), count, buffer + 8);
        urb.actual_length = static_cast<int>(count);
    }

    // Returns false when the device is gone and the submit itself must fail.
    bool bulkOut(usbdevfs_urb& urb, const std::uint8_t* buffer) {
        const std::size_t length = buffer == nullptr ? 0 : static_cast<std::size_t>(urb.buffer_length);
        ++bulkOutTransfers;
        if (unplugged) {
            offeredAfterUnplug.insert(offeredAfterUnplug.end(), buffer, buffer + length);
            return false;
        }
        std::size_t accepted = length;
        if (setup.unplugAfter) accepted = std::min(length, *setup.unplugAfter - delivered.size());
        delivered.insert(delivered.end(), buffer, buffer + accepted);
        offeredAfterUnplug.insert(offeredAfterUnplug.end(), buffer + accepted, buffer + length);
        unplugged = setup.unplugAfter && delivered.size() >= *setup.unplugAfter;
        urb.actual_length = static_cast<int>(accepted);
        urb.status = accepted < length ? -ENODEV : 0;
        return true;
    }

    static void bulkIn(usbdevfs_urb& urb, std::uint8_t* buffer) {
        // An idle FT245 answers every read with its two modem status bytes.
        constexpr std::array<std::uint8_t, 2> kModemStatus = {0x31, 0x60};
        const std::size_t count = std::min<std::size_t>(kModemStatus.size(), buffer ? urb.buffer_length : 0);
        std::copy_n(kModemStatus.begin(), count, buffer);
        urb.actual_length = static_cast<int>(count);
        urb.status = 0;
    }

    // Every URB completes at once: the device file is a plain file that
    // always polls ready, so a URB left pending would make libusb spin.
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        GRef<UMockdevIoctlData> urbData(umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr));
        if (!urbData) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        auto& urb = *reinterpret_cast<usbdevfs_urb*>(urbData->data);
        GRef<UMockdevIoctlData> bufferData;
        if (urb.buffer_length > 0) {
            bufferData.reset(umockdev_ioctl_data_resolve(urbData.get(), offsetof(usbdevfs_urb, buffer),
                                                         static_cast<gsize>(urb.buffer_length), nullptr));
        }
        std::uint8_t* buffer = bufferData ? bufferData->data : nullptr;
        const std::lock_guard lock(mutex);
        if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
            control(urb, buffer);
        } else if (urb.endpoint == kBulkOut) {
            if (!bulkOut(urb, buffer)) {
                umockdev_ioctl_client_complete(client, -1, ENODEV);
                return;
            }
        } else {
            bulkIn(urb, buffer);
        }
        auto& queue = reapable[client];
        if (queue.empty()) g_object_ref(client);  // keeps the key unique while URBs wait
        queue.push_back(std::move(urbData));
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        const std::lock_guard lock(mutex);
        const auto found = reapable.find(client);
        if (found == reapable.end() || found->second.empty()) {
            umockdev_ioctl_client_complete(client, -1, EAGAIN);
            return;
        }
        GRef<UMockdevIoctlData> pointer(umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr));
        if (!pointer) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        umockdev_ioctl_data_set_ptr(pointer.get(), 0, found->second.front().get());
        found->second.pop_front();
        if (found->second.empty()) {
            reapable.erase(found);
            g_object_unref(client);
        }
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    void capabilities(UMockdevIoctlClient* client, UMockdevIoctlData* arg) const {
        GRef<UMockdevIoctlData> data(umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr));
        if (!data) {
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return;
        }
        const std::uint32_t caps = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(data->data, &caps, sizeof caps);
        umockdev_ioctl_client_complete(client, 0, 0);
    }

    void handle(UMockdevIoctlClient* client) {
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (umockdev_ioctl_client_get_request(client)) {
        case USBDEVFS_GET_CAPABILITIES: capabilities(client, arg); return;
        case USBDEVFS_SUBMITURB: submit(client, arg); return;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: reap(client, arg); return;
        case USBDEVFS_CLAIMINTERFACE:
            if (setup.claimedElsewhere) umockdev_ioctl_client_complete(client, -1, EBUSY);
            else umockdev_ioctl_client_complete(client, 0, 0);
            return;
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESET:
        case USBDEVFS_RESETEP: umockdev_ioctl_client_complete(client, 0, 0); return;
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL: umockdev_ioctl_client_complete(client, -1, ENODATA); return;  // no kernel driver bound
        case USBDEVFS_DISCARDURB: umockdev_ioctl_client_complete(client, -1, EINVAL); return;  // all reaped already
        default: umockdev_ioctl_client_complete(client, -1, ENOTTY); return;
        }
    }

    ~State() {
        for (auto& [client, queue] : reapable) {
            queue.clear();
            g_object_unref(client);
        }
    }
};

namespace {

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer state) {
    static_cast<EmulatedBlaster::State*>(state)->handle(client);
    return TRUE;
}

std::string text(GText value) { return value ? std::string(value.get()) : std::string(); }

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string twoDigits(const char* format, int value) {
    std::array<char, 16> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, value);
    return buffer.data();
}

}  // namespace

// The handler is released after the testbed, whose thread runs it.
struct EmulatedBlaster::Testbed {
    GRef<UMockdevIoctlBase> handler;
    GRef<UMockdevTestbed> testbed;
    ~Testbed() { testbed.reset(); }
};

EmulatedBlaster::EmulatedBlaster(std::optional<BlasterSetup> setup)
    : m_state(std::make_unique<State>()), m_testbed(std::make_unique<Testbed>()) {
    m_testbed->testbed.reset(umockdev_testbed_new());
    m_testbed->handler.reset(umockdev_ioctl_base_new());
    UMockdevTestbed* testbed = m_testbed->testbed.get();
    m_rootDir = text(GText(umockdev_testbed_get_root_dir(testbed)));
    if (!setup) return;
    m_state->setup = *setup;

    const std::string bus = twoDigits("%03d", kBus);
    const std::string address = twoDigits("%03d", kAddress);
    m_devNode = "/dev/bus/usb/" + bus + "/" + address;
    g_signal_connect(m_testbed->handler.get(), "handle-ioctl", G_CALLBACK(onIoctl), m_state.get());
    // The handler must be in place before the device node appears.
    if (!umockdev_testbed_attach_ioctl(testbed, m_devNode.c_str(), m_testbed->handler.get(), nullptr)) {
        throw std::runtime_error("umockdev: cannot attach the ioctl handler");
    }
    const std::string productId = twoDigits("%04x", setup->productId);
    const std::string busText = std::to_string(kBus);
    const std::string addressText = std::to_string(kAddress);
    GText sysPath(umockdev_testbed_add_device(
        testbed, "usb", "1-1", nullptr,
        // attributes
        "idVendor", "09fb", "idProduct", productId.c_str(), "busnum", busText.c_str(), "devnum",
        addressText.c_str(), "speed", "12", "bConfigurationValue", "1", "bNumConfigurations", "1",
        "manufacturer", "Altera", "product", setup->product.c_str(), "serial", setup->serial.c_str(), nullptr,
        // properties
        "DEVNAME", m_devNode.c_str(), "DEVTYPE", "usb_device", "BUSNUM", bus.c_str(), "DEVNUM", address.c_str(),
        "ID_VENDOR_ID", "09fb", "ID_MODEL_ID", productId.c_str(), nullptr));
    if (!sysPath) throw std::runtime_error("umockdev: cannot add the USB-Blaster");
    std::vector<std::uint8_t> descriptors = deviceDescriptor(setup->productId);
    const std::vector<std::uint8_t> config = configDescriptor();
    descriptors.insert(descriptors.end(), config.begin(), config.end());
    umockdev_testbed_set_attribute_binary(testbed, sysPath.get(), "descriptors", descriptors.data(),
                                          static_cast<gint>(descriptors.size()));
    // usbfs nodes are plain files in the testbed; adding the device does not make one.
    const std::string node = m_rootDir + m_devNode;
    GText folder(g_path_get_dirname(node.c_str()));
    if (g_mkdir_with_parents(folder.get(), 0755) != 0 || !g_file_set_contents(node.c_str(), "", 0, nullptr)) {
        throw std::runtime_error("umockdev: cannot make " + node);
    }
}

EmulatedBlaster::~EmulatedBlaster() {
    m_testbed.reset();  // stops the handler thread before the state goes
}

bool EmulatedBlaster::active() const {
    return sameFile("/sys", text(GText(umockdev_testbed_get_sys_dir(m_testbed->testbed.get()))));
}

std::vector<std::uint8_t> EmulatedBlaster::delivered() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->delivered;
}

std::vector<std::uint8_t> EmulatedBlaster::offeredAfterUnplug() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->offeredAfterUnplug;
}

std::size_t EmulatedBlaster::bulkOutTransfers() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->bulkOutTransfers;
}

void EmulatedBlaster::denyAccess() {
    const std::string node = m_rootDir + m_devNode;
    if (::chmod(node.c_str(), 0) != 0) throw std::runtime_error("cannot restrict " + node);
}
