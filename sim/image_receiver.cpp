#include "image_receiver.h"

#include <algorithm>

void ImageReceiver::begin() { *this = ImageReceiver{}; m_started = true; }

void ImageReceiver::shiftBit(bool bit) {
    ++m_bits;
    m_partial = static_cast<std::uint8_t>(m_partial | (bit ? 1u << m_partialBits : 0u));
    if (++m_partialBits < 8) return;
    const std::uint8_t byte = m_partial;
    m_partial = 0;
    m_partialBits = 0;
    acceptByte(byte);
}

void ImageReceiver::shiftBytes(std::span<const std::uint8_t> bytes) {
    m_bits += 8 * bytes.size();
    while (!bytes.empty() && m_headerBytes < m_headerLength) {
        acceptByte(bytes.front());
        bytes = bytes.subspan(1);
    }
    if (bytes.empty()) return;
    // The body: store what fits in the announced size, count the rest.
    if (m_stored.size() < m_announced) {
        const std::size_t room = static_cast<std::size_t>(m_announced - m_stored.size());
        const std::size_t take = std::min(room, bytes.size());
        m_stored.insert(m_stored.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
    m_bodyBytes += bytes.size();
    m_lastByte = bytes.back();
}

void ImageReceiver::acceptByte(std::uint8_t byte) {
    if (m_headerBytes < m_headerLength) {
        m_header[m_headerBytes++] = byte;
        if (m_headerBytes == 1 && byte == 0xFF) m_headerLength = 2;
        if (m_headerBytes == m_headerLength) identify();
        return;
    }
    if (m_stored.size() < m_announced) m_stored.push_back(byte);
    ++m_bodyBytes;
    m_lastByte = byte;
}

void ImageReceiver::identify() {
    if (m_header[0] == 0xFF) {
        if (m_header[1] == 0x00) {
            m_image = SimImage::Spc;
            m_announced = kSpcPayloadBytes;
        }
    } else if (m_header[0] == 0 && m_header[1] == 0 && m_header[2] == 0 && m_header[3] >= 1 &&
               m_header[3] <= kRomMaxBlocks) {
        m_image = SimImage::Rom;
        m_announcedBlocks = m_header[3];
        m_announced = m_announcedBlocks * kRomBlockBytes;
    }
    if (m_image == SimImage::None) m_image = SimImage::Unknown;
    m_stored.reserve(static_cast<std::size_t>(m_announced));
}

std::uint64_t ImageReceiver::payloadBytes() const {
    // The board cannot tell the closing 0x00 from payload: once a final 1
    // bit follows whole bytes, the last whole byte is taken as the closing byte.
    const bool lastIsClosing = closedByFinalBit() && m_bodyBytes > 0;
    return m_bodyBytes - (lastIsClosing ? 1 : 0);
}

std::uint64_t ImageReceiver::storedPayloadBytes() const {
    return std::min<std::uint64_t>(payloadBytes(), m_stored.size());
}

std::span<const std::uint8_t> ImageReceiver::payload() const {
    return std::span(m_stored).first(static_cast<std::size_t>(storedPayloadBytes()));
}

std::string ImageReceiver::payloadDigest() const {
    const std::uint64_t length = storedPayloadBytes();
    // A byte followed by another is payload for certain; only the newest may
    // still become the closing byte, so the running hash stops short of it.
    const std::uint64_t certain = std::min<std::uint64_t>(length, m_bodyBytes > 0 ? m_bodyBytes - 1 : 0);
    if (certain > m_hashed) {
        m_hash.update(std::span(m_stored).subspan(m_hashed, certain - m_hashed));
        m_hashed = certain;
    }
    Sha256 full = m_hash;
    if (length > m_hashed) full.update(std::span(m_stored).subspan(m_hashed, length - m_hashed));
    return Sha256::hex(full.digest());
}

void ImageReceiver::describe(SimReport& report) const {
    report.image = m_image;
    report.header.assign(m_header.begin(), m_header.begin() + static_cast<std::ptrdiff_t>(m_headerBytes));
    if (m_started && m_image == SimImage::None && m_headerBytes > 0) report.image = SimImage::Unknown;
    report.announcedBytes = m_announced;
    report.announcedBlocks = m_announcedBlocks;
    report.receivedBytes = payloadBytes();
    report.scanBits = m_bits;
    report.finalOneBit = closedByFinalBit();
    report.closingByteZero = closedByFinalBit() && m_bodyBytes > 0 && m_lastByte == 0;
    report.updateDrReached = m_updated;
    const bool known = m_image == SimImage::Spc || m_image == SimImage::Rom;
    report.sha256 = known ? payloadDigest() : std::string{};
    if (known && payloadBytes() > m_announced)
        report.faults.push_back({SimFault::PayloadOverrun, payloadBytes() - m_announced, 0});
}
