// The seven fixed sequences. Bit-bang bytes: bit 0 TCK, bit 1 TMS, bits 2 and
// 3 the unused active-serial lines (held high), bit 4 TDI, bit 5 output
// enable. 0x81 is a byte-shift command carrying one data byte.

#include "jtag.h"

#include <array>

namespace {

template <std::size_t N>
FT_STATUS writeSequence(FT_HANDLE handle, const std::array<std::uint8_t, N>& bytes) {
    std::uint32_t written = 0;  // not examined: the sequences detect nothing
    return FT_Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
}

}  // namespace

FT_STATUS JtagResetToIdle(FT_HANDLE handle) {
    // Five clocks with TMS 1 reach Test-Logic-Reset from any state; one with TMS 0 goes to Idle.
    static constexpr std::array<std::uint8_t, 12> kBytes = {0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F,
                                                            0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D};
    return writeSequence(handle, kBytes);
}

FT_STATUS JtagIdleToShiftIr(FT_HANDLE handle) {
    static constexpr std::array<std::uint8_t, 8> kBytes = {0x2E, 0x2F, 0x2E, 0x2F,
                                                           0x2C, 0x2D, 0x2C, 0x2D};
    return writeSequence(handle, kBytes);
}

FT_STATUS JtagShiftByte(FT_HANDLE handle, std::uint8_t value) {
    const std::array<std::uint8_t, 2> bytes = {0x81, value};
    return writeSequence(handle, bytes);
}

FT_STATUS JtagShiftIrByte(FT_HANDLE handle, std::uint8_t value) {
    // The trailing clock shifts a ninth instruction bit, a 0, and stays in Shift-IR.
    const std::array<std::uint8_t, 4> bytes = {0x81, value, 0x2C, 0x2D};
    return writeSequence(handle, bytes);
}

FT_STATUS JtagShiftIrToShiftDr(FT_HANDLE handle) {
    // The first clock shifts the tenth instruction bit (0) on the way to Exit1-IR.
    static constexpr std::array<std::uint8_t, 10> kBytes = {0x2E, 0x2F, 0x2E, 0x2F, 0x2E,
                                                            0x2F, 0x2C, 0x2D, 0x2C, 0x2D};
    return writeSequence(handle, kBytes);
}

FT_STATUS JtagShiftDrToShiftIr(FT_HANDLE handle) {
    // The first clock shifts the closing 1 of the data scan.
    static constexpr std::array<std::uint8_t, 12> kBytes = {0x3E, 0x3F, 0x2E, 0x2F, 0x2E, 0x2F,
                                                            0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D};
    return writeSequence(handle, kBytes);
}

FT_STATUS JtagShiftDrToIdle(FT_HANDLE handle) {
    // Closing 1, Update-DR, then Idle with output enable (and the LED) off.
    static constexpr std::array<std::uint8_t, 6> kBytes = {0x3E, 0x3F, 0x2E, 0x2F, 0x0C, 0x0D};
    return writeSequence(handle, kBytes);
}
