#include "jtag.h"

#include "recording_cable.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct SequenceCase {
    std::string name;
    std::function<FT_STATUS(FT_HANDLE)> run;
    Bytes bytes;
};

const std::vector<SequenceCase>& sequenceCases() {
    static const std::vector<SequenceCase> cases = {
        {"ResetToIdle", JtagResetToIdle,
         {0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D}},
        {"IdleToShiftIr", JtagIdleToShiftIr, {0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D}},
        {"ShiftByte00", [](FT_HANDLE h) { return JtagShiftByte(h, 0x00); }, {0x81, 0x00}},
        {"ShiftByteFF", [](FT_HANDLE h) { return JtagShiftByte(h, 0xFF); }, {0x81, 0xFF}},
        {"ShiftByte5A", [](FT_HANDLE h) { return JtagShiftByte(h, 0x5A); }, {0x81, 0x5A}},
        {"ShiftIrByte0E", [](FT_HANDLE h) { return JtagShiftIrByte(h, 0x0E); }, {0x81, 0x0E, 0x2C, 0x2D}},
        {"ShiftIrByte0C", [](FT_HANDLE h) { return JtagShiftIrByte(h, 0x0C); }, {0x81, 0x0C, 0x2C, 0x2D}},
        {"ShiftIrToShiftDr", JtagShiftIrToShiftDr,
         {0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D}},
        {"ShiftDrToShiftIr", JtagShiftDrToShiftIr,
         {0x3E, 0x3F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D}},
        {"ShiftDrToIdle", JtagShiftDrToIdle, {0x3E, 0x3F, 0x2E, 0x2F, 0x0C, 0x0D}},
    };
    return cases;
}

class JtagSequenceTest : public testing::TestWithParam<SequenceCase> {};

TEST_P(JtagSequenceTest, WritesItsBytesInOneCall) {
    RecordingSession cable;
    EXPECT_EQ(GetParam().run(&cable), FT_OK);
    ASSERT_EQ(cable.writeCount(), 1u);
    EXPECT_EQ(cable.writes()[0], GetParam().bytes);
}

// The routines detect nothing themselves, but the status of their one write
// must come back to the caller.
TEST_P(JtagSequenceTest, ReturnsTheStatusOfItsWrite) {
    RecordingSession pulled;
    pulled.acceptBudget = 1;
    EXPECT_EQ(GetParam().run(&pulled), FT_IO_ERROR);
    EXPECT_EQ(GetParam().run(nullptr), FT_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(AllSequences, JtagSequenceTest, testing::ValuesIn(sequenceCases()),
                         [](const testing::TestParamInfo<SequenceCase>& info) { return info.param.name; });

}  // namespace
