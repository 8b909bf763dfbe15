#include "media_fixtures.h"
#include "spc_file.h"
#include "staging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Lists a parameterised case by its name rather than by its bytes.
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;

// ---- Sizes: copier headers and limits ----------------------------------

struct SizeCase {
    std::string name;
    std::uint64_t fileSize;
    std::uint64_t start;         // first file byte staged
    std::int32_t romSize;        // 0: refused
    std::size_t bufferSize;
};

std::size_t wholeBlocks(std::uint64_t size) {
    return static_cast<std::size_t>((size + 0xFFFF) / 0x10000 * 0x10000);
}

SizeCase whole(std::string name, std::uint64_t size) {
    const std::uint64_t romSize = std::max<std::uint64_t>(size, 0x10000);
    return {std::move(name), size, 0, static_cast<std::int32_t>(romSize), wholeBlocks(romSize)};
}

SizeCase refused(std::string name, std::uint64_t size) { return {std::move(name), size, 0, 0, 0}; }

std::vector<SizeCase> sizeCases() {
    // Every copier size and its neighbours: only the exact size loses 512
    // bytes. 0xB6200 and 0x102200 leave payloads that are no whole blocks.
    struct Copier {
        const char* name;
        std::uint64_t fileSize;
        std::size_t bufferSize;
    };
    const Copier copiers[] = {
        {"256K", 0x40200, 0x40000},    {"512K", 0x80200, 0x80000},
        {"728K", 0xB6200, 0xC0000},    {"1M", 0x100200, 0x100000},
        {"1M8K", 0x102200, 0x110000},  {"1M256K", 0x140200, 0x140000},
        {"1M512K", 0x180200, 0x180000}, {"2M", 0x200200, 0x200000},
        {"2M512K", 0x280200, 0x280000}, {"3M", 0x300200, 0x300000},
        {"4M", 0x400200, 0x400000},    {"5M", 0x500200, 0x500000},
    };
    std::vector<SizeCase> cases;
    for (const Copier& c : copiers) {
        const std::string name = std::string("Copier") + c.name;
        cases.push_back(whole(name + "MinusOne", c.fileSize - 1));
        cases.push_back({name, c.fileSize, 512, static_cast<std::int32_t>(c.fileSize - 512),
                         c.bufferSize});
        cases.push_back(whole(name + "PlusOne", c.fileSize + 1));
    }
    const std::vector<SizeCase> others = {
        whole("Empty", 0),
        whole("RaisedTo64K", 1000),
        whole("OneBlockMinusOne", 0xFFFF),
        whole("OneBlock", 0x10000),
        whole("OneBlockPlusOne", 0x10001),
        {"OddSize", 100000, 0, 100000, 131072},
        whole("OneMiB", 1 * kMiB),
        whole("NoHeader384KPlus512", 393728),
        whole("NoHeader768KPlus512", 786944),
        whole("NoHeader1M128KPlus512", 1180160),
        {"NoHeader6MPlus512", 6291968, 0, 6291968, 6356992},
        whole("LimitMinusOne", 8 * kMiB - 1),
        {"Limit", 8 * kMiB, 0, 8388608, 8388608},
        refused("LimitPlusOne", 8 * kMiB + 1),
        refused("LimitPlus512", 8 * kMiB + 512),
        // Would look like 64 KiB if the size were cut to 32 bits.
        refused("Over4GiB", 0x100000000 + 0x10000),
    };
    cases.insert(cases.end(), others.begin(), others.end());
    return cases;
}

class RomSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(RomSizes, StageFromTheRightByteIntoWholeBlocks) {
    const SizeCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.file("image.bin");
    const std::initializer_list<Marker> markers = {
        {0, 0xA0}, {511, 0xA1}, {512, 0xA2}, {c.fileSize - 1, 0xA3}};
    writeSparseFile(path, c.fileSize, markers);

    SpcFile spc;
    RomImage rom;
    const DropResult result = stageDroppedFile(path, false, spc, rom);
    EXPECT_EQ(spc.loaded, 0);
    if (c.romSize == 0) {
        EXPECT_EQ(result.outcome, DropOutcome::RomTooLarge);
        EXPECT_EQ(result.infoText, "");
        EXPECT_EQ(rom.size, 0);
        EXPECT_TRUE(rom.data.empty());
        return;
    }
    ASSERT_EQ(result.outcome, DropOutcome::RomStaged);
    EXPECT_EQ(result.infoText, "ROM ok. Push [Play]");
    EXPECT_EQ(rom.size, c.romSize);
    ASSERT_EQ(rom.data.size(), c.bufferSize);

