// The libftdi cable backend against an emulated USB-Blaster: the real libusb
// and libftdi find, open, configure and write to it, and what reaches its bulk
// OUT endpoint must be exactly what the simulated board accepts for the same
// upload.

#include "emulated_blaster.h"

#include "cli_runner.h"
#include "pattern_bytes.h"
#include "scratch_dir.h"

#include "capture_cable.h"
#include "ft.h"
#include "sim_board.h"
#include "sim_cable.h"
#include "staging.h"
#include "upload.h"
#include "usb_cable.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kNoPreload[] =
    "the umockdev preload is not active (run under umockdev-wrapper with libumockdev-preload.so.0)";
constexpr char kNotConnectedText[] = "FPGA board is not connected.";

// The worker's view of the window: a staged ROM, the path field, and what the
// worker showed.
class TestHost : public UploadHost {
public:
    TestHost(FT_HANDLE cable, RomImage rom, std::string path)
        : m_cable(cable), m_rom(std::move(rom)), m_path(std::move(path)) {
        m_flag = true;
    }
    std::atomic<bool>& transferFlag() override { return m_flag; }
    FT_HANDLE cable() override { return m_cable; }
    std::span<const std::uint8_t> romData() override { return m_rom.data; }
    std::int32_t romSize() override { return m_rom.size; }
    std::string pathText() override { return m_path; }
    void setProgress(int position) override { progress.push_back(position); }
    void showMessage(const std::string& text) override { messages.push_back(text); }

    std::vector<int> progress;
    std::vector<std::string> messages;

private:
    std::atomic<bool> m_flag;
    FT_HANDLE m_cable;
    RomImage m_rom;
    std::string m_path;
};

enum class Upload { Spc, Rom };

struct UploadOutcome {
    bool opened = false;
    std::string openFailure;
    std::vector<std::string> messages;
    std::vector<int> progress;
    bool flagClearAtEnd = false;
};

// Opens the cable through the FT layer with `backend` selected, runs one
// worker as Play would, and closes the cable as the poll timer would.
UploadOutcome runUpload(std::shared_ptr<CableBackend> backend, Upload kind, const RomImage& rom,
                        const std::string& path) {
    UploadOutcome outcome;
    selectCableBackend(std::move(backend));
    FT_HANDLE raw = nullptr;
    if (FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &raw) != FT_OK) {
        outcome.openFailure = lastOpenFailureDetail();
        selectCableBackend(nullptr);
        return outcome;
    }
    outcome.opened = true;
    {
        const CableHandle cable(raw);
        TestHost host(cable.get(), rom, path);
        if (kind == Upload::Spc) SpcUploadThread(host);
        else RomUploadThread(host);
        outcome.messages = host.messages;
        outcome.progress = host.progress;
        outcome.flagClearAtEnd = !host.transferFlag().load();
    }
    selectCableBackend(nullptr);
    return outcome;
}

// The same upload into the simulated board, captured: its report and the
// bytes it accepted.
struct SimRun {
    SimReport report;
    Bytes wire;
};

SimRun runOnSimulatedBoard(Upload kind, const RomImage& rom, const std::string& path, const ScratchDir& scratch) {
    auto sim = std::make_shared<SimCableBackend>();
    const std::string capturePath = scratch.file("sim.capture");
    const UploadOutcome outcome = runUpload(std::make_shared<CaptureCableBackend>(sim, capturePath), kind, rom, path);
    EXPECT_TRUE(outcome.opened) << outcome.openFailure;
    SimRun run{sim->lastReport(), {}};
    std::string error;
    const std::optional<CaptureRecords> records = readCaptureFile(capturePath, error);
    EXPECT_TRUE(records) << error;
    if (records) {
        for (const Bytes& record : *records) run.wire.insert(run.wire.end(), record.begin(), record.end());
    }
    return run;
}

SimReport decode(const Bytes& wire) {
    SimBoard board;
    board.feed(wire);
    return board.report();
}

RomImage romOf(const Bytes& payload) {
    RomImage rom;
    rom.size = static_cast<std::int32_t>(payload.size());
    rom.data = payload;
    rom.data.resize((payload.size() + kRomBlockSize - 1) / kRomBlockSize * kRomBlockSize, 0);
    return rom;
}

