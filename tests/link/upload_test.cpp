#include "upload.h"

#include "pattern_bytes.h"
#include "recording_cable.h"
#include "scratch_dir.h"
#include "upload_host_fake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBlock = 65536;
constexpr std::size_t kSpcImage = 65920;

// What every upload sends first: reset, USER1 with its 9-bit scan, USER0.
const Bytes kPreamble = {
    0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D,  // reset, idle
    0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D,                          // to Shift-IR
    0x81, 0x0E, 0x2C, 0x2D,                                                  // USER1
    0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D,              // to Shift-DR
    0x81, 0x00,                                                              // eight 0 bits
    0x3E, 0x3F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D,  // the 1, to Shift-IR
    0x81, 0x0C, 0x2C, 0x2D,                                                  // USER0
    0x2E, 0x2F, 0x2E, 0x2F, 0x2E, 0x2F, 0x2C, 0x2D, 0x2C, 0x2D,              // to Shift-DR
};
const std::vector<Bytes> kClosing = {{0x81, 0x00}, {0x3E, 0x3F, 0x2E, 0x2F, 0x0C, 0x0D}};
constexpr std::size_t kPreambleWrites = 8;

Bytes joined(const std::vector<Bytes>& writes, std::size_t from, std::size_t to) {
    Bytes all;
    for (std::size_t i = from; i < to; ++i) all.insert(all.end(), writes[i].begin(), writes[i].end());
    return all;
}

// The data bytes of a run of 0x81-prefixed pairs; fails the test on any other shape.
Bytes payloadOf(const Bytes& wire) {
    Bytes payload;
    EXPECT_EQ(wire.size() % 2, 0u);
    for (std::size_t i = 0; i + 1 < wire.size(); i += 2) {
        if (wire[i] != 0x81) {
            ADD_FAILURE() << "byte " << i << " is not a shift command";
            break;
        }
        payload.push_back(wire[i + 1]);
    }
    return payload;
}

void expectFrame(const std::vector<Bytes>& writes, std::size_t closingAt) {
    ASSERT_GE(writes.size(), kPreambleWrites);
    EXPECT_EQ(joined(writes, 0, kPreambleWrites), kPreamble);
    ASSERT_EQ(writes.size(), closingAt + 2);
    EXPECT_EQ(writes[closingAt], kClosing[0]);
    EXPECT_EQ(writes[closingAt + 1], kClosing[1]);
}

// A staged ROM: `size` payload bytes in whole blocks; the tail past the
// payload is filled too, as staging's buffer would be, to show what is sent.
struct StagedRom {
    explicit StagedRom(std::size_t size)
        : bytes(patternBytes((size + kBlock - 1) / kBlock * kBlock, static_cast<std::uint32_t>(size))),
          size(static_cast<std::int32_t>(size)) {}
    Bytes bytes;
    std::int32_t size;
    std::size_t blocks() const { return bytes.size() / kBlock; }
};

struct RomUploadFixture : testing::Test {
    RomUploadFixture() : host(&cable) { host.path = dir.write("game.sfc", {0x00}); }
    void stage(const StagedRom& rom) {
        host.rom = rom.bytes;
        host.staged = rom.size;
    }
    ScratchDir dir;
    RecordingSession cable;
    FakeUploadHost host;
};

class RomSizeTest : public RomUploadFixture, public testing::WithParamInterface<std::size_t> {};

