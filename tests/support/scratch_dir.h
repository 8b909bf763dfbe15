#pragma once
// A fresh folder per test, removed with its content afterwards, with helpers
// for the files the tests put in it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class ScratchDir {
public:
    // Made under GoogleTest's temporary folder and named after the running
    // test (or "travik" outside one); a unique suffix keeps parallel runs and
    // several folders of one test apart.
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(std::string_view name) const { return (m_path / name).string(); }

    // Writes `bytes` to the file `name` in the folder and returns its path;
    // throws when the file cannot be written.
    std::string write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path m_path;
};
