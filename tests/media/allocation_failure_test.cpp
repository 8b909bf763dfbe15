// A failed allocation while loading or staging leaves nothing staged and no
// buffer half-owned. This program replaces the global allocation functions so
// that one chosen allocation size can be made to fail once.

#include "media_fixtures.h"
#include "spc_file.h"
#include "staging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

namespace {

std::atomic<std::size_t> g_failSize{0};  // 0: nothing fails

void* allocate(std::size_t size) {
    std::size_t armed = size;
    if (size != 0 && g_failSize.compare_exchange_strong(armed, 0)) throw std::bad_alloc();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

// Makes the next allocation of exactly `size` bytes fail.
void failNextAllocationOf(std::size_t size) { g_failSize = size; }

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

// Lists a parameterised case by its name rather than by its bytes.
template <typename Case>
    requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

struct BufferCase {
    const char* name;
    std::size_t failingSize;
};

class SpcBufferFailure : public testing::TestWithParam<BufferCase> {};

TEST_P(SpcBufferFailure, LeavesTheRecordNotLoadedWithoutBuffers) {
    ScratchDir dir;
    const std::string path = dir.file("file.spc");
    SpcImage().writeTo(path);
    SpcFile spc;
    ASSERT_EQ(spc.Load(path), 0);

    failNextAllocationOf(GetParam().failingSize);
    EXPECT_NE(spc.Load(path), 0);
    EXPECT_EQ(g_failSize.load(), 0u) << "the allocation under test was never made";
    EXPECT_EQ(spc.loaded, 0);
    EXPECT_EQ(spc.ram, nullptr);
    EXPECT_EQ(spc.dspRegs, nullptr);

    EXPECT_EQ(spc.Load(path), 0) << "the record recovers on the next load";
    EXPECT_NE(spc.ram, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Buffers, SpcBufferFailure,
                         testing::Values(BufferCase{"Ram", SpcFile::kRamSize},
                                         BufferCase{"Dsp", SpcFile::kDspSize}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RomBufferFailure, StagesNothingAndShowsNothing) {
    ScratchDir dir;
    const std::string path = dir.file("image.bin");
    writeSparseFile(path, 100000, {{0, 0x11}});
    SpcFile spc;
    RomImage rom;
    ASSERT_EQ(stageDroppedFile(path, false, spc, rom).outcome, DropOutcome::RomStaged);

    failNextAllocationOf(131072);
    const DropResult result = stageDroppedFile(path, false, spc, rom);
    EXPECT_EQ(g_failSize.load(), 0u) << "the allocation under test was never made";
    EXPECT_EQ(result.outcome, DropOutcome::RomNoMemory);
    EXPECT_FALSE(result.staged());
    EXPECT_EQ(result.infoText, "");
    EXPECT_EQ(rom.size, 0);
    EXPECT_TRUE(rom.data.empty());
    EXPECT_EQ(spc.loaded, 0);
}

}  // namespace
