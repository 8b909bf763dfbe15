#pragma once
// The simulated FPGA board: decodes the USB-Blaster byte stream, runs the
// JTAG TAP with a 10-bit instruction register, and feeds the USER0 data
// register into a model of the design's receiver. Single-threaded; the cable
// backend guards it.

#include "image_receiver.h"
#include "sim_report.h"
#include "tap.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

inline constexpr std::uint16_t kInstructionUser0 = 0x00C;
inline constexpr std::uint16_t kInstructionUser1 = 0x00E;
inline constexpr std::uint16_t kInstructionIdcode = 0x006;  // selected by Test-Logic-Reset
inline constexpr int kInstructionBits = 10;

// One rising edge of TCK as the TAP saw it.
struct TapClock {
    TapState from;
    TapState to;
    bool tms;
    bool tdi;
};

class SimBoard {
public:
    SimBoard() = default;

    // Called for every TCK rising edge from now on (null to stop). While set,
    // byte shifts are clocked bit by bit so that no edge goes unseen.
    void observeClocks(std::function<void(const TapClock&)> observer) { m_observer = std::move(observer); }

    // Decodes cable bytes; a command may be split across calls.
    void feed(std::span<const std::uint8_t> bytes);

    SimReport report() const;
    // The received payload, at most the announced size.
    std::span<const std::uint8_t> payload() const { return m_receiver.payload(); }

    TapState tapState() const { return m_tap; }
    std::uint16_t instruction() const { return m_instruction; }
    bool outputEnabled() const { return m_outputEnable; }
    // TDI levels seen at each Shift-IR clock of the most recent IR scan, first first.
    const std::vector<bool>& lastIrScanBits() const { return m_irScanBits; }

private:
    void bitBang(std::uint8_t byte);
    void command(std::uint8_t byte);
    void shiftDataByte(std::uint8_t byte);
    std::size_t shiftUser0Run(std::span<const std::uint8_t> bytes);
    bool user0FastPathOpen() const;
    void clock(bool tms, bool tdi);
    void shiftDr(bool tdi);
    void enterState(TapState state);
    void fault(SimFault kind);

    // Cable outputs as the last bit-bang byte left them.
    bool m_tck = false;
    bool m_tms = false;
    bool m_tdi = false;
    bool m_outputEnable = false;
    std::uint32_t m_clocksWithOutputOff = 1;  // off from power-up: no parting clock owed
    std::uint32_t m_shiftBytesLeft = 0;  // data bytes still owed to a shift command
    std::uint64_t m_wireOffset = 0;      // index of the byte being decoded

    TapState m_tap = TapState::TestLogicReset;
    std::uint16_t m_ir = 0;
    std::uint16_t m_instruction = kInstructionIdcode;
    std::vector<bool> m_irScanBits;

    bool m_user1Seen = false;
    std::uint32_t m_user1Bits = 0;
    std::uint64_t m_user1Value = 0;

    std::function<void(const TapClock&)> m_observer;
    ImageReceiver m_receiver;
    std::vector<SimFaultRecord> m_faults;
};
