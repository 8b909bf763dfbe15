// A whole upload into a cable that discards the bytes: the worker's own CPU
// time and the process's peak memory.

#include "cable.h"
#include "upload.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr std::size_t kRomBytes = 8 * 1024 * 1024;

class DiscardingSession : public CableSession {
public:
    std::size_t write(std::span<const std::uint8_t> bytes) override {
        benchmark::DoNotOptimize(bytes.data());
        return bytes.size();
    }
};

class BenchHost : public UploadHost {
public:
    BenchHost(CableSession* cable, const std::vector<std::uint8_t>& rom, std::string path)
        : m_cable(cable), m_rom(rom), m_path(std::move(path)) {}
    std::atomic<bool>& transferFlag() override { return m_flag; }
    FT_HANDLE cable() override { return m_cable; }
    std::span<const std::uint8_t> romData() override { return m_rom; }
    std::int32_t romSize() override { return static_cast<std::int32_t>(m_rom.size()); }
    std::string pathText() override { return m_path; }
    void setProgress(int position) override { benchmark::DoNotOptimize(position); }
    void showMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }

private:
    std::atomic<bool> m_flag{true};
    CableSession* m_cable;
    const std::vector<std::uint8_t>& m_rom;
    std::string m_path;
};

// A file for the workers' path test (and the SPC worker's read).
std::string benchFile(std::size_t size) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("travik_upload_bench_" + std::to_string(size) + ".bin");
    std::ofstream(path, std::ios::binary) << std::string(size, '\x5A');
    return path.string();
}

void reportPeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_RomUpload8MiB(benchmark::State& state) {
    std::vector<std::uint8_t> rom(kRomBytes);
    for (std::size_t i = 0; i < rom.size(); ++i) rom[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
    const std::string path = benchFile(1);
    DiscardingSession cable;
    for (auto _ : state) {
        BenchHost host(&cable, rom, path);
        RomUploadThread(host);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kRomBytes));
    reportPeakMemory(state);
    std::filesystem::remove(path);
}
BENCHMARK(BM_RomUpload8MiB)->Unit(benchmark::kMillisecond);

void BM_SpcUpload(benchmark::State& state) {
    const std::vector<std::uint8_t> noRom;
    const std::string path = benchFile(66048);
    DiscardingSession cable;
    for (auto _ : state) {
        BenchHost host(&cable, noRom, path);
        SpcUploadThread(host);
    }
    reportPeakMemory(state);
    std::filesystem::remove(path);
}
BENCHMARK(BM_SpcUpload)->Unit(benchmark::kMicrosecond);

}  // namespace