std::string sampleOr(const std::string& name, const ScratchDir& scratch, const Bytes& fallback) {
    const std::filesystem::path sample = std::filesystem::path(TRAVIK_SAMPLES_DIR) / name;
    if (std::filesystem::is_regular_file(sample)) return sample.string();
    return scratch.write(name, fallback);
}

// Drops this thread's root override of file permissions, so that a node
// without read/write bits refuses to open as it would for a normal user.
// Capabilities are per thread; the open happens on this thread.
class DacOverrideDropped {
public:
    DacOverrideDropped() {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_saved.data()) != 0) return;
        auto lowered = m_saved;
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_dropped = syscall(SYS_capset, &m_header, lowered.data()) == 0;
    }
    ~DacOverrideDropped() {
        if (m_dropped) syscall(SYS_capset, &m_header, m_saved.data());
    }
    DacOverrideDropped(const DacOverrideDropped&) = delete;
    DacOverrideDropped& operator=(const DacOverrideDropped&) = delete;

private:
    __user_cap_header_struct m_header{};
    std::array<__user_cap_data_struct, 2> m_saved{};
    bool m_dropped = false;
};

// Runs travik-cli in a child process. It inherits the preload and the
// testbed, so its ioctls reach this process's emulated cable.
CliResult runCli(std::vector<std::string> args, const ScratchDir& scratch) {
    return ::runCli(CliCommand{TRAVIK_CLI, std::move(args), scratch.path(), {}});
}

class UsbCableTest : public testing::Test {
protected:
    // Starts the emulated bus; false when the preload is missing.
    bool plugIn(std::optional<BlasterSetup> setup = BlasterSetup{}) {
        m_blaster.emplace(std::move(setup));
        return m_blaster->active();
    }
    EmulatedBlaster& blaster() { return *m_blaster; }

    ScratchDir m_scratch;

private:
    std::optional<EmulatedBlaster> m_blaster;
};

TEST_F(UsbCableTest, ListsTheCableWithoutClaimingIt) {
    BlasterSetup setup;
    setup.claimedElsewhere = true;  // listing must not need the interface
    if (!plugIn(setup)) GTEST_SKIP() << kNoPreload;
    std::string detail;
    const std::vector<UsbCableInfo> cables = listUsbCables(detail);
    EXPECT_EQ(detail, "");
    ASSERT_EQ(cables.size(), 1u);
    EXPECT_EQ(cables[0].bus, EmulatedBlaster::kBus);
    EXPECT_EQ(cables[0].address, EmulatedBlaster::kAddress);
    EXPECT_EQ(cables[0].product, "USB-Blaster");
    EXPECT_EQ(cables[0].serial, "TRVK0001");
    EXPECT_TRUE(cables[0].chosen);
}

TEST_F(UsbCableTest, ListsACableOfAnotherProductAsNotChosen) {
    BlasterSetup setup;
    setup.product = "USB-Blaster II";
    setup.productId = 0x6003;
    if (!plugIn(setup)) GTEST_SKIP() << kNoPreload;
    std::string detail;
    const std::vector<UsbCableInfo> cables = listUsbCables(detail);
    ASSERT_EQ(cables.size(), 1u);
    EXPECT_EQ(cables[0].product, "USB-Blaster II");
    EXPECT_FALSE(cables[0].chosen);
}

// ---- Uploads: the endpoint gets exactly what the simulated board accepts ----

struct UploadCase {
    const char* name;
    Upload kind;
    std::size_t romBytes;  // ROM payload size; 0 for an SPC upload
};

void PrintTo(const UploadCase& c, std::ostream* out) { *out << c.name; }

class UsbUploadTest : public UsbCableTest, public testing::WithParamInterface<UploadCase> {};