    // The buffer is the file from `start` on, zero past the file's end.
    std::size_t markersInside = 0;
    for (const Marker& m : markers) {
        if (m.offset >= c.start && m.offset < c.fileSize) {
            ++markersInside;
            EXPECT_EQ(rom.data[m.offset - c.start], m.value) << "file byte " << m.offset;
        }
    }
    const auto nonZero = std::count_if(rom.data.begin(), rom.data.end(),
                                       [](std::uint8_t b) { return b != 0; });
    EXPECT_EQ(static_cast<std::size_t>(nonZero), markersInside);
}

INSTANTIATE_TEST_SUITE_P(Files, RomSizes, testing::ValuesIn(sizeCases()),
                         [](const auto& info) { return info.param.name; });

// ---- Outcomes by content and variant -----------------------------------

enum class Content { Spc, Text, Empty, Missing };

struct DropCase {
    const char* name;
    Content content;
    bool spcOnly;
    DropOutcome outcome;
    const char* infoText;
    std::int32_t romSize;
};

constexpr char kSpcInfo[] =
    "Game : Game\r\nTitle : Song\r\nArtist : Artist\r\nComment : Line one\r\nline two\r\n"
    "TagType : ID666\r\n";

class DropOutcomes : public testing::TestWithParam<DropCase> {};

