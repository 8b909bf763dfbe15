#include "capture_cable.h"

#include "ft.h"
#include "pattern_bytes.h"
#include "recording_cable.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

TEST(CaptureCableTest, RecordsEveryWriteAsHandedAndPassesItOn) {
    const ScratchDir dir;
    auto inner = std::make_shared<RecordingBackend>();
    CaptureCableBackend capture(inner, dir.file("session.cap"));
    std::string detail;
    std::unique_ptr<CableSession> session = capture.open(kCableDescription, detail);
    ASSERT_NE(session, nullptr) << detail;
    EXPECT_EQ(inner->lastDescription, "USB-Blaster");

    const std::vector<Bytes> handed = {{0x2E, 0x2F}, {}, patternBytes(131072, 1), {0x81, 0x00}};
    inner->lastSession->acceptBudget = 1000;  // the cable is pulled in the third write
    for (const Bytes& bytes : handed) {
        std::uint32_t written = 0;
        FT_Write(session.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written);
    }
    EXPECT_EQ(inner->lastSession->writes(), handed);
    session.reset();

    std::string error;
    const std::optional<CaptureRecords> records = readCaptureFile(dir.file("session.cap"), error);
    ASSERT_TRUE(records) << error;
    EXPECT_EQ(*records, handed);
    EXPECT_EQ(capture.captureError(), "");
}

TEST(CaptureCableTest, RecordLayoutIsCountLittleEndianThenBytes) {
    const ScratchDir dir;
    CaptureCableBackend capture(std::make_shared<RecordingBackend>(), dir.file("layout.cap"));
    std::string detail;
    {
        std::unique_ptr<CableSession> session = capture.open(kCableDescription, detail);
        ASSERT_NE(session, nullptr);
        const Bytes bytes(0x0102, 0x81);
        session->write(bytes);
    }
    std::ifstream in(dir.file("layout.cap"), std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(file.size(), 4u + 0x0102);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{0x02, 0x01, 0x00, 0x00}));
}

TEST(CaptureCableTest, OpenFailsWhenTheCaptureFileCannotBeCreated) {
    const ScratchDir dir;
    auto inner = std::make_shared<RecordingBackend>();
    const std::string path = dir.file("missing-dir/session.cap");
    CaptureCableBackend capture(inner, path);
    std::string detail;
    EXPECT_EQ(capture.open(kCableDescription, detail), nullptr);
    EXPECT_NE(detail.find(path), std::string::npos) << detail;
    EXPECT_EQ(capture.captureError(), detail);
    EXPECT_TRUE(inner->lastSessionClosed);  // the cable it had opened is closed again
}

TEST(CaptureCableTest, OpenFailureOfTheCableCreatesNoFile) {
    const ScratchDir dir;
    auto inner = std::make_shared<RecordingBackend>();
    inner->failWith = "no cable";
    CaptureCableBackend capture(inner, dir.file("none.cap"));
    std::string detail;
    EXPECT_EQ(capture.open(kCableDescription, detail), nullptr);
    EXPECT_EQ(detail, "no cable");
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.cap")));
}

TEST(CaptureCableTest, WriteFailureOfTheCaptureIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
    CaptureCableBackend capture(std::make_shared<RecordingBackend>(), "/dev/full");
    std::string detail;
    {
        std::unique_ptr<CableSession> session = capture.open(kCableDescription, detail);
        ASSERT_NE(session, nullptr) << detail;
        const Bytes bytes(65536, 0x81);
        EXPECT_EQ(session->write(bytes), bytes.size());  // the cable still gets its bytes
    }
    EXPECT_NE(capture.captureError().find("/dev/full"), std::string::npos);
}

struct DamagedCase {
    const char* name;
    Bytes file;
};

class CaptureReaderDamageTest : public testing::TestWithParam<DamagedCase> {};

TEST_P(CaptureReaderDamageTest, RejectsAFileThatEndsInsideARecord) {
    const ScratchDir dir;
    const std::string path = dir.write("damaged.cap", GetParam().file);
    std::string error;
    EXPECT_FALSE(readCaptureFile(path, error));
    EXPECT_NE(error.find("ends inside a record"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, CaptureReaderDamageTest,
    testing::Values(DamagedCase{"ShortCount", {0x02, 0x00}},
                    DamagedCase{"ShortBytes", {0x03, 0x00, 0x00, 0x00, 0x81, 0x00}},
                    DamagedCase{"HugeCount", {0xFF, 0xFF, 0xFF, 0xFF, 0x81}},
                    DamagedCase{"GoodThenShort", {0x01, 0x00, 0x00, 0x00, 0x81, 0x05}}),
    [](const testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

TEST(CaptureReaderTest, MissingFileIsAnError) {
    const ScratchDir dir;
    std::string error;
    EXPECT_FALSE(readCaptureFile(dir.file("absent.cap"), error));
    EXPECT_NE(error.find("absent.cap"), std::string::npos);
}

}  // namespace