TEST_P(UsbUploadTest, DeliversTheStreamTheSimulatedBoardAccepts) {
    const UploadCase& c = GetParam();
    if (!plugIn()) GTEST_SKIP() << kNoPreload;
    RomImage rom;
    std::string path;
    if (c.kind == Upload::Spc) {
        Bytes spc = patternBytes(66048, 7);
        const std::string signature = "SNES-SPC700 Sound File Data v0.30";
        std::copy(signature.begin(), signature.end(), spc.begin());
        path = sampleOr("sample.spc", m_scratch, spc);
    } else {
        rom = romOf(patternBytes(c.romBytes, 11));
        path = m_scratch.write("image.sfc", Bytes(16, 0));  // the ROM worker only tests the path
    }

    const UploadOutcome usb = runUpload(makeUsbCableBackend(), c.kind, rom, path);
    ASSERT_TRUE(usb.opened) << usb.openFailure;
    EXPECT_TRUE(usb.messages.empty());
    EXPECT_TRUE(usb.flagClearAtEnd);
    const Bytes delivered = blaster().delivered();
    const SimRun sim = runOnSimulatedBoard(c.kind, rom, path, m_scratch);

    EXPECT_TRUE(delivered == sim.wire) << "delivered " << delivered.size() << " bytes, the simulated board took "
                                       << sim.wire.size();
    const SimReport got = decode(delivered);
    EXPECT_EQ(formatSimReport(got), formatSimReport(sim.report));
    EXPECT_EQ(got.image, c.kind == Upload::Spc ? SimImage::Spc : SimImage::Rom);
    EXPECT_TRUE(got.closed());
    EXPECT_TRUE(got.faults.empty());
    EXPECT_EQ(got.sha256, sim.report.sha256);
}

INSTANTIATE_TEST_SUITE_P(, UsbUploadTest,
                         testing::Values(UploadCase{"Spc", Upload::Spc, 0},
                                         // a partial last block: the staged zeros travel too
                                         UploadCase{"RomThreeBlocks", Upload::Rom, 2 * 65536 + 1000},
                                         UploadCase{"RomEightMiB", Upload::Rom, 8 * 1024 * 1024}),
                         [](const testing::TestParamInfo<UploadCase>& info) { return info.param.name; });

TEST_F(UsbCableTest, CliUploadOverUsbDeliversWhatTheSimulatedBoardAccepts) {
    const std::filesystem::path sample = std::filesystem::path(TRAVIK_SAMPLES_DIR) / "sample.spc";
    if (!std::filesystem::is_regular_file(sample)) GTEST_SKIP() << "no sample.spc was made";
    if (!plugIn()) GTEST_SKIP() << kNoPreload;
    const CliResult upload = runCli({"upload", "--cable", "usb", sample.string()}, m_scratch);
    EXPECT_EQ(upload.exitCode, 0) << upload.out << upload.err;
    const SimRun sim = runOnSimulatedBoard(Upload::Spc, RomImage{}, sample.string(), m_scratch);
    const Bytes delivered = blaster().delivered();
    EXPECT_TRUE(delivered == sim.wire) << "delivered " << delivered.size() << " bytes, the simulated board took "
                                       << sim.wire.size();
    EXPECT_TRUE(decode(delivered).closed());
}

TEST_F(UsbCableTest, CablePulledMidBlockGivesWriteErrAndStillTriesTheClosingSteps) {
    BlasterSetup setup;
    constexpr std::size_t kPreambleAndHeader = 62 + 8;
    setup.unplugAfter = kPreambleAndHeader + 70000;  // inside the first block's second chunk
    if (!plugIn(setup)) GTEST_SKIP() << kNoPreload;
    const RomImage rom = romOf(patternBytes(3 * 65536, 5));
    const std::string path = m_scratch.write("image.sfc", Bytes(16, 0));

    const UploadOutcome usb = runUpload(makeUsbCableBackend(), Upload::Rom, rom, path);
    ASSERT_TRUE(usb.opened) << usb.openFailure;
    EXPECT_EQ(usb.messages, std::vector<std::string>{kWriteErrText});
    ASSERT_FALSE(usb.progress.empty());
    EXPECT_EQ(usb.progress.back(), 100);
    EXPECT_TRUE(usb.flagClearAtEnd);
    EXPECT_EQ(blaster().delivered().size(), *setup.unplugAfter);

    // After the pull the worker still sent its closing bytes (which the gone
    // cable refused): the offered bytes end as a complete upload ends.
    const SimRun complete = runOnSimulatedBoard(Upload::Rom, rom, path, m_scratch);
    const Bytes offered = blaster().offeredAfterUnplug();
    constexpr std::size_t kClosingBytes = 2 + 6;  // the 0x00 byte and the return to Idle
    ASSERT_GE(offered.size(), kClosingBytes);
    ASSERT_GE(complete.wire.size(), kClosingBytes);
    EXPECT_TRUE(std::equal(offered.end() - kClosingBytes, offered.end(), complete.wire.end() - kClosingBytes));
    // No second block was offered: at most the rest of the first block came
    // before the closing bytes.
    EXPECT_LE(offered.size(), 131072 - 70000 + kClosingBytes);
}