TEST_P(DropOutcomes, DiscardWhatWasStagedAndStageTheNewFile) {
    const DropCase& c = GetParam();
    ScratchDir dir;
    const SpcImage spcImage = SpcImage()
                                  .set(0x23, {26})
                                  .set(0x2E, "Song")
                                  .set(0x4E, "Game")
                                  .set(0x7E, "Line one\nline two")
                                  .set(0xB1, "Artist")
                                  .set(0xD2, {'1'});
    // Something of both kinds staged before, so that the drop must discard it.
    SpcFile spc;
    spcImage.writeTo(dir.file("old.spc"));
    ASSERT_EQ(spc.Load(dir.file("old.spc")), 0);
    RomImage rom;
    rom.data.assign(0x20000, 0x5A);
    rom.size = 0x20000;

    const std::string path = dir.file("dropped");
    switch (c.content) {
        case Content::Spc: spcImage.writeTo(path); break;
        case Content::Text: writeFile(path, "plain text\n"); break;
        case Content::Empty: writeFile(path, ""); break;
        case Content::Missing: break;
    }
    const DropResult result = stageDroppedFile(path, c.spcOnly, spc, rom);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.infoText, c.infoText);
    EXPECT_EQ(result.staged(), c.outcome == DropOutcome::SpcStaged || c.romSize != 0);
    EXPECT_EQ(spc.loaded, c.outcome == DropOutcome::SpcStaged ? 1 : 0);
    EXPECT_EQ(rom.size, c.romSize);
    EXPECT_EQ(rom.data.size(), static_cast<std::size_t>(c.romSize));
    EXPECT_TRUE(std::none_of(rom.data.begin(), rom.data.end(), [](std::uint8_t b) { return b == 0x5A; }))
        << "the new ROM buffer holds nothing of the old one";
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropOutcomes,
    testing::Values(
        DropCase{"SpcFull", Content::Spc, false, DropOutcome::SpcStaged, kSpcInfo, 0},
        DropCase{"SpcSpcOnly", Content::Spc, true, DropOutcome::SpcStaged, kSpcInfo, 0},
        DropCase{"TextFull", Content::Text, false, DropOutcome::RomStaged, "ROM ok. Push [Play]",
                 0x10000},
        DropCase{"TextSpcOnly", Content::Text, true, DropOutcome::NotSpcSpcOnly, "", 0},
        DropCase{"EmptyFull", Content::Empty, false, DropOutcome::RomStaged, "ROM ok. Push [Play]",
                 0x10000},
        DropCase{"EmptySpcOnly", Content::Empty, true, DropOutcome::NotSpcSpcOnly, "", 0},
        DropCase{"MissingFull", Content::Missing, false, DropOutcome::RomNotFound,
                 "ROM file not found.", 0},
        DropCase{"MissingSpcOnly", Content::Missing, true, DropOutcome::NotSpcSpcOnly, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Files that are not regular files ----------------------------------

enum class Special { Fifo, DevZero, Socket, Directory, Unreadable, ReadError };

struct SpecialCase {
    const char* name;
    Special kind;
};

// Holds the socket bound at a path for the length of a test.
class BoundSocket {
public:
    explicit BoundSocket(const std::string& path) : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        m_bound = m_fd >= 0 &&
                  ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~BoundSocket() {
        if (m_fd >= 0) ::close(m_fd);
    }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;
    bool bound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

class SpecialFiles : public testing::TestWithParam<SpecialCase> {};

TEST_P(SpecialFiles, AreTreatedLikeFilesThatCannotBeOpened) {
    ScratchDir dir;
    std::string path = dir.file("special");
    std::unique_ptr<BoundSocket> socket;
    switch (GetParam().kind) {
        case Special::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); break;
        case Special::DevZero: path = "/dev/zero"; break;
        // A regular file whose first byte fails to read: address 0 of this
        // process is not mapped.
        case Special::ReadError: path = "/proc/self/mem"; break;
        case Special::Socket:
            socket = std::make_unique<BoundSocket>(path);
            ASSERT_TRUE(socket->bound());
            break;
        case Special::Directory: std::filesystem::create_directory(path); break;
        case Special::Unreadable:
            if (::geteuid() == 0) GTEST_SKIP() << "root reads a mode 000 file";
            // An SPC file, so a reader that ignored the mode would stage it.
            SpcImage().writeTo(path);
            ASSERT_EQ(::chmod(path.c_str(), 0), 0);
            break;
    }
    SpcFile spc;
    EXPECT_EQ(spc.Load(path), -1);

    RomImage rom;
    const DropResult full = stageDroppedFile(path, false, spc, rom);
    EXPECT_EQ(full.outcome, DropOutcome::RomNotFound);
    EXPECT_EQ(full.infoText, "ROM file not found.");
    EXPECT_FALSE(full.detail.empty());
    EXPECT_EQ(rom.size, 0);

    const DropResult spcOnly = stageDroppedFile(path, true, spc, rom);
    EXPECT_EQ(spcOnly.outcome, DropOutcome::NotSpcSpcOnly);
    EXPECT_EQ(spcOnly.infoText, "");
    EXPECT_EQ(spc.loaded, 0);
    EXPECT_EQ(rom.size, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SpecialFiles,
                         testing::Values(SpecialCase{"Fifo", Special::Fifo},
                                         SpecialCase{"DevZero", Special::DevZero},
                                         SpecialCase{"Socket", Special::Socket},
                                         SpecialCase{"Directory", Special::Directory},
                                         SpecialCase{"Unreadable", Special::Unreadable},
                                         SpecialCase{"ReadError", Special::ReadError}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The variant rule ---------------------------------------------------

enum class Ini { None, EmptyFile, TextFile, Directory, Fifo, Unreadable };

struct VariantCase {
    const char* name;
    Ini ini;
    bool spcOnly;
};

class Variant : public testing::TestWithParam<VariantCase> {};

TEST_P(Variant, FollowsTravikIniInTheCurrentDirectory) {
    ScratchDir dir;
    const std::string ini = dir.file("Travik.ini");
    switch (GetParam().ini) {
        case Ini::None: break;
        case Ini::EmptyFile: writeFile(ini, ""); break;
        case Ini::TextFile: writeFile(ini, "[Travik]\nanything=1\n"); break;
        case Ini::Directory: std::filesystem::create_directory(ini); break;
        case Ini::Fifo: ASSERT_EQ(::mkfifo(ini.c_str(), 0644), 0); break;
        case Ini::Unreadable:
            if (::geteuid() == 0) GTEST_SKIP() << "root reads a mode 000 file";
            writeFile(ini, "");
            ASSERT_EQ(::chmod(ini.c_str(), 0), 0);
            break;
    }
    const WorkingDirectory cwd(dir.path());
    EXPECT_EQ(spcOnlyVariant(), GetParam().spcOnly);
}

INSTANTIATE_TEST_SUITE_P(Files, Variant,
                         testing::Values(VariantCase{"None", Ini::None, true},
                                         VariantCase{"EmptyFile", Ini::EmptyFile, false},
                                         VariantCase{"TextFile", Ini::TextFile, false},
                                         VariantCase{"Directory", Ini::Directory, true},
                                         VariantCase{"Fifo", Ini::Fifo, false},
                                         VariantCase{"Unreadable", Ini::Unreadable, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Variant, IgnoresTravikIniOutsideTheCurrentDirectory) {
    ScratchDir dir;
    writeFile(dir.file("Travik.ini"), "");
    std::filesystem::create_directory(dir.path() / "elsewhere");
    const WorkingDirectory cwd(dir.path() / "elsewhere");
    EXPECT_TRUE(spcOnlyVariant());
}

}  // namespace
