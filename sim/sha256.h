#pragma once
// SHA-256 (FIPS 180-4), small and dependency-free, for the payload digest.

#include <array>
#include <cstdint>
#include <span>
#include <string>

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything updated so far; the object stays usable.
    Digest digest() const;

    static Digest of(std::span<const std::uint8_t> bytes);
    static std::string hex(const Digest& digest);

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockUsed = 0;
    std::uint64_t m_totalBytes = 0;
};
