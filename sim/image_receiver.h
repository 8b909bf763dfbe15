#pragma once
// The FPGA design's receiver behind USER0: one data-register scan holding a
// header and a payload (an SPC image or a ROM image), closed by a 0x00 byte
// and a final 1 bit.

#include "sha256.h"
#include "sim_report.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr std::uint64_t kSpcPayloadBytes = 65920;
inline constexpr std::uint64_t kRomBlockBytes = 65536;
inline constexpr std::uint32_t kRomMaxBlocks = 128;

class ImageReceiver {
public:
    // Capture-DR under USER0: a new scan replaces what came before.
    void begin();
    void shiftBit(bool bit);
    // Whole bytes, only while the scan is byte-aligned (see aligned()).
    void shiftBytes(std::span<const std::uint8_t> bytes);
    // Update-DR under USER0.
    void update() { m_updated = true; }

    bool aligned() const { return m_partialBits == 0; }
    bool started() const { return m_started; }

    // Fills the image part of `report`.
    void describe(SimReport& report) const;
    std::span<const std::uint8_t> payload() const;

private:
    void acceptByte(std::uint8_t byte);
    void identify();
    bool closedByFinalBit() const { return m_partialBits == 1 && (m_partial & 1) != 0; }
    std::uint64_t payloadBytes() const;
    std::uint64_t storedPayloadBytes() const;
    std::string payloadDigest() const;

    bool m_started = false;
    bool m_updated = false;
    std::uint64_t m_bits = 0;
    std::uint8_t m_partial = 0;
    int m_partialBits = 0;

    std::array<std::uint8_t, 4> m_header{};
    std::size_t m_headerBytes = 0;
    std::size_t m_headerLength = 4;  // 2 once 0xFF opened an SPC header
    SimImage m_image = SimImage::None;
    std::uint64_t m_announced = 0;
    std::uint32_t m_announcedBlocks = 0;

    // Every whole byte after the header; the last may turn out to be the closing byte.
    std::uint64_t m_bodyBytes = 0;
    std::uint8_t m_lastByte = 0;
    std::vector<std::uint8_t> m_stored;  // at most announced + 1 bytes

    // Digest of a stored prefix, extended lazily when a report asks.
    mutable Sha256 m_hash;
    mutable std::uint64_t m_hashed = 0;
};
