#pragma once
// Staging of one dropped (or named) file: the SPC reader first, then, in the
// full variant only, the file as a ROM image. Shared by the window and the CLI
// so that both stage a file in exactly the same way.

#include "spc_file.h"

#include <cstdint>
#include <string>
#include <vector>

// The staged ROM image: `size` payload bytes at the front of `data`, which
// holds whole 64 KiB blocks (zero past the file's bytes). size 0: none.
struct RomImage {
    std::vector<std::uint8_t> data;
    std::int32_t size = 0;

    void clear();
};

inline constexpr std::int32_t kRomBlockSize = 0x10000;
inline constexpr std::int32_t kRomMaxSize = 0x800000;
inline constexpr char kRomOkText[] = "ROM ok. Push [Play]";
inline constexpr char kRomNotFoundText[] = "ROM file not found.";

enum class RomStageResult { Staged, NotFound, TooLarge, NoMemory };

// True when a file of `fileSize` bytes carries a 512-byte copier header.
bool hasCopierHeader(std::uint64_t fileSize);

// Reads the file at `path` as a ROM image into `rom` (cleared first). Only a
// regular file is read; anything else is NotFound. `detail`, when given, gets
// what Linux says about a failure.
RomStageResult stageRom(const std::string& path, RomImage& rom, std::string* detail = nullptr);

enum class DropOutcome {
    SpcStaged,       // info text: the SPC summary
    RomStaged,       // info text: "ROM ok. Push [Play]"
    NotSpcSpcOnly,   // SPC-only variant, not an SPC file: nothing changes
    RomNotFound,     // info text: "ROM file not found."
    RomTooLarge,     // nothing shown
    RomNoMemory,     // nothing shown
};

struct DropResult {
    DropOutcome outcome;
    // Text for the information field, already CR LF converted; empty when the
    // field keeps what it showed.
    std::string infoText;
    // What Linux or the reader knows about a drop that staged nothing; detail
    // for reason(), never part of the information text.
    std::string detail;
    bool staged() const {
        return outcome == DropOutcome::SpcStaged || outcome == DropOutcome::RomStaged;
    }
    // One-line reason for a drop that staged nothing (for the CLI).
    std::string reason() const;
};

// Discards whatever was staged in `spc` and `rom`, then stages `path`.
DropResult stageDroppedFile(const std::string& path, bool spcOnly, SpcFile& spc, RomImage& rom);

// The variant rule: "Travik.ini" openable in the current directory means the
// full variant (ROM and SPC); otherwise SPC files only. A directory of that
// name does not count; a FIFO counts and is never waited on.
bool spcOnlyVariant();
