#include "staging.h"

#include "regular_file.h"
#include "summary.h"

#include <algorithm>
#include <array>
#include <new>
#include <span>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kCopierHeaderSize = 512;

// Whole-file sizes of the copier dumps that carry a 512-byte header: each is
// a ROM size the copiers knew, plus the header.
constexpr std::array<std::uint64_t, 12> kCopierFileSizes = {
    0x40200,  0x80200,  0xB6200,  0x100200, 0x102200, 0x140200,
    0x180200, 0x200200, 0x280200, 0x300200, 0x400200, 0x500200,
};

std::int32_t roundUpToBlocks(std::int32_t size) {
    return (size + kRomBlockSize - 1) / kRomBlockSize * kRomBlockSize;
}

// Why the SPC reader could not read `path`: it would not open, or it would
// not read.
void describeUnreadable(const std::string& path, std::string& why) {
    const RegularFile file = RegularFile::open(path, &why);
    std::uint8_t byte = 0;
    if (file.isOpen()) file.readAt(0, std::span(&byte, 1), &why);
}

}  // namespace

void RomImage::clear() {
    std::vector<std::uint8_t>().swap(data);  // give the memory back, not just the size
    size = 0;
}

bool hasCopierHeader(std::uint64_t fileSize) {
    return std::find(kCopierFileSizes.begin(), kCopierFileSizes.end(), fileSize) !=
           kCopierFileSizes.end();
}

RomStageResult stageRom(const std::string& path, RomImage& rom, std::string* detail) {
    rom.clear();
    const RegularFile file = RegularFile::open(path, detail);
    if (!file.isOpen()) return RomStageResult::NotFound;

    const std::uint64_t fileSize = file.size();
    const bool skipHeader = hasCopierHeader(fileSize);
    const std::uint64_t start = skipHeader ? kCopierHeaderSize : 0;
    const std::uint64_t payload = fileSize - start;
    if (payload > static_cast<std::uint64_t>(kRomMaxSize)) {
        if (detail) *detail = std::to_string(payload) + " bytes of ROM image";
        return RomStageResult::TooLarge;
    }
    const std::int32_t romSize = std::max(static_cast<std::int32_t>(payload), kRomBlockSize);
    try {
        rom.data.assign(static_cast<std::size_t>(roundUpToBlocks(romSize)), 0);
    } catch (const std::bad_alloc&) {
        rom.clear();
        return RomStageResult::NoMemory;
    }
    // Bounded by romSize: a file that grew since fstat is not read further, one
    // that shrank leaves zeros behind its end. A read error stages nothing.
    if (!file.readAt(start, std::span(rom.data.data(), static_cast<std::size_t>(romSize)), detail)) {
        rom.clear();
        return RomStageResult::NotFound;
    }
    rom.size = romSize;
    return RomStageResult::Staged;
}

DropResult stageDroppedFile(const std::string& path, bool spcOnly, SpcFile& spc, RomImage& rom) {
    DropResult result{DropOutcome::NotSpcSpcOnly, {}, {}};
    rom.clear();
    const int loadResult = spc.Load(path);
    if (loadResult == 0) {
        result.outcome = DropOutcome::SpcStaged;
        spc.BuildSummary(result.infoText);
        ConvertLfToCrLf(result.infoText);
        return result;
    }
    if (spcOnly) {
        if (loadResult == -1) {
            describeUnreadable(path, result.detail);
        } else {
            result.detail = "no SPC signature";
        }
        return result;
    }
    switch (stageRom(path, rom, &result.detail)) {
        case RomStageResult::Staged:
            result.outcome = DropOutcome::RomStaged;
            result.infoText = kRomOkText;
            break;
        case RomStageResult::NotFound:
            result.outcome = DropOutcome::RomNotFound;
            result.infoText = kRomNotFoundText;
            break;
        case RomStageResult::TooLarge:
            result.outcome = DropOutcome::RomTooLarge;
            break;
        case RomStageResult::NoMemory:
            result.outcome = DropOutcome::RomNoMemory;
            break;
    }
    ConvertLfToCrLf(result.infoText);
    return result;
}

std::string DropResult::reason() const {
    const std::string because = detail.empty() ? "" : " (" + detail + ")";
    switch (outcome) {
        case DropOutcome::SpcStaged: return "SPC file staged";
        case DropOutcome::RomStaged: return "ROM image staged";
        case DropOutcome::NotSpcSpcOnly:
            return "not an SPC file" + because +
                   "; without Travik.ini in the current directory only SPC files are taken";
        case DropOutcome::RomNotFound: return kRomNotFoundText + because;
        case DropOutcome::RomTooLarge:
            return "ROM image larger than 8,388,608 bytes" + because + ", not staged";
        case DropOutcome::RomNoMemory: return "no memory for the ROM image, not staged";
    }
    return "nothing staged";
}

bool spcOnlyVariant() {
    // Tested for presence only, never read. A directory of that name is not a
    // file that opens for reading. Only a regular file is opened to test that:
    // opening a device node may act on the device, and a FIFO must not hold up
    // the start, so for those the permission to read stands in for the open.
    struct stat info {};
    if (::stat("Travik.ini", &info) != 0 || S_ISDIR(info.st_mode)) return true;
    if (S_ISREG(info.st_mode)) return openForReading("Travik.ini").get() < 0;
    if (S_ISSOCK(info.st_mode)) return true;  // a socket never opens
    return ::access("Travik.ini", R_OK) != 0;
}
