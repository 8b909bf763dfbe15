#pragma once
// The simulated board behind `--cable sim[:options]`: a CableBackend whose
// sessions decode the USB-Blaster byte stream into a fresh SimBoard, so an
// upload can be run and checked without hardware.

#include "cable.h"
#include "sim_board.h"
#include "sim_report.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SimCableOptions {
    std::uint64_t rate = 0;                  // wire bytes per second; 0 (no rate= given) = unpaced
    std::optional<std::uint64_t> unplugAfter;  // wire bytes the cable carries before it is pulled
    bool absent = false;                     // no cable at all: every open fails

    // Parses "rate=250000,unplug-after=70000,absent" (any order, any subset;
    // "" gives the defaults). Null with `error` set on a malformed option.
    static std::optional<SimCableOptions> parse(std::string_view text, std::string& error);
};

inline constexpr char kSimCableAbsentText[] = "no USB-Blaster cable found";

class SimCableBackend : public CableBackend {
public:
    explicit SimCableBackend(SimCableOptions options = {});
    // Parses `options` as SimCableOptions::parse does; null with `error` set.
    static std::shared_ptr<SimCableBackend> create(std::string_view options, std::string& error);

    // Each successful open starts a fresh board; fails for a description
    // other than "USB-Blaster", with `absent`, and once the cable is unplugged.
    std::unique_ptr<CableSession> open(std::string_view description,
                                       std::string& failureDetail) override;

    // The board of the most recent session, also while it is still being
    // written and after it has closed. Safe to call from any thread.
    SimReport lastReport() const;
    // The payload bytes that board received (at most the announced size).
    std::vector<std::uint8_t> lastPayload() const;
    // True once a session has been opened on this backend.
    bool hasSession() const;

    const SimCableOptions& options() const { return m_options; }
    // Wire bytes accepted so far over all sessions.
    std::uint64_t wireBytesAccepted() const;

    // Shared by the backend and its sessions; defined in sim_cable.cpp.
    struct Shared;

private:
    const SimCableOptions m_options;
    std::shared_ptr<Shared> m_shared;
};
