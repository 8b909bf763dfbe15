// The sim cable backend: its options, how it opens, unplugs and paces, and
// the report it keeps per session. Sessions are opened through the FT_*
// layer, the way the uploads use them.

#include "sim_cable.h"

#include "board_session.h"
#include "ft.h"
#include "sha256.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(SimCableOptions, ParsesWellFormedOptions) {
    struct Case {
        const char* text;
        std::uint64_t rate;
        std::optional<std::uint64_t> unplugAfter;
        bool absent;
    };
    const Case cases[] = {
        {"", 0, std::nullopt, false},
        {"rate=250000", 250000, std::nullopt, false},
        {"unplug-after=0", 0, 0, false},
        {"absent", 0, std::nullopt, true},
        {"rate=250000,unplug-after=70000,absent", 250000, 70000, true},
        {"absent,unplug-after=5", 0, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto options = SimCableOptions::parse(c.text, error);
        ASSERT_TRUE(options.has_value()) << error;
        EXPECT_EQ(options->rate, c.rate);
        EXPECT_EQ(options->unplugAfter, c.unplugAfter);
        EXPECT_EQ(options->absent, c.absent);
    }
}

TEST(SimCableOptions, RejectsMalformedOptions) {
    const char* const cases[] = {
        "rate", "rate=", "rate=0", "rate=fast", "rate=-5", "rate=12k", "unplug-after=", "unplug-after=1e6",
        "absent=yes", "present", "rate=1,,absent", "rate=1,", ",", "rate=99999999999999999999999",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(SimCableOptions::parse(text, error).has_value());
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(SimCableBackend::create(text, error), nullptr);
    }
}

// Opens through FT_OpenEx with the sim backend selected; restores the default afterwards.
class SimCableTest : public ::testing::Test {
protected:
    void use(std::string_view options) {
        std::string error;
        m_backend = SimCableBackend::create(options, error);
        ASSERT_NE(m_backend, nullptr) << error;
        selectCableBackend(m_backend);
    }
    void TearDown() override { selectCableBackend(nullptr); }

    static CableHandle open(FT_STATUS& status) {
        FT_HANDLE handle = nullptr;
        status = FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &handle);
        return CableHandle(handle);
    }
    static std::uint32_t write(FT_HANDLE handle, const Bytes& bytes) {
        std::uint32_t written = 99;
        FT_Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
        return written;
    }

    std::shared_ptr<SimCableBackend> m_backend;
};

TEST_F(SimCableTest, AbsentCableFailsToOpenWithPlainWords) {
    use("absent");
    FT_STATUS status = FT_OK;
    const CableHandle cable = open(status);
    EXPECT_NE(status, FT_OK);
    EXPECT_EQ(cable, nullptr);
    EXPECT_EQ(lastOpenFailureDetail(), "no USB-Blaster cable found");
    EXPECT_FALSE(m_backend->hasSession());
}

