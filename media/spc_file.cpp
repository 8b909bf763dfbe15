#include "spc_file.h"

#include "regular_file.h"
#include "spc_header.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>
#include <span>
#include <utility>

namespace {

using Header = std::array<std::uint8_t, spc_header::kSize>;
using spc_header::Field;

constexpr char kSignatureText[] = "SNES-SPC700";
static_assert(sizeof(kSignatureText) - 1 == spc_header::kSignature.size);

template <Field F>
std::span<const std::uint8_t, F.size> bytesOf(const Header& header) {
    static_assert(spc_header::fits(F));
    return std::span<const std::uint8_t, F.size>(header.data() + F.offset, F.size);
}

template <Field F>
std::uint8_t byteAt(const Header& header) {
    return bytesOf<F>(header)[0];
}

// Little-endian number of F.size bytes.
template <Field F>
std::uint32_t numberAt(const Header& header) {
    static_assert(F.size <= 4);
    std::uint32_t value = 0;
    const auto bytes = bytesOf<F>(header);
    for (std::size_t i = F.size; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

// Clears the whole field, then copies the header bytes; the field's last byte
// always stays NUL.
template <Field F, std::size_t N>
void copyText(const Header& header, char (&field)[N]) {
    static_assert(F.size < N, "the field must keep room for its NUL");
    std::memset(field, 0, N);
    const auto bytes = bytesOf<F>(header);
    std::copy(bytes.begin(), bytes.end(), field);
}

// The tag's decimal reading, quirks kept: the first byte counts whatever it
// is (three 0 bytes read as -48), later 0 bytes are skipped without ending
// the run, and nothing is tested for being a digit. Five bytes at most keep
// the value far inside 32 bits.
template <Field F>
std::int32_t decimalAt(const Header& header) {
    static_assert(F.size <= 5);
    const auto bytes = bytesOf<F>(header);
    std::int32_t value = static_cast<std::int32_t>(bytes[0]) - '0';
    for (std::size_t i = 1; i < F.size; ++i) {
        if (bytes[i] != 0) value = value * 10 + static_cast<std::int32_t>(bytes[i]) - '0';
    }
    return value;
}

void readTextLayout(const Header& header, SpcFile& spc) {
    copyText<spc_header::kTextDate>(header, spc.dumpDate);
    spc.songLength = decimalAt<spc_header::kTextSongLength>(header);
    spc.fadeLength = decimalAt<spc_header::kTextFadeLength>(header);
    copyText<spc_header::kTextArtist>(header, spc.artist);
}

void readBinaryLayout(const Header& header, SpcFile& spc) {
    const unsigned year = numberAt<spc_header::kBinaryYear>(header);
    const unsigned month = byteAt<spc_header::kBinaryMonth>(header);
    const unsigned day = byteAt<spc_header::kBinaryDay>(header);
    // At most "65535/255/255": 13 characters and the NUL.
    std::snprintf(spc.dumpDate, sizeof spc.dumpDate, "%u/%02u/%02u", year, month, day);
    spc.songLength = static_cast<std::int32_t>(numberAt<spc_header::kBinarySongLength>(header));
    spc.fadeLength = static_cast<std::int32_t>(numberAt<spc_header::kBinaryFadeLength>(header));
    copyText<spc_header::kBinaryArtist>(header, spc.artist);
}

void readRegistersAndTag(const Header& header, SpcFile& spc) {
    spc.tagType = byteAt<spc_header::kTagType>(header);
    spc.versionMinor = byteAt<spc_header::kVersionMinor>(header);
    spc.regPc = static_cast<std::uint16_t>(numberAt<spc_header::kPc>(header));
    spc.regA = byteAt<spc_header::kA>(header);
    spc.regX = byteAt<spc_header::kX>(header);
    spc.regY = byteAt<spc_header::kY>(header);
    spc.regPsw = byteAt<spc_header::kPsw>(header);
    spc.regSp = byteAt<spc_header::kSp>(header);
    copyText<spc_header::kSongTitle>(header, spc.songTitle);
    copyText<spc_header::kGameTitle>(header, spc.gameTitle);
    copyText<spc_header::kDumperName>(header, spc.dumperName);
    copyText<spc_header::kComment>(header, spc.comment);
    // The tag type plays no part here: only byte 0xD2 picks the layout.
    if (byteAt<spc_header::kLayoutSelector>(header) != 0) {
        readTextLayout(header, spc);
    } else {
        readBinaryLayout(header, spc);
    }
}

}  // namespace

int SpcFile::Load(const std::string& path) {
    loaded = 0;
    const RegularFile file = RegularFile::open(path);
    if (!file.isOpen()) return -1;

    // A short file still loads; the bytes it does not supply read as zero. A
    // file that fails to read is as good as one that cannot be opened.
    Header header{};
    if (!file.readAt(0, header)) return -1;
    if (!std::equal(std::begin(kSignatureText), std::end(kSignatureText) - 1, header.begin())) {
        return -2;
    }
    // Everything is read into `next` first: a load that fails keeps the
    // fields and buffers of the earlier one.
    SpcFile next;
    readRegistersAndTag(header, next);
    try {
        // make_unique value-initialises: zero wherever the file runs short.
        next.ram = std::make_unique<std::uint8_t[]>(kRamSize);
        next.dspRegs = std::make_unique<std::uint8_t[]>(kDspSize);
    } catch (const std::bad_alloc&) {
        // Memory is short: give the earlier buffers back too, so that no
        // buffer is held; the caller treats it as no SPC file.
        ram.reset();
        dspRegs.reset();
        return -1;
    }
    if (!file.readAt(spc_header::kRamOffset, std::span(next.ram.get(), kRamSize)) ||
        !file.readAt(spc_header::kDspOffset, std::span(next.dspRegs.get(), kDspSize))) {
        return -1;
    }
    next.loaded = 1;
    *this = std::move(next);
    return 0;
}
