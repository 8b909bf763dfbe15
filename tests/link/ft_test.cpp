#include "ft.h"

#include "cable.h"
#include "recording_cable.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Every test here selects its own backend and restores the default after.
class FtTest : public testing::Test {
protected:
    void SetUp() override { selectCableBackend(m_backend); }
    void TearDown() override { selectCableBackend(nullptr); }

    std::shared_ptr<RecordingBackend> m_backend = std::make_shared<RecordingBackend>();
};

TEST_F(FtTest, OpenByDescriptionReachesTheSelectedBackendAndCloseEndsTheSession) {
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(m_backend->lastDescription, "USB-Blaster");
    EXPECT_TRUE(lastOpenFailureDetail().empty());

    const Bytes bytes = {1, 2, 3};
    std::uint32_t written = 0;
    EXPECT_EQ(FT_Write(handle, bytes.data(), 3, &written), FT_OK);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(m_backend->lastSession->writes(), std::vector<Bytes>{bytes});

    EXPECT_FALSE(m_backend->lastSessionClosed);
    EXPECT_EQ(FT_Close(handle), FT_OK);
    EXPECT_TRUE(m_backend->lastSessionClosed);
}

TEST_F(FtTest, FailedOpenLeavesNoHandleAndKeepsTheReasonOnItsThread) {
    m_backend->failWith = "no USB-Blaster on the bus";
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(&m_backend);  // must be overwritten
    EXPECT_NE(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(lastOpenFailureDetail(), "no USB-Blaster on the bus");

    std::string otherThreadDetail = "untouched";
    std::thread([&] { otherThreadDetail = lastOpenFailureDetail(); }).join();
    EXPECT_EQ(otherThreadDetail, "");

    m_backend->failWith.clear();
    ASSERT_EQ(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_TRUE(lastOpenFailureDetail().empty());
    FT_Close(handle);
}

TEST_F(FtTest, OpenRejectsOtherWaysOfOpening) {
    FT_HANDLE handle = nullptr;
    EXPECT_EQ(FT_OpenEx(kCableDescription, 1, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(nullptr, FT_OPEN_BY_DESCRIPTION, &handle), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, nullptr), FT_INVALID_PARAMETER);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(m_backend->lastSession, nullptr);
}

TEST(FtWriteTest, ReportsTheCountTheCableTook) {
    RecordingSession cable;
    cable.acceptBudget = 5;
    const Bytes bytes(8, 0xAA);
    std::uint32_t written = 99;
    EXPECT_EQ(FT_Write(&cable, bytes.data(), 8, &written), FT_IO_ERROR);
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(FT_Write(&cable, bytes.data(), 8, &written), FT_IO_ERROR);
    EXPECT_EQ(written, 0u);
}

TEST(FtWriteTest, NullHandleWritesNothingAndCountsZero) {
    const Bytes bytes(4, 0);
    std::uint32_t written = 99;
    EXPECT_EQ(FT_Write(nullptr, bytes.data(), 4, &written), FT_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(FT_Close(nullptr), FT_INVALID_HANDLE);
}

TEST(CableHandleTest, ClosesTheSessionWhenItGoes) {
    auto backend = std::make_shared<RecordingBackend>();
    selectCableBackend(backend);
    {
        FT_HANDLE raw = nullptr;
        ASSERT_EQ(FT_OpenEx(kCableDescription, FT_OPEN_BY_DESCRIPTION, &raw), FT_OK);
        const CableHandle handle(raw);
        EXPECT_FALSE(backend->lastSessionClosed);
    }
    EXPECT_TRUE(backend->lastSessionClosed);
    selectCableBackend(nullptr);
}

}  // namespace
