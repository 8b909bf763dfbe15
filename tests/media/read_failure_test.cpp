// A read error partway through an SPC file: the load fails and the record
// keeps what the earlier load gave it. This program replaces pread so that a
// read at one chosen offset fails once.

#include "media_fixtures.h"
#include "spc_file.h"
#include "spc_header.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

std::atomic<long long> g_failOffset{-1};  // -1: nothing fails

ssize_t readOrFail(int fd, void* buffer, size_t count, long long offset) {
    long long armed = offset;
    if (offset >= 0 && g_failOffset.compare_exchange_strong(armed, -1)) {
        errno = EIO;
        return -1;
    }
    return ::syscall(SYS_pread64, fd, buffer, count, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    return readOrFail(fd, buffer, count, offset);
}
extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    return readOrFail(fd, buffer, count, offset);
}

namespace {

struct ReadCase {
    const char* name;
    std::size_t failingOffset;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class SpcReadFailure : public testing::TestWithParam<ReadCase> {};

TEST_P(SpcReadFailure, KeepsTheEarlierLoadButForLoaded) {
    ScratchDir dir;
    const std::string first = dir.file("first.spc");
    const std::string second = dir.file("second.spc");
    SpcImage()
        .set(spc_header::kGameTitle.offset, "First game")
        .set(spc_header::kPc.offset, {0x12})
        .set(spc_header::kRamOffset, {0xA1})
        .set(spc_header::kDspOffset, {0xD1})
        .writeTo(first);
    SpcImage()
        .set(spc_header::kGameTitle.offset, "Second game")
        .set(spc_header::kPc.offset, {0x34})
        .set(spc_header::kRamOffset, {0xA2})
        .set(spc_header::kDspOffset, {0xD2})
        .writeTo(second);

    SpcFile spc;
    ASSERT_EQ(spc.Load(first), 0);
    const std::uint8_t* ramBefore = spc.ram.get();
    const std::uint8_t* dspBefore = spc.dspRegs.get();
    const std::uint16_t pcBefore = spc.regPc;

    g_failOffset = static_cast<long long>(GetParam().failingOffset);
    EXPECT_EQ(spc.Load(second), -1);
    EXPECT_EQ(g_failOffset.load(), -1) << "the read under test was never made";
    EXPECT_EQ(spc.loaded, 0);
    EXPECT_STREQ(spc.gameTitle, "First game");
    EXPECT_EQ(spc.regPc, pcBefore);
    ASSERT_EQ(spc.ram.get(), ramBefore);
    ASSERT_EQ(spc.dspRegs.get(), dspBefore);
    EXPECT_EQ(spc.ram[0], 0xA1);
    EXPECT_EQ(spc.dspRegs[0], 0xD1);

    ASSERT_EQ(spc.Load(second), 0) << "the record recovers on the next load";
    EXPECT_STREQ(spc.gameTitle, "Second game");
    EXPECT_EQ(spc.ram[0], 0xA2);
    EXPECT_EQ(spc.dspRegs[0], 0xD2);
}

INSTANTIATE_TEST_SUITE_P(Parts, SpcReadFailure,
                         testing::Values(ReadCase{"Ram", spc_header::kRamOffset},
                                         ReadCase{"Dsp", spc_header::kDspOffset}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
