// The generated sample files: they stage, and what they claim holds.
#include "spc_file.h"
#include "staging.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string kSamples = TRAVIK_SAMPLES_DIR;

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Samples, SpcLoadsWithItsTagAndATonePlayingSetup) {
    SpcFile spc;
    ASSERT_EQ(spc.Load(kSamples + "/sample.spc"), 0);
    std::string text;
    spc.BuildSummary(text);
    EXPECT_EQ(text,
              "Game : Travik Sample Sounds\n"
              "Title : Square Wave Tone\n"
              "Artist : Travik Project\n"
              "Comment : 500 Hz square wave on voice 0\n"
              "TagType : ID666\n");
    EXPECT_EQ(spc.regPc, 0x0200);
    EXPECT_EQ(spc.songLength, 60);
    EXPECT_EQ(spc.fadeLength, 10000);
    EXPECT_STREQ(spc.dumpDate, "2026/12/11");

    const std::uint8_t* ram = spc.ram.get();
    const std::uint8_t* dsp = spc.dspRegs.get();
    // Key-on of voice 0 at PC: MOV $F2,#$4C ; MOV $F3,#$01.
    EXPECT_EQ(std::vector<std::uint8_t>(ram + 0x200, ram + 0x206),
              (std::vector<std::uint8_t>{0x8F, 0x4C, 0xF2, 0x8F, 0x01, 0xF3}));
    EXPECT_EQ(dsp[0x5D], 0x03);  // DIR at $0300
    const unsigned start = ram[0x300] | ram[0x301] << 8;
    const unsigned loop = ram[0x302] | ram[0x303] << 8;
    EXPECT_EQ(start, 0x0400u);
    EXPECT_EQ(loop, 0x0400u);
    EXPECT_EQ(ram[start] & 0x03, 0x03);  // BRR block ends and loops
    EXPECT_EQ(dsp[0x6C], 0x20);          // FLG: not muted, not reset
    EXPECT_EQ(dsp[0x0C], 0x7F);
    EXPECT_EQ(dsp[0x1C], 0x7F);
}

TEST(Samples, RomHasAValidLoRomHeader) {
    const std::vector<std::uint8_t> rom = readAll(kSamples + "/sample.sfc");
    ASSERT_EQ(rom.size(), 256u * 1024);
    EXPECT_FALSE(hasCopierHeader(rom.size()));
    const std::size_t header = 0x7FC0;
    EXPECT_EQ(rom[header + 0x15], 0x20);  // LoROM
    EXPECT_EQ(1u << rom[header + 0x17], rom.size() / 1024);
    const unsigned complement = rom[header + 0x1C] | rom[header + 0x1D] << 8;
    const unsigned checksum = rom[header + 0x1E] | rom[header + 0x1F] << 8;
    unsigned sum = 0;
    for (const std::uint8_t byte : rom) sum = (sum + byte) & 0xFFFF;
    EXPECT_EQ(checksum, sum);
    EXPECT_EQ(checksum ^ complement, 0xFFFFu);
    const unsigned reset = rom[0x7FFC] | rom[0x7FFD] << 8;
    EXPECT_EQ(reset, 0x8000u);
}

TEST(Samples, RomStagesWholeInTheFullVariant) {
    SpcFile spc;
    RomImage rom;
    const DropResult result = stageDroppedFile(kSamples + "/sample.sfc", false, spc, rom);
    EXPECT_EQ(result.outcome, DropOutcome::RomStaged);
    EXPECT_EQ(rom.size, 256 * 1024);
    EXPECT_EQ(rom.data, readAll(kSamples + "/sample.sfc"));
}

}  // namespace
