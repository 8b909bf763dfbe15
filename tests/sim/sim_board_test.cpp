// The board's decoding of whole upload streams (built here by hand from the
// Jtag* routines and 0x81 pairs), its fault flags and its report.

#include "board_session.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kSpcHeader = {0xFF, 0x00};
Bytes romHeader(std::uint8_t blocks) { return {0x00, 0x00, 0x00, blocks}; }

// Preamble, header, payload, closing byte, then JtagShiftDrToIdle.
void sendImage(BoardSession& session, const Bytes& header, const Bytes& payload, std::uint8_t closing = 0x00) {
    runPreamble(session);
    sendPairs(session, header);
    sendPairs(session, payload);
    sendPairs(session, Bytes{closing});
    JtagShiftDrToIdle(session.handle());
}

TEST(SimBoardImage, CompleteUploadsAreReceivedWhole) {
    struct Case {
        const char* name;
        Bytes header;
        std::size_t payloadSize;
        SimImage image;
        std::uint64_t announcedBytes;
        std::uint32_t announcedBlocks;
    };
    const Case cases[] = {
        {"SPC", kSpcHeader, 65920, SimImage::Spc, 65920, 0},
        {"ROM of two blocks", romHeader(2), 2 * 65536, SimImage::Rom, 2 * 65536, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        const Bytes payload = patternBytes(c.payloadSize);
        sendImage(session, c.header, payload);

        const SimReport report = session.board.report();
        EXPECT_EQ(report.image, c.image);
        EXPECT_EQ(report.header, c.header);
        EXPECT_EQ(report.announcedBytes, c.announcedBytes);
        EXPECT_EQ(report.announcedBlocks, c.announcedBlocks);
        EXPECT_EQ(report.receivedBytes, payload.size());
        EXPECT_EQ(report.scanBits, 8 * (c.header.size() + payload.size() + 1) + 1);
        EXPECT_TRUE(report.closed()) << formatSimReport(report);
        EXPECT_EQ(report.sha256, Sha256::hex(Sha256::of(payload)));
        EXPECT_TRUE(std::ranges::equal(session.board.payload(), payload));
        EXPECT_TRUE(report.user1Seen);
        EXPECT_EQ(report.user1Bits, 9u);
        EXPECT_EQ(report.user1Value, 0x100u);
        EXPECT_EQ(report.instruction, kInstructionUser0);
        EXPECT_TRUE(report.faults.empty()) << formatSimReport(report);
    }
}

TEST(SimBoardImage, HeaderDecidesTheImage) {
    struct Case {
        Bytes header;
        SimImage image;
        std::uint64_t announcedBytes;
    };
    const Case cases[] = {
        {kSpcHeader, SimImage::Spc, 65920},
        {romHeader(1), SimImage::Rom, 65536},
        {romHeader(128), SimImage::Rom, 8 * 1024 * 1024},
        {romHeader(0), SimImage::Unknown, 0},
        {romHeader(129), SimImage::Unknown, 0},
        {{0xFF, 0x01}, SimImage::Unknown, 0},
        {{0x00, 0x00, 0x01, 0x01}, SimImage::Unknown, 0},
        {{0x5A, 0x00, 0x00, 0x00}, SimImage::Unknown, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.header));
        BoardSession session;
        sendImage(session, c.header, patternBytes(16));
        const SimReport report = session.board.report();
        EXPECT_EQ(report.image, c.image);
        EXPECT_EQ(report.announcedBytes, c.announcedBytes);
        EXPECT_EQ(report.receivedBytes, 16u);
        EXPECT_EQ(report.sha256.empty(), c.image == SimImage::Unknown);
    }
}

TEST(SimBoardImage, NoUser0ScanMeansNoImage) {
    BoardSession session;
    JtagResetToIdle(session.handle());
    const SimReport report = session.board.report();
    EXPECT_EQ(report.image, SimImage::None);
    EXPECT_FALSE(report.user1Seen);
    EXPECT_FALSE(report.closed());
}