// The detail string is only an output: text already in it from an earlier
// failure does not make a present cable count as missing.
TEST_F(UsbCableTest, OpenSucceedsWhateverTheDetailStringHeldBefore) {
    if (!plugIn()) GTEST_SKIP() << kNoPreload;
    std::string detail = "left over from an earlier open";
    const std::unique_ptr<CableSession> session = makeUsbCableBackend()->open(kCableDescription, detail);
    EXPECT_NE(session, nullptr) << detail;
}

// ---- One FT_Write against a cable pulled at various points ----

struct PullCase {
    const char* name;
    std::size_t unplugAfter;
};

void PrintTo(const PullCase& c, std::ostream* out) { *out << c.name; }

class UsbPullTest : public UsbCableTest, public testing::WithParamInterface<PullCase> {};

// The count written never claims more than the cable took, the bytes it took
// are the front of the write in order, and a write that all got through is OK.
TEST_P(UsbPullTest, FtWriteCountsOnlyWhatReachedTheCable) {
    const PullCase& c = GetParam();
    BlasterSetup setup;
    setup.unplugAfter = c.unplugAfter;
    if (!plugIn(setup)) GTEST_SKIP() << kNoPreload;
    const Bytes block = patternBytes(131072, 3);
    selectCableBackend(makeUsbCableBackend());
    FT_HANDLE raw = nullptr;
    ASSERT_EQ(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &raw), FT_OK) << lastOpenFailureDetail();
    std::uint32_t written = 12345;
    FT_STATUS status = FT_OK;
    {
        const CableHandle cable(raw);
        status = FT_Write(cable.get(), block.data(), static_cast<std::uint32_t>(block.size()), &written);
    }
    selectCableBackend(nullptr);
    const Bytes delivered = blaster().delivered();
    ASSERT_EQ(delivered.size(), std::min(c.unplugAfter, block.size()));
    EXPECT_TRUE(std::equal(delivered.begin(), delivered.end(), block.begin()));
    EXPECT_LE(written, delivered.size());
    EXPECT_EQ(status == FT_OK, c.unplugAfter >= block.size());
    if (c.unplugAfter >= block.size()) {
        EXPECT_EQ(written, block.size());
    }
}

INSTANTIATE_TEST_SUITE_P(, UsbPullTest,
                         testing::Values(PullCase{"BeforeTheFirstByte", 0}, PullCase{"MidWrite", 70000},
                                         PullCase{"RightAfterTheLastByte", 131072}),
                         [](const testing::TestParamInfo<PullCase>& info) { return info.param.name; });

// ---- Failures to open: the user's text plus the reason ----

struct OpenFailureCase {
    const char* name;
    std::optional<BlasterSetup> setup;
    const char* reason;
};

BlasterSetup withProduct(const char* product) {
    BlasterSetup setup;
    setup.product = product;
    return setup;
}

BlasterSetup claimedElsewhere() {
    BlasterSetup setup;
    setup.claimedElsewhere = true;
    return setup;
}

void PrintTo(const OpenFailureCase& c, std::ostream* out) { *out << c.name; }

class UsbOpenFailureTest : public UsbCableTest, public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(UsbOpenFailureTest, FtOpenFailsWithThePlainReason) {
    const OpenFailureCase& c = GetParam();
    if (!plugIn(c.setup)) GTEST_SKIP() << kNoPreload;
    const UploadOutcome usb = runUpload(makeUsbCableBackend(), Upload::Rom, RomImage{}, "");
    EXPECT_FALSE(usb.opened);
    EXPECT_NE(usb.openFailure.find(c.reason), std::string::npos) << usb.openFailure;
    EXPECT_TRUE(blaster().delivered().empty());
}

