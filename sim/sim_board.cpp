#include "sim_board.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::uint8_t kShiftCommand = 0x81;  // shift mode, one data byte
constexpr std::uint8_t kModeShift = 0x80;
constexpr std::uint8_t kReadRequest = 0x40;
constexpr std::uint8_t kCountMask = 0x3F;
constexpr std::uint8_t kTck = 0x01;
constexpr std::uint8_t kTms = 0x02;
constexpr std::uint8_t kActiveSerialLines = 0x0C;  // nCE, nCS: both must stay high
constexpr std::uint8_t kTdi = 0x10;
constexpr std::uint8_t kOutputEnable = 0x20;

constexpr std::size_t kIrScanBitsKept = 64;
constexpr std::uint32_t kUser1BitsKept = 64;

}  // namespace

void SimBoard::feed(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (m_shiftBytesLeft == 0 && bytes[i] == kShiftCommand && user0FastPathOpen()) {
            const std::size_t used = shiftUser0Run(bytes.subspan(i));
            i += used;
            m_wireOffset += used;
            if (used > 0) continue;
        }
        const std::uint8_t byte = bytes[i];
        if (m_shiftBytesLeft > 0) {
            --m_shiftBytesLeft;
            shiftDataByte(byte);
        } else if ((byte & kModeShift) != 0) {
            command(byte);
        } else {
            bitBang(byte);
        }
        ++i;
        ++m_wireOffset;
    }
}

bool SimBoard::user0FastPathOpen() const {
    return !m_observer && m_tap == TapState::ShiftDr && !m_tms && m_outputEnable && m_instruction == kInstructionUser0 &&
           m_receiver.aligned();
}

// A run of complete "0x81, byte" pairs in Shift-DR of USER0 with TMS low: the
// TAP stays put, so each pair is one whole byte for the receiver. A lone 0x81
// at the end is left for the byte-wise decoder (its data byte comes later).
std::size_t SimBoard::shiftUser0Run(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 4096> chunk;
    std::size_t filled = 0;
    std::size_t i = 0;
    const std::size_t size = bytes.size();
    while (i + 1 < size && bytes[i] == kShiftCommand) {
        chunk[filled++] = bytes[i + 1];
        i += 2;
        if (filled == chunk.size()) {
            m_receiver.shiftBytes(chunk);
            filled = 0;
        }
    }
    if (filled > 0) m_receiver.shiftBytes(std::span(chunk).first(filled));
    if (i > 0) m_tck = false;
    return i;
}

void SimBoard::command(std::uint8_t byte) {
    if ((byte & kReadRequest) != 0) fault(SimFault::ReadRequest);
    const std::uint32_t count = byte & kCountMask;
    if (count != 1) fault(SimFault::ShiftCountNotOne);
    m_shiftBytesLeft = count;
}

// The cable clocks the byte out on TDI, LSB first, with TMS held at the last
// bit-bang level; TCK is left low afterwards.
void SimBoard::shiftDataByte(std::uint8_t byte) {
    if (m_tap != TapState::ShiftDr && m_tap != TapState::ShiftIr) fault(SimFault::ShiftOutsideShiftState);
    if (!m_outputEnable) fault(SimFault::ClockWithOutputOff);
    if (user0FastPathOpen()) {
        m_receiver.shiftBytes(std::span(&byte, 1));
    } else {
        for (int bit = 0; bit < 8; ++bit) clock(m_tms, ((byte >> bit) & 1) != 0);
    }
    m_tck = false;
}

void SimBoard::bitBang(std::uint8_t byte) {
    if ((byte & kReadRequest) != 0) fault(SimFault::ReadRequest);
    if ((byte & kActiveSerialLines) != kActiveSerialLines) fault(SimFault::ActiveSerialLineLow);
    const bool tck = (byte & kTck) != 0;
    const bool tms = (byte & kTms) != 0;
    const bool tdi = (byte & kTdi) != 0;
    const bool outputEnable = (byte & kOutputEnable) != 0;
    if (!m_tck && tck) {
        // The clock that goes with switching the outputs off is the cable's
        // parting clock (Update-DR to Run-Test/Idle); any further one is a fault.
        if (!outputEnable && ++m_clocksWithOutputOff > 1) fault(SimFault::ClockWithOutputOff);
        clock(tms, tdi);
    }
    if (outputEnable) m_clocksWithOutputOff = 0;
    m_tck = tck;
    m_tms = tms;
    m_tdi = tdi;
    m_outputEnable = outputEnable;
}

// One rising edge of TCK: the shift states take TDI, then the TAP moves.
void SimBoard::clock(bool tms, bool tdi) {
    if (m_tap == TapState::ShiftDr) {
        shiftDr(tdi);
    } else if (m_tap == TapState::ShiftIr) {
        m_ir = static_cast<std::uint16_t>((m_ir >> 1) | (tdi ? 1u << (kInstructionBits - 1) : 0u));
        if (m_irScanBits.size() < kIrScanBitsKept) m_irScanBits.push_back(tdi);
    }
    const TapState from = m_tap;
    enterState(nextTapState(m_tap, tms));
    if (m_observer) m_observer(TapClock{from, m_tap, tms, tdi});
}

void SimBoard::shiftDr(bool tdi) {
    if (m_instruction == kInstructionUser0) {
        m_receiver.shiftBit(tdi);
    } else if (m_instruction == kInstructionUser1) {
        if (m_user1Bits < kUser1BitsKept && tdi) m_user1Value |= std::uint64_t{1} << m_user1Bits;
        ++m_user1Bits;
    }
    // Any other instruction: a one-bit bypass register, nothing to keep.
}

void SimBoard::enterState(TapState state) {
    m_tap = state;
    switch (state) {
    case TapState::TestLogicReset:
        m_instruction = kInstructionIdcode;
        break;
    case TapState::CaptureIr:
        m_ir = 0b01;  // the capture value the standard requires in the two low bits
        m_irScanBits.clear();
        break;
    case TapState::UpdateIr:
        m_instruction = m_ir;
        break;
    case TapState::CaptureDr:
        if (m_instruction == kInstructionUser0) m_receiver.begin();
        if (m_instruction == kInstructionUser1) {
            m_user1Seen = true;
            m_user1Bits = 0;
            m_user1Value = 0;
        }
        break;
    case TapState::UpdateDr:
        if (m_instruction == kInstructionUser0) m_receiver.update();
        break;
    default:
        break;
    }
}

void SimBoard::fault(SimFault kind) {
    const auto it = std::find_if(m_faults.begin(), m_faults.end(),
                                 [kind](const SimFaultRecord& record) { return record.kind == kind; });
    if (it != m_faults.end()) {
        ++it->count;
    } else {
        m_faults.push_back({kind, 1, m_wireOffset});
    }
}

SimReport SimBoard::report() const {
    SimReport report;
    report.faults = m_faults;
    m_receiver.describe(report);
    report.restsInIdle = m_tap == TapState::RunTestIdle;
    report.outputOffAtEnd = !m_outputEnable;
    report.user1Seen = m_user1Seen;
    report.user1Bits = m_user1Bits;
    report.user1Value = m_user1Value;
    report.tapState = m_tap;
    report.instruction = m_instruction;
    report.wireBytes = m_wireOffset;
    return report;
}
