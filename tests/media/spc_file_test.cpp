#include "media_fixtures.h"
#include "spc_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>

namespace {

// Lists a parameterised case by its name rather than by its bytes.
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

int loadImage(SpcFile& spc, const ScratchDir& dir, const Bytes& bytes) {
    const std::string path = dir.file("file.spc");
    writeFile(path, bytes);
    return spc.Load(path);
}

struct SignatureCase {
    const char* name;
    Bytes bytes;
    int result;
};

Bytes textBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

class SpcSignature : public testing::TestWithParam<SignatureCase> {};

TEST_P(SpcSignature, DecidesTheResult) {
    ScratchDir dir;
    SpcFile spc;
    EXPECT_EQ(loadImage(spc, dir, GetParam().bytes), GetParam().result);
    EXPECT_EQ(spc.loaded, GetParam().result == 0 ? 1 : 0);
    EXPECT_EQ(spc.ram != nullptr, GetParam().result == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SpcSignature,
    testing::Values(SignatureCase{"FullFile", SpcImage().bytes(), 0},
                    SignatureCase{"AnyVersionText", SpcImage().set(11, "-anything").bytes(), 0},
                    SignatureCase{"SignatureOnly", textBytes("SNES-SPC700"), 0},
                    SignatureCase{"LowerCase", textBytes("snes-spc700 Sound File Data"), -2},
                    SignatureCase{"NulInside", SpcImage().set(4, {0}).bytes(), -2},
                    SignatureCase{"CutSignature", textBytes("SNES-SPC70"), -2},
                    SignatureCase{"EmptyFile", Bytes{}, -2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpcLoad, FailureClearsLoadedAfterASuccess) {
    ScratchDir dir;
    SpcFile spc;
    ASSERT_EQ(loadImage(spc, dir, SpcImage().bytes()), 0);
    EXPECT_EQ(spc.Load(dir.file("missing.spc")), -1);
    EXPECT_EQ(spc.loaded, 0);

    ASSERT_EQ(loadImage(spc, dir, SpcImage().bytes()), 0);
    EXPECT_EQ(loadImage(spc, dir, textBytes("not an SPC file")), -2);
    EXPECT_EQ(spc.loaded, 0);
}

TEST(SpcLoad, ReadsRegistersFromTheirHeaderBytes) {
    ScratchDir dir;
    SpcFile spc;
    const Bytes bytes =
        SpcImage().set(0x23, {27, 30, 0x34, 0x12, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6}).bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_EQ(spc.tagType, 27);
    EXPECT_EQ(spc.versionMinor, 30);
    EXPECT_EQ(spc.regPc, 0x1234);
    EXPECT_EQ(spc.regA, 0xA1);
    EXPECT_EQ(spc.regX, 0xB2);
    EXPECT_EQ(spc.regY, 0xC3);
    EXPECT_EQ(spc.regPsw, 0xD4);
    EXPECT_EQ(spc.regSp, 0xE5);
}

TEST(SpcLoad, TextFieldsHoldTheirBytesAndAlwaysEndInNul) {
    ScratchDir dir;
    SpcFile spc;
    const std::string full32(32, 'S');
    const std::string rawComment = "\x80\xFF\r\n" + std::string(28, 'c');
    const Bytes bytes = SpcImage()
                            .set(0x2E, full32)            // song title, no NUL
                            .set(0x4E, std::string_view("Game\0junk", 9))  // early NUL
                            .fill(0x6E, 16, 'D')          // dumper, no NUL
                            .set(0x7E, rawComment)        // comment: raw bytes, no NUL
                            .bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_EQ(std::string(spc.songTitle), full32);
    EXPECT_EQ(spc.songTitle[32], '\0');
    EXPECT_STREQ(spc.gameTitle, "Game");
    EXPECT_EQ(std::string(spc.dumperName), std::string(16, 'D'));
    EXPECT_EQ(std::string(spc.comment), rawComment);
}

// The text layout's decimal reading: 3 bytes of song length at 0xA9 and 5 of
// fade length at 0xAC.
struct DecimalCase {
    const char* name;
    Bytes song;
    Bytes fade;
    std::int32_t songLength;
    std::int32_t fadeLength;
};

class SpcTextLengths : public testing::TestWithParam<DecimalCase> {};

TEST_P(SpcTextLengths, ReadAsTheTagDoes) {
    ScratchDir dir;
    SpcFile spc;
    const auto& c = GetParam();
    const Bytes bytes = SpcImage().set(0xD2, {'1'}).set(0xA9, c.song).set(0xAC, c.fade).bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_EQ(spc.songLength, c.songLength);
    EXPECT_EQ(spc.fadeLength, c.fadeLength);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SpcTextLengths,
    testing::Values(
        DecimalCase{"Digits", {'1', '2', '0'}, {'1', '0', '0', '0', '0'}, 120, 10000},
        DecimalCase{"TrailingNul", {'9', '0', 0}, {'5', 0, 0, 0, 0}, 90, 5},
        DecimalCase{"NulInTheMiddleIsSkipped", {'1', 0, '5'}, {'2', 0, 0, 0, '7'}, 15, 27},
        DecimalCase{"AllNulReadsMinus48", {0, 0, 0}, {0, 0, 0, 0, 0}, -48, -48},
        DecimalCase{"NonDigitsCountAsTheyAre", {'1', 'A', 0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 27,
                    2299977}),
    [](const auto& info) { return std::string(info.param.name); });

struct DateCase {
    const char* name;
    std::uint16_t year;
    std::uint8_t month;
    std::uint8_t day;
    const char* text;
};

class SpcBinaryDate : public testing::TestWithParam<DateCase> {};

TEST_P(SpcBinaryDate, IsWrittenYearMonthDay) {
    ScratchDir dir;
    SpcFile spc;
    const auto& c = GetParam();
    const Bytes bytes = SpcImage()
                            .set(0x9E, {c.day, c.month, static_cast<std::uint8_t>(c.year & 0xFF),
                                        static_cast<std::uint8_t>(c.year >> 8)})
                            .bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_STREQ(spc.dumpDate, c.text);
}

INSTANTIATE_TEST_SUITE_P(Dates, SpcBinaryDate,
                         testing::Values(DateCase{"Plain", 2001, 5, 9, "2001/05/09"},
                                         DateCase{"LeadingZeros", 1999, 1, 2, "1999/01/02"},
                                         DateCase{"Largest", 65535, 255, 255, "65535/255/255"},
                                         DateCase{"Zero", 0, 0, 0, "0/00/00"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpcLoad, BinaryLayoutNumbersLeaveOutTheirLastByte) {
    ScratchDir dir;
    SpcFile spc;
    // 0xAB and 0xAF hold bytes that must not count.
    const Bytes bytes =
        SpcImage().set(0xA9, {0x34, 0x12, 0x77, 0x56, 0x34, 0x12, 0x77}).bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_EQ(spc.songLength, 0x1234);
    EXPECT_EQ(spc.fadeLength, 0x123456);
}

TEST(SpcLoad, TextLayoutCopiesTheDateUnchanged) {
    ScratchDir dir;
    SpcFile spc;
    const Bytes bytes = SpcImage().set(0xD2, {1}).set(0x9E, "12/31/1999X").set(0xA9, {'Y'}).bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_STREQ(spc.dumpDate, "12/31/1999X");  // 11 bytes, 0xA9 not among them
}

// Only byte 0xD2 chooses the layout; the tag type byte plays no part. The
// same tag area read in the two layouts gives artists one byte apart.
struct LayoutCase {
    const char* name;
    std::uint8_t tagType;
    std::uint8_t selector;
    const char* artist;
    std::int32_t songLength;
};

class SpcLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(SpcLayout, IsChosenByByteD2Alone) {
    ScratchDir dir;
    SpcFile spc;
    const auto& c = GetParam();
    const Bytes bytes = SpcImage()
                            .set(0x23, {c.tagType})
                            .set(0xA9, "123")
                            .set(0xB0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456")  // 33 bytes: 0xB0-0xD0
                            .set(0xD2, {c.selector})
                            .bytes();
    ASSERT_EQ(loadImage(spc, dir, bytes), 0);
    EXPECT_STREQ(spc.artist, c.artist);
    EXPECT_EQ(spc.songLength, c.songLength);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SpcLayout,
    testing::Values(LayoutCase{"Tag26Text", 26, '0', "BCDEFGHIJKLMNOPQRSTUVWXYZ0123456", 123},
                    LayoutCase{"Tag27Text", 27, 1, "BCDEFGHIJKLMNOPQRSTUVWXYZ0123456", 123},
                    LayoutCase{"Tag26Binary", 26, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 0x3231},
                    LayoutCase{"Tag27Binary", 27, 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 0x3231}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpcLoad, TakesRamAndDspFromTheirOffsets) {
    ScratchDir dir;
    SpcFile spc;
    SpcImage image;
    image.set(0xFF, {0x11}).set(0x100, {0x22}).set(0x100FF, {0x33, 0x44});
    image.set(0x1017F, {0x55}).resize(0x10200).fill(0x10180, 0x80, 0x66);
    ASSERT_EQ(loadImage(spc, dir, image.bytes()), 0);
    EXPECT_EQ(spc.ram[0], 0x22);
    EXPECT_EQ(spc.ram[SpcFile::kRamSize - 1], 0x33);
    EXPECT_EQ(spc.dspRegs[0], 0x44);
    EXPECT_EQ(spc.dspRegs[SpcFile::kDspSize - 1], 0x55);
}

// A short file loads; what it does not supply reads as zero, never as the
// bytes of the file loaded before it.
class SpcShortFile : public testing::TestWithParam<std::size_t> {};

TEST_P(SpcShortFile, LeavesUnsuppliedBytesZero) {
    ScratchDir dir;
    SpcFile spc;
    SpcImage full;
    full.fill(11, 0x10180 - 11, 0xEE).set(0xD2, {0});
    ASSERT_EQ(loadImage(spc, dir, full.bytes()), 0);

    const std::size_t size = GetParam();
    Bytes cut = full.bytes();
    cut.resize(size);
    ASSERT_EQ(loadImage(spc, dir, cut), 0);
    const auto byteAt = [&](std::size_t offset) -> std::uint8_t {
        return offset < size ? 0xEE : 0;
    };
    EXPECT_EQ(spc.tagType, byteAt(0x23));
    EXPECT_EQ(static_cast<std::uint8_t>(spc.gameTitle[31]), byteAt(0x4E + 31));
    EXPECT_EQ(static_cast<std::uint8_t>(spc.artist[0]), byteAt(0xB0));  // binary layout
    for (std::size_t i = 0; i < SpcFile::kRamSize; ++i) {
        ASSERT_EQ(spc.ram[i], byteAt(0x100 + i)) << "RAM byte " << i;
    }
    for (std::size_t i = 0; i < SpcFile::kDspSize; ++i) {
        ASSERT_EQ(spc.dspRegs[i], byteAt(0x10100 + i)) << "DSP byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SpcShortFile,
                         testing::Values(11, 0x60, 0xD3, 0x100, 0x8000, 0x10100, 0x10140));

}  // namespace
