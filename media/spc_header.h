#pragma once
// Where the SPC reader finds each field. Offsets are from the start of the
// file; the header is the first 256 bytes, RAM and DSP images follow it.
// Every field is checked at compile time to lie inside the header.

#include <cstddef>

namespace spc_header {

struct Field {
    std::size_t offset;
    std::size_t size;
};

inline constexpr std::size_t kSize = 0x100;
inline constexpr std::size_t kRamOffset = 0x100;
inline constexpr std::size_t kDspOffset = 0x10100;

inline constexpr Field kSignature{0x00, 11};
inline constexpr Field kTagType{0x23, 1};
inline constexpr Field kVersionMinor{0x24, 1};
inline constexpr Field kPc{0x25, 2};
inline constexpr Field kA{0x27, 1};
inline constexpr Field kX{0x28, 1};
inline constexpr Field kY{0x29, 1};
inline constexpr Field kPsw{0x2A, 1};
inline constexpr Field kSp{0x2B, 1};
inline constexpr Field kSongTitle{0x2E, 32};
inline constexpr Field kGameTitle{0x4E, 32};
inline constexpr Field kDumperName{0x6E, 16};
inline constexpr Field kComment{0x7E, 32};
inline constexpr Field kLayoutSelector{0xD2, 1};

// Text layout: the tag's date and lengths are written as characters.
inline constexpr Field kTextDate{0x9E, 11};
inline constexpr Field kTextSongLength{0xA9, 3};
inline constexpr Field kTextFadeLength{0xAC, 5};
inline constexpr Field kTextArtist{0xB1, 32};

// Binary layout: little-endian numbers; the lengths are one byte shorter than
// the room the tag leaves for them (0xAB and 0xAF are not part of them).
inline constexpr Field kBinaryDay{0x9E, 1};
inline constexpr Field kBinaryMonth{0x9F, 1};
inline constexpr Field kBinaryYear{0xA0, 2};
inline constexpr Field kBinarySongLength{0xA9, 2};
inline constexpr Field kBinaryFadeLength{0xAC, 3};
inline constexpr Field kBinaryArtist{0xB0, 32};

constexpr bool fits(Field field) { return field.size > 0 && field.offset + field.size <= kSize; }

static_assert(fits(kSignature) && fits(kTagType) && fits(kVersionMinor) && fits(kPc));
static_assert(fits(kA) && fits(kX) && fits(kY) && fits(kPsw) && fits(kSp));
static_assert(fits(kSongTitle) && fits(kGameTitle) && fits(kDumperName) && fits(kComment));
static_assert(fits(kLayoutSelector));
static_assert(fits(kTextDate) && fits(kTextSongLength) && fits(kTextFadeLength) && fits(kTextArtist));
static_assert(fits(kBinaryDay) && fits(kBinaryMonth) && fits(kBinaryYear));
static_assert(fits(kBinarySongLength) && fits(kBinaryFadeLength) && fits(kBinaryArtist));
static_assert(kRamOffset == kSize, "the RAM image follows the header");

}  // namespace spc_header
