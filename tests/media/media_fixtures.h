#pragma once
// Small helpers for the media tests: a temporary folder, files of chosen
// bytes or sizes, an SPC image to poke bytes into, and a working-directory
// guard.

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// content at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(std::string_view name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

void writeFile(const std::string& path, const Bytes& bytes);
void writeFile(const std::string& path, std::string_view text);

// A sparse file of `size` bytes, zero but for the bytes given as
// {offset, value} pairs (offsets past the size are left out).
struct Marker {
    std::uint64_t offset;
    std::uint8_t value;
};
void writeSparseFile(const std::string& path, std::uint64_t size, std::initializer_list<Marker> markers);

// The bytes of an SPC file: 0x10180 bytes (header, RAM, DSP) beginning with
// the signature; everything else zero until set.
class SpcImage {
public:
    static constexpr std::size_t kFullSize = 0x10180;

    SpcImage();
    SpcImage& set(std::size_t offset, std::string_view text);
    SpcImage& set(std::size_t offset, std::initializer_list<std::uint8_t> bytes);
    SpcImage& set(std::size_t offset, const Bytes& bytes);
    SpcImage& fill(std::size_t offset, std::size_t count, std::uint8_t value);
    SpcImage& resize(std::size_t size);
    const Bytes& bytes() const { return m_bytes; }
    void writeTo(const std::string& path) const { writeFile(path, m_bytes); }

private:
    Bytes m_bytes;
};

// Runs the test in another working directory and returns to the old one.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path m_previous;
};