TEST_P(RomSizeTest, SendsHeaderEveryStagedBlockAndClosing) {
    const StagedRom rom(GetParam());
    const std::size_t n = rom.blocks();
    stage(rom);
    EXPECT_EQ(RomUploadThread(host), 0);

    const std::vector<Bytes> writes = cable.writes();
    ASSERT_EQ(writes.size(), 14 + n);
    expectFrame(writes, 12 + n);
    EXPECT_EQ(joined(writes, 8, 12), (Bytes{0x81, 0x00, 0x81, 0x00, 0x81, 0x00, 0x81, static_cast<std::uint8_t>(n)}));
    for (std::size_t i = 12; i < 12 + n; ++i) ASSERT_EQ(writes[i].size(), 2 * kBlock) << "write " << i;
    EXPECT_TRUE(payloadOf(joined(writes, 12, 12 + n)) == rom.bytes);

    const std::vector<int> progress = host.progress();
    ASSERT_EQ(progress.size(), n + 1);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(progress.front(), 0);  // the first block is not yet counted
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(host.transferFlag());
}

INSTANTIATE_TEST_SUITE_P(Sizes, RomSizeTest,
                         testing::Values(65536, 65537, 3 * 65536 - 5, 8 * 1024 * 1024));

TEST_F(RomUploadFixture, ProgressCountsFinishedBlocksOnly) {
    const struct {
        std::size_t size;
        std::vector<int> head;
        std::vector<int> tail;
    } cases[] = {
        {65536, {0, 100}, {0, 100}},
        {65537, {0, 50, 100}, {0, 50, 100}},
        {8 * 1024 * 1024, {0, 0, 1, 2, 3, 3, 4}, {97, 98, 99, 100}},
    };
    for (const auto& c : cases) {
        RecordingSession fresh;
        FakeUploadHost freshHost(&fresh);
        freshHost.path = host.path;
        const StagedRom rom(c.size);
        freshHost.rom = rom.bytes;
        freshHost.staged = rom.size;
        RomUploadThread(freshHost);
        const std::vector<int> progress = freshHost.progress();
        ASSERT_GE(progress.size(), c.head.size());
        EXPECT_EQ(std::vector<int>(progress.begin(), progress.begin() + c.head.size()), c.head) << c.size;
        EXPECT_EQ(std::vector<int>(progress.end() - c.tail.size(), progress.end()), c.tail) << c.size;
    }
}

class RomStopTest : public RomUploadFixture, public testing::WithParamInterface<std::size_t> {};

// Stop while block k is being written: k is finished, no position for it,
// then 100 and the closing bytes.
TEST_P(RomStopTest, EndsAfterTheBlockBeingWritten) {
    const std::size_t k = GetParam();
    const StagedRom rom(4 * kBlock);
    stage(rom);
    cable.beforeWrite = [&](std::size_t index) {
        if (index == 12 + k) host.transferFlag() = false;
    };
    RomUploadThread(host);

    const std::vector<Bytes> writes = cable.writes();
    expectFrame(writes, 12 + k + 1);
    EXPECT_TRUE(payloadOf(joined(writes, 12, 13 + k)) == Bytes(rom.bytes.begin(), rom.bytes.begin() + (k + 1) * kBlock));
    std::vector<int> expected;
    for (std::size_t i = 0; i < k; ++i) expected.push_back(static_cast<int>(100 * i / 4));
    expected.push_back(100);
    EXPECT_EQ(host.progress(), expected);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(host.transferFlag());
}

INSTANTIATE_TEST_SUITE_P(Blocks, RomStopTest, testing::Values(0, 1, 3));

class RomPulledTest : public RomUploadFixture, public testing::WithParamInterface<std::size_t> {};

// The cable goes away part-way through block k: "write err", no further
// block, then the closing steps.
TEST_P(RomPulledTest, ShowsWriteErrThenCloses) {
    const std::size_t k = GetParam();
    stage(StagedRom(4 * kBlock));
    cable.acceptBudget = kPreamble.size() + 8 + k * 2 * kBlock + 1000;
    RomUploadThread(host);

    const std::vector<Bytes> writes = cable.writes();
    expectFrame(writes, 12 + k + 1);
    const std::vector<FakeUploadHost::Shown> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "write err");
    EXPECT_EQ(messages[0].writesBefore, 12 + k + 1);  // shown before the closing bytes
    EXPECT_EQ(host.progress().back(), 100);
    EXPECT_EQ(host.progress().size(), k + 1);
    EXPECT_FALSE(host.transferFlag());
}

