#pragma once
// A cable backend that records every write of a session to a file, from open
// to close, and passes the bytes on to the backend it wraps.
//
// File format: one record per FT_Write, in order: the byte count as 4 bytes,
// least significant first, then the bytes handed to FT_Write (what was handed,
// not what the cable accepted). An empty file is a session without writes.

#include "cable.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct CaptureErrorSlot;

class CaptureCableBackend : public CableBackend {
public:
    CaptureCableBackend(std::shared_ptr<CableBackend> inner, std::string capturePath);

    // Opens the wrapped cable, then creates (truncates) the capture file; if
    // the file cannot be created the cable is closed again and the open fails.
    std::unique_ptr<CableSession> open(std::string_view description,
                                       std::string& failureDetail) override;

    // Why the capture of the last session is incomplete (or could not even
    // start); empty when every record reached the file.
    std::string captureError() const;

    const std::string& capturePath() const { return m_capturePath; }

private:
    std::shared_ptr<CableBackend> m_inner;
    std::string m_capturePath;
    std::shared_ptr<CaptureErrorSlot> m_error;  // shared with the open session
};

using CaptureRecords = std::vector<std::vector<std::uint8_t>>;

// Reads a capture file back. Null with `error` set when the file cannot be
// read or ends inside a record.
std::optional<CaptureRecords> readCaptureFile(const std::string& path, std::string& error);
