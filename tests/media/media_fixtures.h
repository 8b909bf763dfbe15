#pragma once
// Small helpers for the media tests: files of chosen bytes or sizes and an
// SPC image to poke bytes into. The scratch folder and the working-directory
// guard are the shared ones.

#include "scratch_dir.h"
#include "working_directory.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

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
