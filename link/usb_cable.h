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
};

std::shared_ptr<CableBackend> makeUsbCableBackend();

// The USB-Blaster cables present, without claiming any of them.
std::vector<UsbCableInfo> listUsbCables(std::string& failureDetail);