INSTANTIATE_TEST_SUITE_P(Blocks, RomPulledTest, testing::Values(0, 2));

TEST_F(RomUploadFixture, NothingStagedEndsAfterThePreambleWithTheFlagCleared) {
    host.staged = 0;
    RomUploadThread(host);
    EXPECT_EQ(cable.writeCount(), kPreambleWrites);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.progress().empty());
    EXPECT_FALSE(host.transferFlag());
}

// The path is only tested: the staged image is sent, not the file's bytes.
TEST_F(RomUploadFixture, SendsTheStagedImageNotThePathsFile) {
    const StagedRom rom(kBlock);
    stage(rom);
    host.path = dir.write("other.sfc", Bytes(kBlock, 0x11));
    RomUploadThread(host);
    ASSERT_EQ(cable.writeCount(), 15u);
    EXPECT_TRUE(payloadOf(cable.writes()[12]) == rom.bytes);
}

TEST_F(RomUploadFixture, StopFromAnotherThreadTakesEffectAfterTheCurrentBlock) {
    stage(StagedRom(8 * kBlock));
    std::mutex mutex;
    std::condition_variable changed;
    bool inBlock2 = false;
    bool stopped = false;
    cable.beforeWrite = [&](std::size_t index) {
        if (index != 14) return;
        std::unique_lock lock(mutex);
        inBlock2 = true;
        changed.notify_all();
        changed.wait(lock, [&] { return stopped; });
    };
    std::thread worker([&] { RomUploadThread(host); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return inBlock2; });
        host.transferFlag() = false;  // Stop, as the window's button does
        stopped = true;
        changed.notify_all();
    }
    worker.join();
    expectFrame(cable.writes(), 15);
    EXPECT_EQ(host.progress(), (std::vector<int>{0, 12, 100}));
}

struct SpcUploadFixture : testing::Test {
    SpcUploadFixture() : host(&cable) {}
    ScratchDir dir;
    RecordingSession cable;
    FakeUploadHost host;
};

TEST_F(SpcUploadFixture, SendsTheFirstImageBytesOfTheNamedFile) {
    const struct {
        const char* name;
        std::size_t fileSize;
    } cases[] = {{"exact", kSpcImage}, {"longer", 66048 + 200}, {"short", 1000}, {"empty", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSession fresh;
        FakeUploadHost spcHost(&fresh);
        const Bytes file = patternBytes(c.fileSize, 7);
        spcHost.path = dir.write(std::string(c.name) + ".spc", file);
        EXPECT_EQ(SpcUploadThread(spcHost), 0);

        const std::vector<Bytes> writes = fresh.writes();
        ASSERT_EQ(writes.size(), 13u);
        expectFrame(writes, 11);
        EXPECT_EQ(joined(writes, 8, 10), (Bytes{0x81, 0xFF, 0x81, 0x00}));
        Bytes expected(file.begin(), file.begin() + std::min(file.size(), kSpcImage));
        expected.resize(kSpcImage, 0);  // past a short file's end: zeros
        ASSERT_EQ(writes[10].size(), 2 * kSpcImage);
        EXPECT_TRUE(payloadOf(writes[10]) == expected);
        EXPECT_EQ(spcHost.progress(), std::vector<int>{100});
        EXPECT_TRUE(spcHost.messages().empty());
        EXPECT_FALSE(spcHost.transferFlag());
    }
}

TEST_F(SpcUploadFixture, StopDoesNotShortenIt) {
    host.path = dir.write("song.spc", patternBytes(66048, 3));
    cable.beforeWrite = [&](std::size_t) { host.transferFlag() = false; };
    SpcUploadThread(host);
    EXPECT_EQ(cable.writeCount(), 13u);
    EXPECT_EQ(host.progress(), std::vector<int>{100});
}

// A short count on the payload must not pass for a finished upload.
TEST_F(SpcUploadFixture, PulledCableShowsWriteErrThenCloses) {
    host.path = dir.write("song.spc", patternBytes(66048, 3));
    cable.acceptBudget = kPreamble.size() + 4 + 5000;
    SpcUploadThread(host);
    expectFrame(cable.writes(), 11);
    const std::vector<FakeUploadHost::Shown> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "write err");
    EXPECT_EQ(messages[0].writesBefore, 11u);
    EXPECT_EQ(host.progress(), std::vector<int>{100});
    EXPECT_FALSE(host.transferFlag());
}

