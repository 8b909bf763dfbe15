// Building the wire buffer of one ROM block, next to a plain memcpy of the
// same number of bytes: the fill should run at a good fraction of memcpy.

#include "upload.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlockBytes = 65536;

std::vector<std::uint8_t> sampleBlock() {
    std::vector<std::uint8_t> block(kBlockBytes);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
    return block;
}

void BM_FillWireBuffer(benchmark::State& state) {
    const std::vector<std::uint8_t> block = sampleBlock();
    std::vector<std::uint8_t> wire(2 * kBlockBytes);
    for (auto _ : state) {
        fillWireBuffer(block, wire);
        benchmark::DoNotOptimize(wire.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_FillWireBuffer);

// The same 131072 bytes of output, copied rather than interleaved.
void BM_MemcpyWireSizedBuffer(benchmark::State& state) {
    const std::vector<std::uint8_t> source(2 * kBlockBytes, 0x81);
    std::vector<std::uint8_t> wire(2 * kBlockBytes);
    for (auto _ : state) {
        std::memcpy(wire.data(), source.data(), wire.size());
        benchmark::DoNotOptimize(wire.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_MemcpyWireSizedBuffer);

}  // namespace
