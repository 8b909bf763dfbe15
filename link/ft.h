#pragma once
// Travik's own small cable API in the shape of the FTDI calls the upload
// code was designed around: open by description, write with a count written,
// close. The bytes go to whichever cable backend the shell selected.

#include <cstdint>
#include <memory>
#include <string>

class CableSession;  // one open cable; see cable.h

using FT_HANDLE = CableSession*;
using FT_STATUS = std::uint32_t;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;

inline constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2;

inline constexpr char kCableDescription[] = "USB-Blaster";
// What the shells say when no cable opens.
inline constexpr char kNotConnectedText[] = "FPGA board is not connected.";

// On FT_OK, *handle owns the open session until FT_Close (or a CableHandle)
// gives it back; on failure *handle is null.
FT_STATUS FT_OpenEx(const char* description, std::uint32_t flags, FT_HANDLE* handle);
FT_STATUS FT_Write(FT_HANDLE handle, const void* buffer, std::uint32_t count, std::uint32_t* written);
FT_STATUS FT_Close(FT_HANDLE handle);

// Why the last FT_OpenEx on this thread failed, in plain words (empty when
// it succeeded or the backend knew nothing more).
const std::string& lastOpenFailureDetail();

// Sole owner of an open handle: closes it when it goes.
struct FtCloser {
    void operator()(FT_HANDLE handle) const { FT_Close(handle); }
};
using CableHandle = std::unique_ptr<CableSession, FtCloser>;
