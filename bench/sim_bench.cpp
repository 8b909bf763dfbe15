// Decode speed of the simulated board: the wire stream of a whole 8 MiB ROM
// upload (preamble, header, 128 blocks of 0x81 pairs, closing), fed in the
// 131072-byte writes the upload makes.

#include "cable.h"
#include "jtag.h"
#include "sim_board.h"
#include "upload.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr std::size_t kBlock = 65536;
constexpr std::size_t kBlocks = 128;

class CaptureSession : public CableSession {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        wire.insert(wire.end(), bytes.begin(), bytes.end());
        return bytes.size();
    }
    std::vector<std::uint8_t> wire;
};

const std::vector<std::uint8_t>& romUploadWire() {
    static const std::vector<std::uint8_t> wire = [] {
        CaptureSession session;
        FT_HANDLE handle = &session;
        JtagResetToIdle(handle);
        JtagIdleToShiftIr(handle);
        JtagShiftIrByte(handle, 14);
        JtagShiftIrToShiftDr(handle);
        JtagShiftByte(handle, 0);
        JtagShiftDrToShiftIr(handle);
        JtagShiftIrByte(handle, 12);
        JtagShiftIrToShiftDr(handle);
        for (std::uint8_t byte : {0, 0, 0, static_cast<int>(kBlocks)}) JtagShiftByte(handle, byte);
        std::vector<std::uint8_t> payload(kBlock);
        std::vector<std::uint8_t> blockWire(2 * kBlock);
        for (std::size_t block = 0; block < kBlocks; ++block) {
            for (std::size_t i = 0; i < kBlock; ++i) payload[i] = static_cast<std::uint8_t>(i * 131 + block);
            fillWireBuffer(payload, blockWire);
            session.write(blockWire);
        }
        JtagShiftByte(handle, 0);
        JtagShiftDrToIdle(handle);
        return std::move(session.wire);
    }();
    return wire;
}

void feedInUploadWrites(SimBoard& board, std::span<const std::uint8_t> wire) {
    for (std::size_t from = 0; from < wire.size(); from += 2 * kBlock) {
        board.feed(wire.subspan(from, std::min(2 * kBlock, wire.size() - from)));
    }
}

void BM_SimBoardDecodeRomUpload(benchmark::State& state) {
    const auto& wire = romUploadWire();
    for (auto _ : state) {
        SimBoard board;
        feedInUploadWrites(board, wire);
        benchmark::DoNotOptimize(board.payload().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_SimBoardDecodeRomUpload)->Unit(benchmark::kMillisecond);

// The same, plus the report with its SHA-256 of the 8 MiB payload.
void BM_SimBoardDecodeAndReportRomUpload(benchmark::State& state) {
    const auto& wire = romUploadWire();
    for (auto _ : state) {
        SimBoard board;
        feedInUploadWrites(board, wire);
        const SimReport report = board.report();
        if (!report.closed() || report.receivedBytes != kBlock * kBlocks) state.SkipWithError("upload not decoded");
        benchmark::DoNotOptimize(report.sha256.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}
BENCHMARK(BM_SimBoardDecodeAndReportRomUpload)->Unit(benchmark::kMillisecond);

}  // namespace
