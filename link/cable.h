#pragma once
// The access-backend interface behind the FT_* calls. The byte protocol and
// the uploads never see which backend carries the bytes (libftdi on a real
// USB-Blaster, or the simulated board): the shell picks one with --cable.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

// One open cable. Destruction closes it.
class CableSession {
public:
    virtual ~CableSession() = default;
    // Sends the bytes in order; returns how many reached the cable.
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;
};

class CableBackend {
public:
    virtual ~CableBackend() = default;
    // Opens the cable whose product string is `description`. On failure
    // returns null and puts the reason, in plain words, into `failureDetail`.
    virtual std::unique_ptr<CableSession> open(std::string_view description,
                                               std::string& failureDetail) = 0;
};

// The backend that FT_OpenEx uses from now on (thread-safe). Null restores the
// default, the libftdi backend.
void selectCableBackend(std::shared_ptr<CableBackend> backend);
std::shared_ptr<CableBackend> selectedCableBackend();