// A ROM upload stopped after block k still closes its scan: the board got
// k+1 of n blocks, and the closing 0x00 is not counted as payload.
TEST(SimBoardImage, StoppedRomReportsTheBlocksReceived) {
    struct Case {
        std::size_t payloadSize;
        std::string receivedLine;
    };
    const Case cases[] = {
        {2 * 65536, "received: 131072 bytes (2 of 4 blocks)\n"},
        {65536 + 32768, "received: 98304 bytes (1 of 4 blocks and 32768 bytes)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payloadSize);
        BoardSession session;
        const Bytes payload = patternBytes(c.payloadSize, 7);
        sendImage(session, romHeader(4), payload);

        const SimReport report = session.board.report();
        EXPECT_EQ(report.announcedBlocks, 4u);
        EXPECT_EQ(report.receivedBytes, payload.size());
        EXPECT_TRUE(report.closed());
        EXPECT_TRUE(std::ranges::equal(session.board.payload(), payload));
        EXPECT_EQ(report.sha256, Sha256::hex(Sha256::of(payload)));
        const std::string text = formatSimReport(report);
        EXPECT_NE(text.find(c.receivedLine), std::string::npos) << text;
        EXPECT_NE(text.find("closed: yes\n"), std::string::npos) << text;
    }
}

TEST(SimBoardImage, PayloadBeyondTheAnnouncedSizeIsCountedNotKept) {
    BoardSession session;
    const Bytes payload = patternBytes(65920 + 3);
    sendImage(session, kSpcHeader, payload);

    const SimReport report = session.board.report();
    EXPECT_EQ(report.receivedBytes, payload.size());
    ASSERT_TRUE(report.hasFault(SimFault::PayloadOverrun));
    EXPECT_EQ(report.faults.back().count, 3u);
    EXPECT_EQ(session.board.payload().size(), 65920u);
    EXPECT_EQ(report.sha256, Sha256::hex(Sha256::of(std::span(payload).first(65920))));
}

// Each way a scan can end short of a proper close, after a ROM header, a few
// payload bytes and the closing byte.
TEST(SimBoardImage, ImproperEndsAreNotClosed) {
    struct Case {
        const char* name;
        Bytes ending;  // sent instead of JtagShiftDrToIdle
        bool finalOneBit, updateDr, idle, outputOff;
    };
    const Case cases[] = {
        {"no final 1 bit", {0x2E, 0x2F, 0x2E, 0x2F, 0x0C, 0x0D}, false, true, true, true},
        {"two trailing bits", {0x3C, 0x3D, 0x3E, 0x3F, 0x2E, 0x2F, 0x0C, 0x0D}, false, true, true, true},
        {"output enable left on", {0x3E, 0x3F, 0x2E, 0x2F, 0x2C, 0x2D}, true, true, true, false},
        {"left in Update-DR", {0x3E, 0x3F, 0x0E, 0x0F}, true, true, false, true},
        {"cable gone mid-scan", {}, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        runPreamble(session);
        sendPairs(session, romHeader(1));
        sendPairs(session, Bytes{1, 2, 3, 0x00});
        session.write(c.ending);

        const SimReport report = session.board.report();
        EXPECT_EQ(report.finalOneBit, c.finalOneBit);
        EXPECT_EQ(report.updateDrReached, c.updateDr);
        EXPECT_EQ(report.restsInIdle, c.idle);
        EXPECT_EQ(report.outputOffAtEnd, c.outputOff);
        EXPECT_FALSE(report.closed());
        EXPECT_NE(formatSimReport(report).find("closed: no ("), std::string::npos);
        // Without a final bit nothing marks a closing byte: every whole byte is payload.
        EXPECT_EQ(report.receivedBytes, c.finalOneBit ? 3u : 4u);
    }
}

TEST(SimBoardImage, NonZeroClosingByteIsNotAProperClose) {
    BoardSession session;
    sendImage(session, romHeader(1), Bytes{1, 2, 3}, 0x5A);
    const SimReport report = session.board.report();
    EXPECT_TRUE(report.finalOneBit);
    EXPECT_FALSE(report.closingByteZero);
    EXPECT_FALSE(report.closed());
    EXPECT_EQ(report.receivedBytes, 3u);
}

TEST(SimBoardFault, EachProtocolFaultIsFlagged) {
    struct Case {
        const char* name;
        bool afterPreamble;  // else straight from power-up
        Bytes bytes;
        std::size_t at;  // index in `bytes` of the first offending byte
        SimFault fault;
    };
    const Case cases[] = {
        {"read request in a bit-bang byte", true, {0x6C, 0x2D}, 0, SimFault::ReadRequest},
        {"read request in a shift command", true, {0xC1, 0x00}, 0, SimFault::ReadRequest},
        {"two data bytes in one command", true, {0x82, 0x00, 0x00}, 0, SimFault::ShiftCountNotOne},
        {"no data byte in a command", true, {0x80}, 0, SimFault::ShiftCountNotOne},
        {"nCE low", true, {0x28, 0x29}, 0, SimFault::ActiveSerialLineLow},
        {"nCS low", true, {0x2C, 0x24}, 1, SimFault::ActiveSerialLineLow},
        {"byte shift in Run-Test/Idle", true, {0x3E, 0x3F, 0x2E, 0x2F, 0x2C, 0x2D, 0x81, 0x00}, 7,
         SimFault::ShiftOutsideShiftState},
        {"byte shift before any reset", false, {0x2C, 0x81, 0x00}, 2, SimFault::ShiftOutsideShiftState},
        {"second clock with output enable off", true, {0x0C, 0x0D, 0x0C, 0x0D}, 3, SimFault::ClockWithOutputOff},
        {"byte shift with output enable off", true, {0x0C, 0x81, 0x00}, 2, SimFault::ClockWithOutputOff},
        {"clock before output enable was ever on", false, {0x0C, 0x0D}, 1, SimFault::ClockWithOutputOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        if (c.afterPreamble) runPreamble(session);
        ASSERT_TRUE(session.board.report().faults.empty());
        const std::size_t offset = session.wire.size();
        session.write(c.bytes);

        const SimReport report = session.board.report();
        ASSERT_EQ(report.faults.size(), 1u) << formatSimReport(report);
        EXPECT_EQ(report.faults[0].kind, c.fault);
        EXPECT_EQ(report.faults[0].firstWireOffset, offset + c.at);
        EXPECT_NE(formatSimReport(report).find(std::string("fault: ") + simFaultText(c.fault)), std::string::npos);
    }
}

// A byte shift clocks with the TMS level of the last bit-bang byte: high, it
// walks the TAP out of the shift state bit by bit.
TEST(SimBoardDecode, ByteShiftClocksWithTheLastTmsLevel) {
    struct Case {
        const char* name;
        bool inShiftIr;
        std::uint8_t levelByte;  // TCK low, so no clock of its own
        TapState after;
    };
    const Case cases[] = {
        {"Shift-DR, TMS low", false, 0x2C, TapState::ShiftDr},
        {"Shift-DR, TMS high", false, 0x2E, TapState::TestLogicReset},
        {"Shift-IR, TMS low", true, 0x2C, TapState::ShiftIr},
        {"Shift-IR, TMS high", true, 0x2E, TapState::TestLogicReset},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        runPreamble(session);
        if (c.inShiftIr) JtagShiftDrToShiftIr(session.handle());
        session.write(Bytes{c.levelByte, 0x81, 0x00});
        EXPECT_EQ(session.board.tapState(), c.after);
    }
}

// An instruction scan loads what Capture-IR put in (low bits 01, as the
// standard requires) moved right by each bit shifted.
TEST(SimBoardDecode, InstructionRegisterCapturesZeroOne) {
    struct Case {
        const char* name;
        Bytes afterCapture;  // from Capture-IR through Update-IR
        std::uint16_t instruction;
    };
    const Case cases[] = {
        {"no bit shifted", {0x2E, 0x2F, 0x2E, 0x2F}, 0x001},
        {"a 1 shifted on the way out", {0x2C, 0x2D, 0x3E, 0x3F, 0x2E, 0x2F}, 0x200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        JtagResetToIdle(session.handle());
        session.write(Bytes{0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D});  // Select-DR, Select-IR, Capture-IR
        ASSERT_EQ(session.board.tapState(), TapState::CaptureIr);
        session.write(c.afterCapture);
        ASSERT_EQ(session.board.tapState(), TapState::UpdateIr);
        EXPECT_EQ(session.board.instruction(), c.instruction);
    }
}

// The wire of a small stopped ROM upload, optionally with a stray bit
// clocked into the scan first so the payload arrives off byte boundaries.
Bytes smallUploadWire(bool strayBit) {
    BoardSession session;
    runPreamble(session);
    if (strayBit) session.write(Bytes{0x3C, 0x3D});
    sendPairs(session, romHeader(2));
    sendPairs(session, patternBytes(300, 3));
    sendPairs(session, Bytes{0x00});
    JtagShiftDrToIdle(session.handle());
    return session.wire;
}

struct Decoded {
    std::string report;
    Bytes payload;
    bool operator==(const Decoded&) const = default;
};

// `bitByBit`: watch every clock, which keeps the board off its whole-byte path.
Decoded decodeInPieces(const Bytes& wire, const std::vector<std::size_t>& cuts, bool bitByBit = false) {
    SimBoard board;
    if (bitByBit) board.observeClocks([](const TapClock&) {});
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        board.feed(std::span(wire).subspan(from, cut - from));
        from = cut;
    }
    board.feed(std::span(wire).subspan(from));
    const auto payload = board.payload();
    return {formatSimReport(board.report()), Bytes(payload.begin(), payload.end())};
}

// Commands split across writes (a 0x81 ending one write, its data byte
// opening the next) decode exactly as the whole stream does.
TEST(SimBoardDecode, SplitWritesDecodeLikeOneWrite) {
    for (bool strayBit : {false, true}) {
        SCOPED_TRACE(strayBit ? "off byte boundaries" : "on byte boundaries");
        const Bytes wire = smallUploadWire(strayBit);
        const Decoded whole = decodeInPieces(wire, {});
        // A stray bit shifts every byte after it: the header no longer reads as a ROM.
        EXPECT_NE(whole.report.find(strayBit ? "image: unknown header\n" : "image: ROM\n"), std::string::npos);
        EXPECT_EQ(whole.payload.size(), strayBit ? 0u : 300u);

        for (std::size_t cut = 1; cut < wire.size(); ++cut) {
            ASSERT_EQ(decodeInPieces(wire, {cut}), whole) << "cut at " << cut;
        }
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 1; cut < wire.size(); ++cut) everyByte.push_back(cut);
        EXPECT_EQ(decodeInPieces(wire, everyByte), whole);
    }
}

// Streams of upload pieces mixed with stray bytes of every kind (mode
// changes, TMS high during shifts, long shift commands, read requests): the
// fast whole-byte path must agree with a clock-by-clock decode, one byte at
// a time and in random pieces, and the board must keep within the announced
// size.
TEST(SimBoardDecode, DisorderlyStreamsDecodeAlikeInAnyPieces) {
    std::uint32_t random = 12345;
    const auto next = [&random](std::uint32_t below) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % below;
    };
    for (int run = 0; run < 60; ++run) {
        SCOPED_TRACE(run);
        BoardSession session;
        runPreamble(session);
        sendPairs(session, run % 2 == 0 ? kSpcHeader : romHeader(static_cast<std::uint8_t>(1 + run % 3)));
        Bytes tail;
        while (tail.size() < 20000) {
            if (next(40) == 0) {
                tail.push_back(static_cast<std::uint8_t>(next(256)));
            } else {
                const Bytes pairs = shiftPairs(patternBytes(1 + next(300), random));
                tail.insert(tail.end(), pairs.begin(), pairs.end());
            }
        }
        session.write(tail);
        const Decoded whole = decodeInPieces(session.wire, {});

        std::vector<std::size_t> randomCuts;
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 1 + next(50); cut < session.wire.size(); cut += 1 + next(50)) randomCuts.push_back(cut);
        for (std::size_t cut = 1; cut < session.wire.size(); ++cut) everyByte.push_back(cut);
        ASSERT_EQ(decodeInPieces(session.wire, {}, true), whole);
        ASSERT_EQ(decodeInPieces(session.wire, everyByte), whole);
        ASSERT_EQ(decodeInPieces(session.wire, randomCuts), whole);

        SimBoard board;
        board.feed(session.wire);
        const SimReport report = board.report();
        EXPECT_LE(board.payload().size(), report.announcedBytes);
        EXPECT_LE(board.payload().size(), report.receivedBytes);
        EXPECT_EQ(report.wireBytes, session.wire.size());
    }
}

