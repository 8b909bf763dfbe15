#pragma once
// The fixed JTAG sequences in the USB-Blaster byte protocol. Each is one
// FT_Write of a fixed local array; the status is returned, callers ignore it.

#include "ft.h"

#include <cstdint>

FT_STATUS JtagResetToIdle(FT_HANDLE handle);
FT_STATUS JtagIdleToShiftIr(FT_HANDLE handle);
FT_STATUS JtagShiftByte(FT_HANDLE handle, std::uint8_t value);
FT_STATUS JtagShiftIrByte(FT_HANDLE handle, std::uint8_t value);
FT_STATUS JtagShiftIrToShiftDr(FT_HANDLE handle);
FT_STATUS JtagShiftDrToShiftIr(FT_HANDLE handle);
FT_STATUS JtagShiftDrToIdle(FT_HANDLE handle);
