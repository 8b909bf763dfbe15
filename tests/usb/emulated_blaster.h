#pragma once
// A USB-Blaster emulated at the usbdevfs level with umockdev. The real libusb
// and libftdi find it in the testbed's /sys, open its /dev/bus/usb node and
// talk to it through ioctls, which land in this fixture: string descriptors
// are answered on endpoint 0, the FTDI set-up requests succeed, and whatever
// arrives on the bulk OUT endpoint (0x02) is recorded.
//
// Needs the umockdev preload (run under umockdev-wrapper); check active().

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct BlasterSetup {
    std::string product = "USB-Blaster";
    std::string serial = "TRVK0001";
    std::uint16_t productId = 0x6001;
    bool claimedElsewhere = false;            // CLAIMINTERFACE answers EBUSY
    std::optional<std::size_t> unplugAfter;   // bulk OUT fails with ENODEV beyond this many bytes
};

class EmulatedBlaster {
public:
    static constexpr int kBus = 1;
    static constexpr int kAddress = 7;

    // With `setup` null the testbed holds no USB device at all.
    explicit EmulatedBlaster(std::optional<BlasterSetup> setup = BlasterSetup{});
    ~EmulatedBlaster();
    EmulatedBlaster(const EmulatedBlaster&) = delete;
    EmulatedBlaster& operator=(const EmulatedBlaster&) = delete;

    // True when this process sees the testbed's /sys, i.e. the preload works.
    bool active() const;

    // Bytes the cable accepted on the bulk OUT endpoint, in order.
    std::vector<std::uint8_t> delivered() const;
    // Bytes offered on the bulk OUT endpoint after the cable was pulled.
    std::vector<std::uint8_t> offeredAfterUnplug() const;
    // Bulk OUT transfers seen (accepted or not).
    std::size_t bulkOutTransfers() const;

    // Makes the device node refuse to open for anyone without root's
    // file-permission override (see DacOverrideDropped in the tests).
    void denyAccess();

    struct State;

private:
    struct Testbed;
    std::unique_ptr<State> m_state;
    std::unique_ptr<Testbed> m_testbed;
    std::string m_rootDir;
    std::string m_devNode;
};
