// Runs the built travik-cli upload against the simulated board.

#include "capture_cable.h"
#include "cli_runner.h"
#include "pattern_bytes.h"
#include "recording_cable.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include <sys/wait.h>

namespace {

constexpr std::size_t kBlock = 65536;
constexpr std::size_t kSpcImage = 65920;

// Runs travik-cli in `dir`, with its stdout and stderr going to files there.
CliCommand cliCommand(const ScratchDir& dir, std::vector<std::string> args) {
    return {TRAVIK_CLI_PATH, std::move(args), dir.path(), dir.path()};
}

CliResult runCli(const ScratchDir& dir, std::vector<std::string> args) {
    return ::runCli(cliCommand(dir, std::move(args)));
}

Bytes spcFileBytes() {
    Bytes file = patternBytes(66048, 9);
    const std::string signature = "SNES-SPC700 Sound File Data v0.30";
    std::copy(signature.begin(), signature.end(), file.begin());
    file[0x21] = 0x1A;
    file[0x22] = 0x1A;
    return file;
}

CaptureRecords readCapture(const std::string& path) {
    std::string error;
    std::optional<CaptureRecords> records = readCaptureFile(path, error);
    EXPECT_TRUE(records) << error;
    return records.value_or(CaptureRecords{});
}

Bytes payloadOf(const CaptureRecords& records, std::size_t from, std::size_t to) {
    Bytes payload;
    for (std::size_t r = from; r < to; ++r) {
        for (std::size_t i = 1; i < records[r].size(); i += 2) payload.push_back(records[r][i]);
    }
    return payload;
}

const Bytes kClosingEnd = {0x3E, 0x3F, 0x2E, 0x2F, 0x0C, 0x0D};

struct CliFixture : testing::Test {
    void fullVariant() { dir.write("Travik.ini", {}); }
    ScratchDir dir;
};

TEST_F(CliFixture, RomThroughTheSimulatedBoardIsCapturedWholeAndReported) {
    fullVariant();
    const Bytes rom = patternBytes(2 * kBlock + 10, 4);
    dir.write("game.sfc", rom);
    const CliResult run = runCli(dir, {"upload", "--cable", "sim", "--capture", "wire.cap", "game.sfc"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("closed: yes"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("(3 of 3 blocks)"), std::string::npos) << run.out;

    const CaptureRecords records = readCapture(dir.file("wire.cap"));
    ASSERT_EQ(records.size(), 14u + 3);
    Bytes expected = rom;
    expected.resize(3 * kBlock, 0);  // staging pads the last block with zeros
    EXPECT_TRUE(payloadOf(records, 12, 15) == expected);
    EXPECT_EQ(records.back(), kClosingEnd);
}

TEST_F(CliFixture, SpcThroughTheSimulatedBoard) {
    const Bytes spc = spcFileBytes();
    dir.write("song.spc", spc);
    const CliResult run = runCli(dir, {"upload", "--capture", "wire.cap", "--cable", "sim:rate=100000000", "song.spc"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("image: SPC"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("received: 65920 bytes"), std::string::npos) << run.out;
    const CaptureRecords records = readCapture(dir.file("wire.cap"));
    ASSERT_EQ(records.size(), 13u);
    EXPECT_TRUE(payloadOf(records, 10, 11) == Bytes(spc.begin(), spc.begin() + kSpcImage));
}

TEST_F(CliFixture, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"upload"},
        {"upload", "--bogus", "x.spc"},
        {"upload", "--cable"},
        {"upload", "--cable", "serial", "x.spc"},
        {"upload", "--cable", "sim:rate=fast", "x.spc"},
        {"upload", "a.spc", "b.spc"},
        {"upload", "--cable=", "x.spc"},
        {"upload", "--capture", "", "x.spc"},
        {"upload", "--", "a.spc", "b.spc"},
    };
    for (const auto& args : cases) {
        const CliResult run = runCli(dir, args);
        EXPECT_EQ(run.exitCode, 2) << args.back();
        EXPECT_NE(run.err.find("Usage: travik-cli upload"), std::string::npos) << run.err;
    }
}

// Both spellings of the options, and -- before a FILE that looks like one.
TEST_F(CliFixture, TakesOptionValuesJoinedOrSeparate) {
    const Bytes spc = spcFileBytes();
    dir.write("-song.spc", spc);
    const std::vector<std::vector<std::string>> cases = {
        {"upload", "--cable=sim", "--capture=wire.cap", "--", "-song.spc"},
        {"upload", "--cable", "sim", "--capture", "wire.cap", "--", "-song.spc"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1]);
        std::filesystem::remove(dir.file("wire.cap"));
        const CliResult run = runCli(dir, args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("image: SPC"), std::string::npos) << run.out;  // the simulated board's report
        const CaptureRecords records = readCapture(dir.file("wire.cap"));
        ASSERT_EQ(records.size(), 13u);
        EXPECT_TRUE(payloadOf(records, 10, 11) == Bytes(spc.begin(), spc.begin() + kSpcImage));
    }
}

// A capture file that is the input would be truncated before it is read.
TEST_F(CliFixture, RefusesToCaptureIntoTheInputFile) {
    const Bytes spc = spcFileBytes();
    dir.write("song.spc", spc);
    std::filesystem::create_hard_link(dir.file("song.spc"), dir.file("link.spc"));
    for (const std::string& capture : {std::string("song.spc"), std::string("./song.spc"), dir.file("link.spc")}) {
        SCOPED_TRACE(capture);
        const CliResult run = runCli(dir, {"upload", "--cable", "sim", "--capture", capture, "song.spc"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find("song.spc"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(readText(dir.file("song.spc")) == std::string(spc.begin(), spc.end()))
            << "the input was changed";
    }
}

// Nothing staged or no cable: nothing is sent, one reason on stderr, exit 1.
TEST_F(CliFixture, FailuresBeforeTheUploadExitOneWithoutSendingAnything) {
    dir.write("notes.txt", Bytes(100, 'x'));
    dir.write("song.spc", spcFileBytes());
    const struct {
        const char* name;
        bool full;
        std::vector<std::string> args;
        std::string reason;
    } cases[] = {
        {"missing file", true, {"upload", "--cable", "sim", "--capture", "wire.cap", "gone.sfc"}, "gone.sfc"},
        {"not an SPC file, SPC-only", false, {"upload", "--cable", "sim", "--capture", "wire.cap", "notes.txt"},
         "not an SPC file"},
        {"capture file cannot be made", false,
         {"upload", "--cable", "sim", "--capture", "no-such-dir/wire.cap", "song.spc"},
         "cannot create capture file 'no-such-dir/wire.cap'"},
        {"cable absent", false, {"upload", "--cable", "sim:absent", "--capture", "wire.cap", "song.spc"},
         "FPGA board is not connected. (no USB-Blaster cable found)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file("Travik.ini"));
        if (c.full) fullVariant();
        const CliResult run = runCli(dir, c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(dir.file("wire.cap")));
    }
}

TEST_F(CliFixture, PulledCableShowsWriteErrAndStillHandsOverTheClosingBytes) {
    fullVariant();
    dir.write("game.sfc", patternBytes(4 * kBlock, 2));
    const CliResult run =
        runCli(dir, {"upload", "--cable", "sim:unplug-after=200000", "--capture", "wire.cap", "game.sfc"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("write err"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("closed: no"), std::string::npos) << run.out;  // the board never got them
    const CaptureRecords records = readCapture(dir.file("wire.cap"));
    ASSERT_EQ(records.size(), 14u + 2);  // block 1 came back short; no block after it
    EXPECT_EQ(records.back(), kClosingEnd);
}

// Ctrl-C is Stop: the ROM upload ends after its current block, closed.
TEST_F(CliFixture, InterruptStopsARomUploadAfterTheCurrentBlock) {
    fullVariant();
    dir.write("game.sfc", patternBytes(8 * kBlock, 6));
    // About half a second per block, so the interrupt lands well before the end.
    const CliProcess cli =
        startCli(cliCommand(dir, {"upload", "--cable", "sim:rate=262144", "--capture", "wire.cap", "game.sfc"}));
    ASSERT_GT(cli.pid, 0);
    // Wait until the first block has been handed over, but not for a child
    // that has ended or hangs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code ignored;
    while (std::filesystem::file_size(dir.file("wire.cap"), ignored) < 2 * kBlock || ignored) {
        ignored.clear();
        siginfo_t ended{};
        // WNOWAIT leaves the child to finishCli, which then reports its output.
        const bool exited = ::waitid(P_PID, static_cast<id_t>(cli.pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                            ended.si_pid == cli.pid;
        const bool late = std::chrono::steady_clock::now() > deadline;
        if (exited || late) {
            if (late) ::kill(cli.pid, SIGKILL);
            const CliResult run = finishCli(cli);
            FAIL() << (exited ? "travik-cli ended before its first block was captured"
                              : "no block captured within 30 s")
                   << "; exit " << run.exitCode << ", stderr: " << run.err;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(cli.pid, SIGINT);
    const CliResult run = finishCli(cli);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("stopped"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("closed: yes"), std::string::npos) << run.out;
    const CaptureRecords records = readCapture(dir.file("wire.cap"));
    ASSERT_GE(records.size(), 15u);
    EXPECT_LT(records.size(), 14u + 8);
    EXPECT_EQ(records.back(), kClosingEnd);
}

}  // namespace