TEST_P(UsbOpenFailureTest, ProbeSaysNotConnectedWithTheReason) {
    const OpenFailureCase& c = GetParam();
    if (!plugIn(c.setup)) GTEST_SKIP() << kNoPreload;
    const CliResult probe = runCli({"probe", "--cable", "usb"}, m_scratch);
    EXPECT_EQ(probe.exitCode, 1) << probe.out << probe.err;
    EXPECT_NE(probe.err.find(kNotConnectedText), std::string::npos) << probe.err;
    EXPECT_NE(probe.err.find(c.reason), std::string::npos) << probe.err;
}

INSTANTIATE_TEST_SUITE_P(
    , UsbOpenFailureTest,
    testing::Values(OpenFailureCase{"NoCable", std::nullopt, "no USB-Blaster cable found"},
                    OpenFailureCase{"OtherProduct", withProduct("USB-Blaster II"), "no USB-Blaster cable found"},
                    OpenFailureCase{"ClaimedElsewhere", claimedElsewhere(), "the cable is in use by another program"}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

TEST_F(UsbCableTest, NodeWithoutPermissionNamesTheUdevRule) {
    if (!plugIn()) GTEST_SKIP() << kNoPreload;
    blaster().denyAccess();
    const DacOverrideDropped asNormalUser;
    const UploadOutcome usb = runUpload(makeUsbCableBackend(), Upload::Rom, RomImage{}, "");
    EXPECT_FALSE(usb.opened);
    EXPECT_NE(usb.openFailure.find("permission denied"), std::string::npos) << usb.openFailure;
    EXPECT_NE(usb.openFailure.find("60-travik-usb-blaster.rules"), std::string::npos) << usb.openFailure;
    std::string detail;
    listUsbCables(detail);
    EXPECT_NE(detail.find("60-travik-usb-blaster.rules"), std::string::npos) << detail;
}

TEST_F(UsbCableTest, ProbeListsOpensAndClosesThePresentCable) {
    if (!plugIn()) GTEST_SKIP() << kNoPreload;
    const CliResult probe = runCli({"probe"}, m_scratch);
    EXPECT_EQ(probe.exitCode, 0) << probe.out << probe.err;
    EXPECT_NE(probe.out.find("Bus 001 Device 007"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("TRVK0001"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("an upload opens this one"), std::string::npos) << probe.out;
    EXPECT_TRUE(blaster().delivered().empty());  // a probe sends nothing
}

// ---- The probe's other answers, which need no USB bus ----

struct ProbeCase {
    const char* name;
    std::vector<std::string> arguments;  // after "probe"
    int exitCode;
    const char* says;  // on stdout for exit 0, on stderr otherwise
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

std::vector<std::string> withProbe(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "probe");
    return arguments;
}

class ProbeCommandTest : public testing::TestWithParam<ProbeCase> {
protected:
    ScratchDir m_scratch;
};

TEST_P(ProbeCommandTest, AnswersWithItsExitCodeAndText) {
    const ProbeCase& c = GetParam();
    const CliResult probe = runCli(withProbe(c.arguments), m_scratch);
    EXPECT_EQ(probe.exitCode, c.exitCode) << probe.out << probe.err;
    const std::string& said = c.exitCode == 0 ? probe.out : probe.err;
    EXPECT_NE(said.find(c.says), std::string::npos) << probe.out << probe.err;
}

INSTANTIATE_TEST_SUITE_P(
    , ProbeCommandTest,
    testing::Values(ProbeCase{"SimulatedBoard", {"--cable", "sim"}, 0, "the cable is ready"},
                    ProbeCase{"SimulatedBoardAbsent", {"--cable", "sim:absent"}, 1, kNotConnectedText},
                    ProbeCase{"UnknownCable", {"--cable", "parallel"}, 2, "Usage: travik-cli probe"},
                    ProbeCase{"CableWithoutValue", {"--cable"}, 2, "--cable needs a value"},
                    ProbeCase{"StrayArgument", {"song.spc"}, 2, "unexpected argument"}),
    [](const testing::TestParamInfo<ProbeCase>& info) { return info.param.name; });

}  // namespace
