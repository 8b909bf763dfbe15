#pragma once
// Test helpers: a cable session that feeds a SimBoard the test can inspect,
// so the real Jtag* routines can be run against the board directly, and a
// builder for hand-made upload streams.

#include "cable.h"
#include "jtag.h"
#include "sim_board.h"

#include <cstdint>
#include <span>
#include <vector>

class BoardSession : public CableSession {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        board.feed(bytes);
        wire.insert(wire.end(), bytes.begin(), bytes.end());
        return bytes.size();
    }
    FT_HANDLE handle() { return this; }

    SimBoard board;
    std::vector<std::uint8_t> wire;  // everything written, for re-feeding elsewhere
};

// Reset, the USER1 scan of 0x100, then USER0 selected: Shift-DR of USER0.
inline void runPreamble(FT_HANDLE cable) {
    JtagResetToIdle(cable);
    JtagIdleToShiftIr(cable);
    JtagShiftIrByte(cable, 14);
    JtagShiftIrToShiftDr(cable);
    JtagShiftByte(cable, 0);
    JtagShiftDrToShiftIr(cable);
    JtagShiftIrByte(cable, 12);
    JtagShiftIrToShiftDr(cable);
}
inline void runPreamble(BoardSession& session) { runPreamble(session.handle()); }

// Each byte as one 0x81 shift command, the way the uploads send payload.
inline std::vector<std::uint8_t> shiftPairs(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> wire;
    wire.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        wire.push_back(0x81);
        wire.push_back(byte);
    }
    return wire;
}

inline void sendPairs(BoardSession& session, std::span<const std::uint8_t> bytes) {
    const std::vector<std::uint8_t> wire = shiftPairs(bytes);
    session.write(wire);
}

// A payload that is not all one value, so misplaced bytes show.
inline std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}
