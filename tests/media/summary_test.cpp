#include "spc_file.h"
#include "summary.h"

#include <gtest/gtest.h>

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

template <std::size_t N>
void setField(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

SpcFile recordWith(std::string_view game, std::string_view song, std::string_view artist,
                   std::string_view comment, std::uint8_t tagType) {
    SpcFile spc;
    setField(spc.gameTitle, game);
    setField(spc.songTitle, song);
    setField(spc.artist, artist);
    setField(spc.comment, comment);
    spc.tagType = tagType;
    spc.loaded = 1;
    return spc;
}

std::string summaryOf(const SpcFile& spc) {
    std::string text = "left over from before";
    spc.BuildSummary(text);
    return text;
}

TEST(BuildSummary, WritesFiveLabelledLines) {
    const SpcFile spc = recordWith("Moon Garden", "Opening Theme", "", "made by hand", 26);
    EXPECT_EQ(summaryOf(spc),
              "Game : Moon Garden\n"
              "Title : Opening Theme\n"
              "Artist : \n"
              "Comment : made by hand\n"
              "TagType : ID666\n");
}

struct TagTypeCase {
    std::uint8_t tagType;
    const char* lastLine;
};

class BuildSummaryTagType : public testing::TestWithParam<TagTypeCase> {};

TEST_P(BuildSummaryTagType, DecidesOnlyTheLastLine) {
    const SpcFile spc = recordWith("G", "S", "A", "C", GetParam().tagType);
    EXPECT_EQ(summaryOf(spc), std::string("Game : G\nTitle : S\nArtist : A\nComment : C\n") +
                                  GetParam().lastLine);
}

INSTANTIATE_TEST_SUITE_P(Values, BuildSummaryTagType,
                         testing::Values(TagTypeCase{26, "TagType : ID666\n"},
                                         TagTypeCase{27, "TagType : other\n"},
                                         TagTypeCase{0, "TagType : Tag error\n"},
                                         TagTypeCase{28, "TagType : Tag error\n"},
                                         TagTypeCase{255, "TagType : Tag error\n"}));

TEST(BuildSummary, EmptyFieldsLeaveBareLabels) {
    std::string text = summaryOf(recordWith("", "", "", "", 26));
    ConvertLfToCrLf(text);
    EXPECT_EQ(text, "Game : \r\nTitle : \r\nArtist : \r\nComment : \r\nTagType : ID666\r\n");
}

TEST(BuildSummary, ShowsFullFieldsWholeAndRawBytesUnchanged) {
    const std::string full(32, 'x');
    const std::string raw = "\x80\xFF\tend";
    const std::string text = summaryOf(recordWith(full, raw, full, full, 27));
    EXPECT_EQ(text, "Game : " + full + "\nTitle : " + raw + "\nArtist : " + full +
                        "\nComment : " + full + "\nTagType : other\n");
}

TEST(BuildSummary, LineBreaksInsideAFieldGetTheirCrFromTheConversion) {
    std::string text = summaryOf(recordWith("one\ntwo", "kept\r\n", "", "", 26));
    ConvertLfToCrLf(text);
    EXPECT_EQ(text,
              "Game : one\r\ntwo\r\nTitle : kept\r\n\r\nArtist : \r\nComment : \r\nTagType : ID666\r\n");
}

struct ConversionCase {
    const char* name;
    std::string in;
    std::string out;
};

class LfToCrLf : public testing::TestWithParam<ConversionCase> {};

TEST_P(LfToCrLf, PutsACrBeforeEveryLfThatHasNone) {
    std::string text = GetParam().in;
    ConvertLfToCrLf(text);
    EXPECT_EQ(text, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LfToCrLf,
    testing::Values(ConversionCase{"Empty", "", ""},
                    ConversionCase{"RomMessage", "ROM ok. Push [Play]", "ROM ok. Push [Play]"},
                    ConversionCase{"LeadingLf", "\nabc", "\r\nabc"},
                    ConversionCase{"OnlyLfs", "\n\n\n", "\r\n\r\n\r\n"},
                    ConversionCase{"CrLfKept", "a\r\nb\r\n", "a\r\nb\r\n"},
                    ConversionCase{"CrLfThenLf", "\r\n\n", "\r\n\r\n"},
                    ConversionCase{"LoneCrKept", "a\rb\r", "a\rb\r"},
                    ConversionCase{"CrCrLf", "\r\r\n", "\r\r\n"},
                    ConversionCase{"LfCr", "\n\r", "\r\n\r"},
                    ConversionCase{"HighBytesAndNul", std::string("\x80\0\xFF\n", 4),
                                   std::string("\x80\0\xFF\r\n", 5)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
