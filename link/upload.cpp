// The two upload workers: the USER1 scan, then one USER0 scan holding a ROM
// image or an SPC image, then the closing bytes.

#include "upload.h"

#include "jtag.h"
#include "regular_file.h"
#include "staging.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <vector>

namespace {

constexpr std::uint8_t kShiftOneByte = 0x81;
constexpr std::uint8_t kUser1 = 0x0E;
constexpr std::uint8_t kUser0 = 0x0C;
constexpr std::uint8_t kSpcImageMark = 0xFF;

constexpr std::size_t kRomBlockBytes = kRomBlockSize;
constexpr std::size_t kSpcImageBytes = 65920;  // header, 64 KiB RAM, DSP registers

// Clears the transfer flag when the worker ends, whichever way it ends; being
// the first local of a worker it is the last thing to happen.
class TransferEnd {
public:
    explicit TransferEnd(UploadHost& host) : m_host(host) {}
    ~TransferEnd() { m_host.transferFlag().store(false); }
    TransferEnd(const TransferEnd&) = delete;
    TransferEnd& operator=(const TransferEnd&) = delete;

private:
    UploadHost& m_host;
};

void runPreamble(UploadHost& host) {
    JtagResetToIdle(host.cable());
    JtagIdleToShiftIr(host.cable());
    JtagShiftIrByte(host.cable(), kUser1);
    JtagShiftIrToShiftDr(host.cable());
    JtagShiftByte(host.cable(), 0);  // nine bits 0,...,0,1 with the closing 1 below
    JtagShiftDrToShiftIr(host.cable());
    JtagShiftIrByte(host.cable(), kUser0);
    JtagShiftIrToShiftDr(host.cable());
}

void runClosing(UploadHost& host) {
    host.setProgress(100);
    JtagShiftByte(host.cable(), 0);
    JtagShiftDrToIdle(host.cable());
}

std::uint32_t writeAll(UploadHost& host, const std::vector<std::uint8_t>& wire) {
    std::uint32_t written = 0;  // a count the call leaves unset counts as 0
    FT_Write(host.cable(), wire.data(), static_cast<std::uint32_t>(wire.size()), &written);
    return written;
}

// The wire bytes of ROM block `block`. Bytes the staged buffer does not hold
// go out as 0, so a short buffer can never be read past its end.
void fillRomBlock(std::span<const std::uint8_t> rom, std::size_t block, std::vector<std::uint8_t>& wire) {
    const std::size_t start = std::min(block * kRomBlockBytes, rom.size());
    const std::size_t held = std::min(kRomBlockBytes, rom.size() - start);
    const std::span<std::uint8_t> all(wire);
    fillWireBuffer(rom.subspan(start, held), all.first(2 * held));
    for (std::size_t i = 2 * held; i < all.size(); i += 2) {
        all[i] = kShiftOneByte;
        all[i + 1] = 0;
    }
}

void sendRomHeader(UploadHost& host, std::size_t blocks) {
    const std::size_t paddedSize = blocks * kRomBlockBytes;
    JtagShiftByte(host.cable(), 0);
    JtagShiftByte(host.cable(), static_cast<std::uint8_t>(paddedSize));
    JtagShiftByte(host.cable(), static_cast<std::uint8_t>(paddedSize >> 8));
    JtagShiftByte(host.cable(), static_cast<std::uint8_t>(paddedSize >> 16));
}

void sendRomBlocks(UploadHost& host, std::span<const std::uint8_t> rom, std::size_t blocks) {
    std::vector<std::uint8_t> wire(2 * kRomBlockBytes);
    for (std::size_t block = 0; block < blocks; ++block) {
        fillRomBlock(rom, block, wire);
        if (writeAll(host, wire) != wire.size()) {
            host.showMessage(kWriteErrText);
            return;
        }
        if (!host.transferFlag().load()) return;  // Stop: this block was the last
        host.setProgress(static_cast<int>(100 * block / blocks));
    }
}

// True when `path` opens and reads as a regular file. Only regular files: a
// FIFO or a terminal in the path field would hold the worker forever.
bool opensForReading(const std::string& path) {
    const RegularFile file = RegularFile::open(path);
    std::uint8_t byte = 0;
    return file.isOpen() && file.readAt(0, std::span(&byte, 1)).has_value();
}

// Up to 65920 bytes from the start of the file; past its end the buffer stays
// zero. Null when the file is not a regular file or cannot be read.
std::optional<std::vector<std::uint8_t>> readSpcImage(const std::string& path) {
    const RegularFile file = RegularFile::open(path);
    if (!file.isOpen()) return std::nullopt;
    std::vector<std::uint8_t> image(kSpcImageBytes, 0);
    if (!file.readAt(0, image)) return std::nullopt;
    return image;
}

// An exception (no memory for the wire buffer or the path) ends the worker
// with "write err" and no further writes, instead of ending the process with
// the cable open.
void reportFailure(UploadHost& host) noexcept {
    try {
        host.showMessage(kWriteErrText);
    } catch (const std::exception&) {
        // Nothing more can be told; the transfer flag still clears.
    }
}

}  // namespace

void fillWireBuffer(std::span<const std::uint8_t> payload, std::span<std::uint8_t> wire) {
    std::uint8_t* out = wire.data();
    const std::uint8_t* in = payload.data();
    const std::size_t count = std::min(payload.size(), wire.size() / 2);
    for (std::size_t i = 0; i < count; ++i) {
        out[2 * i] = kShiftOneByte;
        out[2 * i + 1] = in[i];
    }
}

namespace {

void uploadRom(UploadHost& host) {
    runPreamble(host);
    if (!opensForReading(host.pathText())) {  // the path is only tested
        host.showMessage(kFileDontOpenText);
        return;
    }
    const std::int32_t romSize = host.romSize();
    // Sizes the header cannot announce are outside what staging produces.
    if (romSize <= 0 || romSize > kRomMaxSize) return;
    const std::size_t blocks = (static_cast<std::size_t>(romSize) + kRomBlockBytes - 1) / kRomBlockBytes;
    sendRomHeader(host, blocks);
    sendRomBlocks(host, host.romData(), blocks);
    runClosing(host);
}

void uploadSpc(UploadHost& host) {
    runPreamble(host);
    const std::optional<std::vector<std::uint8_t>> image = readSpcImage(host.pathText());
    if (!image) {
        host.showMessage(kFileDontOpenText);
        return;
    }
    JtagShiftByte(host.cable(), kSpcImageMark);
    JtagShiftByte(host.cable(), 0);
    std::vector<std::uint8_t> wire(2 * image->size());
    fillWireBuffer(*image, wire);
    if (writeAll(host, wire) != wire.size()) host.showMessage(kWriteErrText);
    runClosing(host);
}

}  // namespace

int RomUploadThread(UploadHost& host) {
    const TransferEnd transferEnd(host);
    try {
        uploadRom(host);
    } catch (const std::exception&) {
        reportFailure(host);
    }
    return 0;
}

int SpcUploadThread(UploadHost& host) {
    const TransferEnd transferEnd(host);
    try {
        uploadSpc(host);
    } catch (const std::exception&) {
        reportFailure(host);
    }
    return 0;
}
