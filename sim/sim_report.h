#pragma once
// What the simulated board got from one cable session, and its text form.

#include "tap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class SimImage { None, Spc, Rom, Unknown };

enum class SimFault {
    ReadRequest,             // bit 6 set in a bit-bang byte or a shift command
    ShiftCountNotOne,        // a shift command announcing 0 or 2..63 data bytes
    ActiveSerialLineLow,     // nCE or nCS low in a bit-bang byte
    ShiftOutsideShiftState,  // a data byte shifted while the TAP is not in Shift-IR/Shift-DR
    ClockWithOutputOff,      // TCK clocked with output enable off (beyond the parting clock)
    PayloadOverrun,          // more payload than the header announced
};

struct SimFaultRecord {
    SimFault kind{};
    std::uint64_t count = 0;            // PayloadOverrun: the excess in bytes
    std::uint64_t firstWireOffset = 0;  // index of the wire byte that first showed it (not for PayloadOverrun)
};

struct SimReport {
    // The USER0 scan: what image its header announced and what followed.
    SimImage image = SimImage::None;
    std::vector<std::uint8_t> header;  // the header bytes as received (up to 4)
    std::uint64_t announcedBytes = 0;  // SPC: 65920; ROM: blocks × 65536
    std::uint32_t announcedBlocks = 0; // ROM only
    std::uint64_t receivedBytes = 0;   // payload bytes, without the closing byte
    std::uint64_t scanBits = 0;        // every bit of the USER0 scan, header included
    std::string sha256;                // hex digest of the received payload (at most the announced size)

    // How the scan ended.
    bool finalOneBit = false;          // 8n+1 bits, the last a 1
    bool closingByteZero = false;      // the last whole byte before the final bit is 0x00
    bool updateDrReached = false;
    bool restsInIdle = false;          // TAP in Run-Test/Idle now
    bool outputOffAtEnd = true;        // output enable off now (as on a fresh board)
    bool closed() const {
        return finalOneBit && closingByteZero && updateDrReached && restsInIdle && outputOffAtEnd;
    }

    // The USER1 scan (the last one seen).
    bool user1Seen = false;
    std::uint32_t user1Bits = 0;
    std::uint64_t user1Value = 0;      // first bit least significant; the first 64 bits only
    // The design expects nine bits, 0,0,0,0,0,0,0,0,1 in time order.
    bool user1AsExpected() const { return user1Seen && user1Bits == 9 && user1Value == 0x100; }

    TapState tapState = TapState::TestLogicReset;
    std::uint16_t instruction = 0;
    std::uint64_t wireBytes = 0;
    std::vector<SimFaultRecord> faults;

    std::uint64_t receivedWholeBlocks() const { return receivedBytes / 65536; }
    bool hasFault(SimFault kind) const;
};

const char* simImageName(SimImage image);
const char* simFaultText(SimFault fault);

// One `key: value` per line, each line ending in '\n'.
std::string formatSimReport(const SimReport& report);
