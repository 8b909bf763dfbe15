#pragma once
// The IEEE 1149.1 test access port controller: its sixteen states and the
// move each TCK rising edge makes for a TMS level.

#include <cstdint>

enum class TapState : std::uint8_t {
    TestLogicReset,
    RunTestIdle,
    SelectDrScan,
    CaptureDr,
    ShiftDr,
    Exit1Dr,
    PauseDr,
    Exit2Dr,
    UpdateDr,
    SelectIrScan,
    CaptureIr,
    ShiftIr,
    Exit1Ir,
    PauseIr,
    Exit2Ir,
    UpdateIr,
};

inline constexpr int kTapStateCount = 16;

TapState nextTapState(TapState state, bool tms);
// The standard's name, such as "Run-Test/Idle" or "Shift-DR".
const char* tapStateName(TapState state);
