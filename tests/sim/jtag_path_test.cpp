// The real Jtag* routines run against the simulated board's TAP: the states
// each one walks through, the TDI level at each clock, and the instruction it
// leaves loaded.

#include "board_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <queue>
#include <string>
#include <vector>

namespace {

using S = TapState;

struct SequenceCase {
    const char* name;
    std::function<void(BoardSession&)> reachStart;
    std::function<void(FT_HANDLE)> run;
    std::vector<TapState> path;  // state after each rising edge of TCK
    std::string tdi;             // TDI at each edge, '0' or '1'
    bool outputEnabledAfter = true;
};

void toIdle(BoardSession& s) { JtagResetToIdle(s.handle()); }
void toShiftIr(BoardSession& s) {
    JtagResetToIdle(s.handle());
    JtagIdleToShiftIr(s.handle());
}
void toUser0ShiftDr(BoardSession& s) { runPreamble(s); }

const std::vector<SequenceCase>& sequenceCases() {
    static const std::vector<SequenceCase> cases = {
        {"ResetToIdle from power-up", [](BoardSession&) {}, [](FT_HANDLE h) { JtagResetToIdle(h); },
         {S::TestLogicReset, S::TestLogicReset, S::TestLogicReset, S::TestLogicReset, S::TestLogicReset,
          S::RunTestIdle},
         "000000"},
        {"IdleToShiftIr", toIdle, [](FT_HANDLE h) { JtagIdleToShiftIr(h); },
         {S::SelectDrScan, S::SelectIrScan, S::CaptureIr, S::ShiftIr},
         "0000"},
        {"ShiftByte 0xA5 in Shift-DR", toUser0ShiftDr, [](FT_HANDLE h) { JtagShiftByte(h, 0xA5); },
         std::vector<TapState>(8, S::ShiftDr),
         "10100101"},
        {"ShiftIrByte 0x3C", toShiftIr, [](FT_HANDLE h) { JtagShiftIrByte(h, 0x3C); },
         std::vector<TapState>(9, S::ShiftIr),
         "001111000"},
        {"ShiftIrToShiftDr", toShiftIr, [](FT_HANDLE h) { JtagShiftIrToShiftDr(h); },
         {S::Exit1Ir, S::UpdateIr, S::SelectDrScan, S::CaptureDr, S::ShiftDr},
         "00000"},
        {"ShiftDrToShiftIr", toUser0ShiftDr, [](FT_HANDLE h) { JtagShiftDrToShiftIr(h); },
         {S::Exit1Dr, S::UpdateDr, S::SelectDrScan, S::SelectIrScan, S::CaptureIr, S::ShiftIr},
         "100000"},
        {"ShiftDrToIdle", toUser0ShiftDr, [](FT_HANDLE h) { JtagShiftDrToIdle(h); },
         {S::Exit1Dr, S::UpdateDr, S::RunTestIdle},
         "100",
         false},
    };
    return cases;
}

TEST(JtagPath, EachSequenceWalksItsTapPath) {
    for (const SequenceCase& c : sequenceCases()) {
        SCOPED_TRACE(c.name);
        BoardSession session;
        c.reachStart(session);
        std::vector<TapClock> clocks;
        session.board.observeClocks([&clocks](const TapClock& clock) { clocks.push_back(clock); });
        const TapState start = session.board.tapState();
        c.run(session.handle());

        ASSERT_EQ(clocks.size(), c.path.size());
        TapState expectedFrom = start;
        std::string tdi;
        for (std::size_t i = 0; i < clocks.size(); ++i) {
            EXPECT_EQ(clocks[i].from, expectedFrom) << "clock " << i + 1;
            EXPECT_EQ(tapStateName(clocks[i].to), std::string(tapStateName(c.path[i]))) << "clock " << i + 1;
            expectedFrom = clocks[i].to;
            tdi += clocks[i].tdi ? '1' : '0';
        }
        EXPECT_EQ(tdi, c.tdi);
        EXPECT_EQ(session.board.outputEnabled(), c.outputEnabledAfter);
        EXPECT_TRUE(session.board.report().faults.empty()) << formatSimReport(session.board.report());
    }
}

// ShiftIrByte(code) + ShiftIrToShiftDr shift ten bits: the code, LSB first,
// then two zeros; the first bit ends up least significant.
TEST(JtagPath, ShiftIrByteThenShiftIrToShiftDrLoadsTheInstruction) {
    struct Case {
        std::uint8_t code;
        std::uint16_t instruction;
        std::vector<bool> irBits;
    };
    const Case cases[] = {
        {14, kInstructionUser1, {0, 1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {12, kInstructionUser0, {0, 0, 1, 1, 0, 0, 0, 0, 0, 0}},
        {0xFF, 0x0FF, {1, 1, 1, 1, 1, 1, 1, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.code));
        BoardSession session;
        toShiftIr(session);
        JtagShiftIrByte(session.handle(), c.code);
        JtagShiftIrToShiftDr(session.handle());
        EXPECT_EQ(session.board.lastIrScanBits(), c.irBits);
        EXPECT_EQ(session.board.instruction(), c.instruction);
        EXPECT_EQ(session.board.tapState(), TapState::ShiftDr);
    }
}

// A TMS route from Test-Logic-Reset to `target`, found on the TAP graph.
std::vector<bool> tmsRouteTo(TapState target) {
    std::map<TapState, std::vector<bool>> routes{{TapState::TestLogicReset, {}}};
    std::queue<TapState> open;
    open.push(TapState::TestLogicReset);
    while (!open.empty()) {
        const TapState state = open.front();
        open.pop();
        for (bool tms : {false, true}) {
            const TapState next = nextTapState(state, tms);
            if (routes.contains(next)) continue;
            routes[next] = routes[state];
            routes[next].push_back(tms);
            open.push(next);
        }
    }
    return routes.at(target);
}

// A write that failed part-way may leave the TAP anywhere; the reset must
// bring it back from every state, with the clock line left high or low.
TEST(JtagPath, ResetToIdleRecoversFromEveryState) {
    for (int index = 0; index < kTapStateCount; ++index) {
        const auto target = static_cast<TapState>(index);
        for (bool leaveTckLow : {false, true}) {
            SCOPED_TRACE(std::string(tapStateName(target)) + (leaveTckLow ? ", TCK low" : ", TCK high"));
            BoardSession session;
            std::vector<std::uint8_t> wire;
            for (bool tms : tmsRouteTo(target)) {
                const std::uint8_t level = static_cast<std::uint8_t>(0x2C | (tms ? 0x02 : 0));
                wire.push_back(level);
                wire.push_back(level | 0x01);
            }
            if (leaveTckLow) wire.push_back(0x2E);
            session.write(wire);
            ASSERT_EQ(session.board.tapState(), target);

            JtagResetToIdle(session.handle());
            EXPECT_EQ(session.board.tapState(), TapState::RunTestIdle);
        }
    }
}

TEST(JtagPath, ResetToIdleInTheMiddleOfAnImageScanAbandonsIt) {
    BoardSession session;
    runPreamble(session);
    sendPairs(session, std::vector<std::uint8_t>{0xFF, 0x00, 0x12});
    session.write(std::vector<std::uint8_t>{0x2C, 0x2D, 0x3C});  // one stray bit, cut after a TCK-low byte

    JtagResetToIdle(session.handle());

    EXPECT_EQ(session.board.tapState(), TapState::RunTestIdle);
    EXPECT_EQ(session.board.instruction(), kInstructionIdcode);
    const SimReport report = session.board.report();
    EXPECT_EQ(report.image, SimImage::Spc);
    EXPECT_TRUE(report.updateDrReached);  // TMS high from Shift-DR passes through Update-DR
    EXPECT_FALSE(report.finalOneBit);     // the stray bit and the reset's first clock: two loose bits
    EXPECT_FALSE(report.closed());
}

}  // namespace