TEST_F(SimCableTest, OnlyTheUsbBlasterDescriptionOpens) {
    use("");
    FT_HANDLE handle = nullptr;
    EXPECT_NE(FT_OpenEx("USB-Blaster II", FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_EQ(handle, nullptr);
    EXPECT_NE(lastOpenFailureDetail().find("USB-Blaster II"), std::string::npos);
}

// The cable carries the first N bytes; the write that crosses N reports the
// short count, every later write 0, and the pulled cable cannot be reopened.
TEST_F(SimCableTest, UnplugAfterCutsTheStreamAtTheGivenByte) {
    use("unplug-after=1000");
    FT_STATUS status = FT_OK;
    {
        const CableHandle cable = open(status);
        ASSERT_EQ(status, FT_OK);
        EXPECT_EQ(write(cable.get(), Bytes(600, 0x2C)), 600u);
        EXPECT_EQ(write(cable.get(), Bytes(600, 0x2C)), 400u);
        EXPECT_EQ(write(cable.get(), Bytes(2, 0x2C)), 0u);
        EXPECT_EQ(m_backend->lastReport().wireBytes, 1000u);
    }
    EXPECT_EQ(m_backend->wireBytesAccepted(), 1000u);
    EXPECT_EQ(open(status), nullptr);
    EXPECT_NE(status, FT_OK);
    EXPECT_FALSE(lastOpenFailureDetail().empty());
}

// A ROM upload whose cable is pulled in its first block: the board saw the
// preamble and part of the block, never a close.
TEST_F(SimCableTest, UnpluggedUploadLeavesAnOpenScan) {
    use("unplug-after=1000");
    FT_STATUS status = FT_OK;
    const CableHandle cable = open(status);
    ASSERT_EQ(status, FT_OK);
    BoardSession reference;  // the same calls, uncut, to learn the preamble length
    runPreamble(reference);
    const std::size_t preamble = reference.wire.size();

    runPreamble(cable.get());
    for (std::uint8_t byte : Bytes{0, 0, 0, 2}) JtagShiftByte(cable.get(), byte);
    const Bytes block = shiftPairs(patternBytes(65536));
    EXPECT_EQ(write(cable.get(), block), 1000u - preamble - 8);
    JtagShiftByte(cable.get(), 0);
    JtagShiftDrToIdle(cable.get());

    const SimReport report = m_backend->lastReport();
    EXPECT_EQ(report.image, SimImage::Rom);
    EXPECT_EQ(report.receivedBytes, (1000u - preamble - 8) / 2);
    EXPECT_FALSE(report.updateDrReached);
    EXPECT_FALSE(report.closed());
}

TEST_F(SimCableTest, EachOpenStartsAFreshBoardAndTheReportOutlivesTheSession) {
    use("");
    EXPECT_EQ(m_backend->lastReport().image, SimImage::None);
    const Bytes payload = patternBytes(65920, 5);
    FT_STATUS status = FT_OK;
    {
        const CableHandle cable = open(status);
        ASSERT_EQ(status, FT_OK);
        BoardSession local;
        runPreamble(local);
        sendPairs(local, Bytes{0xFF, 0x00});
        sendPairs(local, payload);
        sendPairs(local, Bytes{0x00});
        JtagShiftDrToIdle(local.handle());
        EXPECT_EQ(write(cable.get(), local.wire), local.wire.size());
    }
    const SimReport first = m_backend->lastReport();
    EXPECT_EQ(first.image, SimImage::Spc);
    EXPECT_TRUE(first.closed());
    EXPECT_EQ(m_backend->lastPayload(), payload);

    const CableHandle second = open(status);
    ASSERT_EQ(status, FT_OK);
    JtagResetToIdle(second.get());
    const SimReport fresh = m_backend->lastReport();
    EXPECT_EQ(fresh.image, SimImage::None);
    EXPECT_EQ(fresh.wireBytes, 12u);
    EXPECT_TRUE(m_backend->lastPayload().empty());
}

// With a rate the board fills gradually during one write; another thread
// reading the report meanwhile sees it part-way (and must not race).
TEST_F(SimCableTest, PacedWriteIsSeenFillingFromAnotherThread) {
    use("rate=200000");
    FT_STATUS status = FT_OK;
    const CableHandle cable = open(status);
    ASSERT_EQ(status, FT_OK);
    const Bytes bytes(40000, 0x2C);  // about 0.2 s at this rate

    std::atomic<bool> done = false;
    std::uint64_t seenPartWay = 0;
    std::thread reader([&] {
        while (!done) {
            const std::uint64_t wire = m_backend->lastReport().wireBytes;
            if (wire > 0 && wire < bytes.size()) seenPartWay = wire;
            std::this_thread::yield();
        }
    });
    EXPECT_EQ(write(cable.get(), bytes), bytes.size());
    done = true;
    reader.join();
    EXPECT_GT(seenPartWay, 0u);
    EXPECT_EQ(m_backend->lastReport().wireBytes, bytes.size());
}

}  // namespace
