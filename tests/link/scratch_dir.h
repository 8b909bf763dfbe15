#pragma once
// A fresh directory per test, removed afterwards, with helpers for the files
// the tests put in it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class ScratchDir {
public:
    ScratchDir() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        // The pid keeps runs of the same test in other build trees apart.
        std::string name = "travik_" + std::to_string(::getpid()) + "_" + test->test_suite_name() + "_" + test->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_path = std::filesystem::path(testing::TempDir()) / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string path = file(name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

private:
    std::filesystem::path m_path;
};

// Bytes that differ from their neighbours and from a plain counter, so that a
// shifted or repeated block shows.
inline std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}