// Reports taken while the scan is still arriving must not upset the final
// digest, not even one taken when the closing byte has come but the final
// bit has not (the board then still counts that byte as payload).
TEST(SimBoardDecode, ReportsDuringTheScanLeaveTheDigestRight) {
    const Bytes payload = patternBytes(5000, 9);
    Bytes withClosing = payload;
    withClosing.push_back(0x00);
    BoardSession session;
    runPreamble(session);
    sendPairs(session, romHeader(1));
    for (std::size_t from = 0; from < withClosing.size(); from += 777) {
        const std::size_t to = std::min(withClosing.size(), from + 777);
        sendPairs(session, std::span(withClosing).subspan(from, to - from));
        const SimReport partial = session.board.report();
        EXPECT_EQ(partial.receivedBytes, to);
        EXPECT_EQ(partial.sha256, Sha256::hex(Sha256::of(std::span(withClosing).first(to))));
    }
    JtagShiftDrToIdle(session.handle());
    const SimReport report = session.board.report();
    EXPECT_TRUE(report.closed());
    EXPECT_EQ(report.receivedBytes, payload.size());
    EXPECT_EQ(report.sha256, Sha256::hex(Sha256::of(payload)));
}

TEST(SimReportText, KeyValueLines) {
    BoardSession session;
    const Bytes payload = patternBytes(65536);
    sendImage(session, romHeader(3), payload);
    session.write(Bytes{0x6C});  // a read request after the upload

    const std::string text = formatSimReport(session.board.report());
    const std::string expected[] = {
        "image: ROM\n",
        "header: 00 00 00 03\n",
        "announced: 3 blocks (196608 bytes)\n",
        "received: 65536 bytes (1 of 3 blocks)\n",
        "closed: no (output enable still on)\n",
        "sha256: " + Sha256::hex(Sha256::of(payload)) + "\n",
        "user1: 0x100 (9 bits)\n",
        "tap: Run-Test/Idle\n",
        "instruction: 0x00C\n",
        "faults: 1\n",
        "fault: read request (1 time, first at wire byte " + std::to_string(session.wire.size() - 1) + ")\n",
    };
    for (const std::string& line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
}

TEST(SimReportText, UnexpectedUser1ScanIsShownBesideTheExpectedValue) {
    BoardSession session;
    JtagResetToIdle(session.handle());
    JtagIdleToShiftIr(session.handle());
    JtagShiftIrByte(session.handle(), 14);
    JtagShiftIrToShiftDr(session.handle());
    JtagShiftByte(session.handle(), 0x55);
    JtagShiftDrToIdle(session.handle());

    const SimReport report = session.board.report();
    EXPECT_FALSE(report.user1AsExpected());
    EXPECT_NE(formatSimReport(report).find("user1: 0x155 (9 bits), expected 0x100 (9 bits)\n"), std::string::npos)
        << formatSimReport(report);
    EXPECT_EQ(report.image, SimImage::None);
}

}  // namespace
