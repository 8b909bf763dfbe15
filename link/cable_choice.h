#pragma once
// Turns a --cable option ("usb", "sim", "sim:rate=…,unplug-after=…,absent")
// into a backend, optionally wrapped to capture every write to a file.

#include "cable.h"

#include <memory>
#include <optional>
#include <string>

class CaptureCableBackend;
class SimCableBackend;

struct CableChoice {
    std::shared_ptr<CableBackend> backend;   // what FT_OpenEx should use
    std::shared_ptr<SimCableBackend> sim;    // set when the choice is the simulated board
    std::shared_ptr<CaptureCableBackend> capture;  // set when writes are captured to a file
};

// Null result with `error` set when the option is malformed.
std::optional<CableChoice> chooseCable(const std::string& option, const std::string& captureFile,
                                       std::string& error);
