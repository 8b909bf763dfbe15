#pragma once
// The two upload workers. Both run on a worker thread against an UploadHost,
// which the window and the CLI each implement.

#include "ft.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

inline constexpr char kFileDontOpenText[] = "file dont open";
inline constexpr char kWriteErrText[] = "write err";

class UploadHost {
public:
    virtual ~UploadHost() = default;
    // The transfer flag: set before the worker starts; clearing it is Stop.
    virtual std::atomic<bool>& transferFlag() = 0;
    // The open cable, read afresh before every write.
    virtual FT_HANDLE cable() = 0;
    // The staged ROM buffer (whole 64 KiB blocks) and its payload size.
    virtual std::span<const std::uint8_t> romData() = 0;
    virtual std::int32_t romSize() = 0;
    // The path to upload (the path field's text); may block on the UI.
    virtual std::string pathText() = 0;
    // Progress position 0..100; returns once the host has taken it.
    virtual void setProgress(int position) = 0;
    // Shows a message and returns once the user has dismissed it.
    virtual void showMessage(const std::string& text) = 0;
};

// Cable bytes of a payload: 0x81 (shift one byte) and the byte, for each
// byte in order. `wire` holds exactly twice as many bytes as `payload`.
void fillWireBuffer(std::span<const std::uint8_t> payload, std::span<std::uint8_t> wire);

// Thread procedures; both return 0 and clear the transfer flag as their last step.
int RomUploadThread(UploadHost& host);
int SpcUploadThread(UploadHost& host);
