#pragma once
// The real cable: a USB-Blaster reached through libftdi1.

#include "cable.h"

#include <memory>
#include <string>
#include <vector>

struct UsbCableInfo {
    int bus = 0;
    int address = 0;
    std::string product;
    std::string serial;
    bool chosen = false;  // the one an upload would open
};

std::shared_ptr<CableBackend> makeUsbCableBackend();

// The USB-Blaster cables present, without claiming any of them. Sets
// `failureDetail` when the bus could not be read or a cable's strings could
// not be (usually permission).
std::vector<UsbCableInfo> listUsbCables(std::string& failureDetail);
