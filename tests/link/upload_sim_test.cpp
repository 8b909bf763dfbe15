// Both workers against the simulated board: what the board's receiver ends up
// holding must be exactly what was staged (or the file's first 65920 bytes).

#include "upload.h"

#include "pattern_bytes.h"
#include "scratch_dir.h"
#include "sim_cable.h"
#include "upload_host_fake.h"

#include <gtest/gtest.h>

namespace {

constexpr std::size_t kBlock = 65536;

struct BoardRun {
    SimReport report;
    Bytes payload;
};

BoardRun runOnBoard(int (*worker)(UploadHost&), const Bytes& rom, std::int32_t romSize, const std::string& path) {
    SimCableBackend board;
    std::string detail;
    std::unique_ptr<CableSession> session = board.open(kCableDescription, detail);
    EXPECT_NE(session, nullptr) << detail;
    FakeUploadHost host(session.get());
    host.rom = rom;
    host.staged = romSize;
    host.path = path;
    worker(host);
    EXPECT_TRUE(host.messages().empty());
    session.reset();
    return {board.lastReport(), board.lastPayload()};
}

void expectCleanEnd(const SimReport& report) {
    EXPECT_TRUE(report.closed()) << formatSimReport(report);
    EXPECT_TRUE(report.faults.empty()) << formatSimReport(report);
    EXPECT_TRUE(report.user1Seen);
    EXPECT_EQ(report.user1Bits, 9u);
    EXPECT_EQ(report.user1Value, 0x100u);
    EXPECT_EQ(report.instruction, 0x00C);
}

class RomOnBoardTest : public testing::TestWithParam<std::size_t> {};

TEST_P(RomOnBoardTest, BoardReceivesEveryStagedBlock) {
    const ScratchDir dir;
    const std::size_t size = GetParam();
    const std::size_t blocks = (size + kBlock - 1) / kBlock;
    const Bytes rom = patternBytes(blocks * kBlock, static_cast<std::uint32_t>(size));
    const BoardRun run = runOnBoard(RomUploadThread, rom, static_cast<std::int32_t>(size),
                                    dir.write("game.sfc", {0}));
    EXPECT_EQ(run.report.image, SimImage::Rom);
    EXPECT_EQ(run.report.announcedBlocks, blocks);
    EXPECT_EQ(run.report.receivedBytes, blocks * kBlock);
    EXPECT_TRUE(run.payload == rom);
    expectCleanEnd(run.report);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RomOnBoardTest, testing::Values(65536, 65537, 8 * 1024 * 1024));

TEST(SpcOnBoardTest, BoardReceivesTheFilesFirstImageBytes) {
    const ScratchDir dir;
    const Bytes file = patternBytes(66048, 5);
    const BoardRun run = runOnBoard(SpcUploadThread, {}, 0, dir.write("song.spc", file));
    EXPECT_EQ(run.report.image, SimImage::Spc);
    EXPECT_EQ(run.report.receivedBytes, 65920u);
    EXPECT_TRUE(run.payload == Bytes(file.begin(), file.begin() + 65920));
    expectCleanEnd(run.report);
}

}  // namespace
