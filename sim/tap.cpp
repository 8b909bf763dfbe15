#include "tap.h"

#include <array>

namespace {

struct TapRow {
    TapState onTms0;
    TapState onTms1;
    const char* name;
};

using S = TapState;

constexpr std::array<TapRow, kTapStateCount> kTapTable{{
    {S::RunTestIdle, S::TestLogicReset, "Test-Logic-Reset"},
    {S::RunTestIdle, S::SelectDrScan, "Run-Test/Idle"},
    {S::CaptureDr, S::SelectIrScan, "Select-DR-Scan"},
    {S::ShiftDr, S::Exit1Dr, "Capture-DR"},
    {S::ShiftDr, S::Exit1Dr, "Shift-DR"},
    {S::PauseDr, S::UpdateDr, "Exit1-DR"},
    {S::PauseDr, S::Exit2Dr, "Pause-DR"},
    {S::ShiftDr, S::UpdateDr, "Exit2-DR"},
    {S::RunTestIdle, S::SelectDrScan, "Update-DR"},
    {S::CaptureIr, S::TestLogicReset, "Select-IR-Scan"},
    {S::ShiftIr, S::Exit1Ir, "Capture-IR"},
    {S::ShiftIr, S::Exit1Ir, "Shift-IR"},
    {S::PauseIr, S::UpdateIr, "Exit1-IR"},
    {S::PauseIr, S::Exit2Ir, "Pause-IR"},
    {S::ShiftIr, S::UpdateIr, "Exit2-IR"},
    {S::RunTestIdle, S::SelectDrScan, "Update-IR"},
}};

const TapRow& row(TapState state) { return kTapTable[static_cast<std::size_t>(state)]; }

}  // namespace

TapState nextTapState(TapState state, bool tms) {
    return tms ? row(state).onTms1 : row(state).onTms0;
}

const char* tapStateName(TapState state) { return row(state).name; }
