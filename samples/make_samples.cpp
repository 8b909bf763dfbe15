// Writes the sample files into the folder named on the command line:
//   sample.spc  an SPC snapshot that plays a 500 Hz square wave on voice 0
//   sample.sfc  a 256 KiB LoROM image with a valid internal header
//   Travik.ini  empty, so that commands run from that folder take ROM images
// Every byte is made here; nothing is taken from elsewhere.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& image, std::size_t offset, std::string_view text) {
    std::memcpy(image.data() + offset, text.data(), text.size());
}

void put(Bytes& image, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
}

void put16(Bytes& image, std::size_t offset, std::uint16_t value) {
    image[offset] = static_cast<std::uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// ---- SPC ---------------------------------------------------------------

constexpr std::size_t kSpcRam = 0x100;
constexpr std::size_t kSpcDsp = 0x10100;
constexpr std::size_t kSpcFileSize = 0x10200;  // header, RAM, DSP, extra RAM area

void putSpcHeader(Bytes& spc) {
    put(spc, 0x00, "SNES-SPC700 Sound File Data v0.30");
    put(spc, 0x21, {26, 26});
    spc[0x23] = 26;                // ID666 tag present
    spc[0x24] = 30;                // minor version
    put16(spc, 0x25, 0x0200);      // PC: the key-on code
    spc[0x2B] = 0xEF;              // SP
    // Text layout ID666 tag.
    put(spc, 0x2E, "Square Wave Tone");
    put(spc, 0x4E, "Travik Sample Sounds");
    put(spc, 0x6E, "make_samples");
    put(spc, 0x7E, "500 Hz square wave on voice 0");
    put(spc, 0x9E, "2026/12/11");
    put(spc, 0xA9, "060");         // seconds before the fade
    put(spc, 0xAC, "10000");       // fade in milliseconds
    put(spc, 0xB1, "Travik Project");
    spc[0xD2] = '0';               // nonzero: the text layout
}

void putSpcRam(Bytes& spc) {
    const auto ram = [&](std::uint16_t address) { return kSpcRam + address; };
    // $0200: MOV $F2,#$4C ; MOV $F3,#$01 (key on voice 0) ; BRA $ (idle).
    put(spc, ram(0x0200), {0x8F, 0x4C, 0xF2, 0x8F, 0x01, 0xF3, 0x2F, 0xFE});
    // $0300: sample directory, source 0 starts and loops at $0400.
    put(spc, ram(0x0300), {0x00, 0x04, 0x00, 0x04});
    // $0400: one BRR block, shift 11, filter 0, loop and end flags; eight
    // samples of +7 then eight of -7: a 16-sample square wave.
    put(spc, ram(0x0400), {0xB3, 0x77, 0x77, 0x77, 0x77, 0x99, 0x99, 0x99, 0x99});
}

void putSpcDsp(Bytes& spc) {
    const auto dsp = [&](std::uint8_t reg) { return kSpcDsp + reg; };
    spc[dsp(0x00)] = 0x7F;  // voice 0 volume left
    spc[dsp(0x01)] = 0x7F;  // voice 0 volume right
    put16(spc, dsp(0x02), 0x0400);  // pitch: 8 kHz through 16 samples, 500 Hz
    spc[dsp(0x04)] = 0x00;  // source 0
    spc[dsp(0x05)] = 0x8F;  // ADSR on, fastest attack
    spc[dsp(0x06)] = 0xE0;  // sustain at full level, no release
    spc[dsp(0x07)] = 0x7F;  // GAIN (unused while ADSR is on)
    spc[dsp(0x0C)] = 0x7F;  // MVOLL
    spc[dsp(0x1C)] = 0x7F;  // MVOLR
    spc[dsp(0x5D)] = 0x03;  // DIR: sample directory at $0300
    spc[dsp(0x6C)] = 0x20;  // FLG: echo writes off, not muted, no reset
}

Bytes makeSpc() {
    Bytes spc(kSpcFileSize, 0);
    putSpcHeader(spc);
    putSpcRam(spc);
    putSpcDsp(spc);
    return spc;
}

// ---- ROM ---------------------------------------------------------------

constexpr std::size_t kRomSize = 256 * 1024;  // not a copier-header size
constexpr std::size_t kHeader = 0x7FC0;       // LoROM internal header

Bytes makeRom() {
    Bytes rom(kRomSize, 0);
    // $00:8000: SEI ; CLC ; XCE (native mode) ; BRA $ (idle).
    put(rom, 0x0000, {0x78, 0x18, 0xFB, 0x80, 0xFE});
    // $00:8010: RTI for every interrupt.
    rom[0x0010] = 0x40;
    put(rom, kHeader, "TRAVIK SAMPLE ROM    ");  // 21 characters
    rom[kHeader + 0x15] = 0x20;  // map mode: LoROM, slow
    rom[kHeader + 0x16] = 0x00;  // ROM only
    rom[kHeader + 0x17] = 0x08;  // 2^8 KiB = 256 KiB
    rom[kHeader + 0x18] = 0x00;  // no SRAM
    rom[kHeader + 0x19] = 0x01;  // North America
    rom[kHeader + 0x1A] = 0x00;  // developer
    rom[kHeader + 0x1B] = 0x00;  // version
    for (std::size_t vector = 0x7FE4; vector < 0x8000; vector += 2) put16(rom, vector, 0x8010);
    put16(rom, 0x7FFC, 0x8000);  // reset (emulation mode)
    // The checksum counts its own four bytes as 0xFFFF, 0x0000, which sum to
    // the same as any checksum with its complement.
    put16(rom, kHeader + 0x1C, 0xFFFF);
    put16(rom, kHeader + 0x1E, 0x0000);
    std::uint16_t sum = 0;
    for (const std::uint8_t byte : rom) sum = static_cast<std::uint16_t>(sum + byte);
    put16(rom, kHeader + 0x1C, static_cast<std::uint16_t>(sum ^ 0xFFFF));
    put16(rom, kHeader + 0x1E, sum);
    return rom;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) std::fprintf(stderr, "make_samples: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: make_samples OUTPUT_DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    const bool written = writeFile(dir + "/sample.spc", makeSpc()) &&
                         writeFile(dir + "/sample.sfc", makeRom()) &&
                         writeFile(dir + "/Travik.ini", {});
    return written ? 0 : 1;
}