// A path that does not open: the preamble has gone out, nothing after it,
// and the flag is cleared so the host can leave its transfer state.
// Runs `worker` on its own thread. A worker still running after the deadline
// fails the test; one stuck opening the FIFO `fifo` is then let go by a
// writer that opens and closes it, so the test ends instead of hanging.
int runWithDeadline(int (*worker)(UploadHost&), UploadHost& host, const std::string& fifo) {
    std::future<int> result = std::async(std::launch::async, worker, std::ref(host));
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the worker still runs after 10 s: it waits on the path";
        for (int attempt = 0; attempt < 100 && result.wait_for(std::chrono::milliseconds(100)) !=
                                                     std::future_status::ready;
             ++attempt) {
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) ::close(writer);
        }
    }
    return result.get();
}

TEST(UploadPathTest, UnopenablePathShowsFileDontOpen) {
    const ScratchDir dir;
    const std::string fifo = dir.file("pipe.spc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // A FIFO without a writer would block an open; /dev/zero reads forever.
    const std::vector<std::string> paths = {"", dir.file("gone.spc"), dir.path().string(), fifo,
                                            "/dev/zero"};
    for (const auto& worker : {RomUploadThread, SpcUploadThread}) {
        for (const std::string& path : paths) {
            SCOPED_TRACE(path);
            RecordingSession cable;
            FakeUploadHost host(&cable);
            const StagedRom rom(kBlock);
            host.rom = rom.bytes;
            host.staged = rom.size;
            host.path = path;
            EXPECT_EQ(runWithDeadline(worker, host, fifo), 0);
            EXPECT_EQ(joined(cable.writes(), 0, cable.writeCount()), kPreamble);
            ASSERT_EQ(host.messages().size(), 1u);
            EXPECT_EQ(host.messages()[0].text, "file dont open");
            EXPECT_TRUE(host.progress().empty());
            EXPECT_FALSE(host.transferFlag());
        }
    }
}

// A host whose path cannot be handed over: the worker reports "write err",
// writes nothing past the preamble and still clears the transfer flag.
class ThrowingPathHost : public FakeUploadHost {
public:
    using FakeUploadHost::FakeUploadHost;
    std::string pathText() override { throw std::bad_alloc(); }
};

TEST(UploadPathTest, AnExceptionInTheWorkerEndsItWithWriteErr) {
    for (const auto& worker : {RomUploadThread, SpcUploadThread}) {
        RecordingSession cable;
        ThrowingPathHost host(&cable);
        const StagedRom rom(kBlock);
        host.rom = rom.bytes;
        host.staged = rom.size;
        EXPECT_EQ(worker(host), 0);
        EXPECT_EQ(joined(cable.writes(), 0, cable.writeCount()), kPreamble);
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(host.messages()[0].text, "write err");
        EXPECT_FALSE(host.transferFlag());
    }
}

TEST(WireBufferTest, PairsEveryByteWithAShiftCommand) {
    const Bytes payload = {0x00, 0x81, 0xFF, 0x7E};
    Bytes wire(8, 0xEE);
    fillWireBuffer(payload, wire);
    EXPECT_EQ(wire, (Bytes{0x81, 0x00, 0x81, 0x81, 0x81, 0xFF, 0x81, 0x7E}));
}

}  // namespace
