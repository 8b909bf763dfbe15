#pragma once
// Bytes that differ from their neighbours and from a plain counter, so that a
// shifted or repeated block shows.

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<std::uint8_t> patternBytes(std::size_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}
