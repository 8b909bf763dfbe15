#pragma once
// One parsed SPC file: the SPC700 registers, the ID666 tag and the RAM and
// DSP images. SPC files are untrusted input: every read is bounds-checked.

#include <cstdint>
#include <memory>
#include <string>

struct SpcFile {
    std::uint8_t tagType = 0;
    std::uint8_t versionMinor = 0;
    std::uint16_t regPc = 0;
    std::uint8_t regA = 0;
    std::uint8_t regX = 0;
    std::uint8_t regY = 0;
    std::uint8_t regPsw = 0;
    std::uint8_t regSp = 0;
    char songTitle[33] = {};
    char gameTitle[33] = {};
    char dumperName[17] = {};
    char comment[33] = {};
    char artist[33] = {};
    char dumpDate[14] = {};
    std::int32_t songLength = 0;
    std::int32_t fadeLength = 0;
    std::unique_ptr<std::uint8_t[]> ram;      // 65,536 bytes once loaded
    std::unique_ptr<std::uint8_t[]> dspRegs;  // 128 bytes once loaded
    std::int32_t loaded = 0;

    static constexpr std::size_t kRamSize = 0x10000;
    static constexpr std::size_t kDspSize = 0x80;

    // 0: an SPC file, now loaded; -1: cannot be opened (also: not a regular
    // file, a read error, no memory for the buffers); -2: wrong signature.
    // Bytes that a short file does not supply read as zero.
    int Load(const std::string& path);

    // The five-line tag summary with LF line ends; replaces `text`.
    void BuildSummary(std::string& text) const;
};
