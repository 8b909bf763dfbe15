#include "sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Vector {
    std::string message;
    const char* digest;
};

// The FIPS 180-2 / NIST example messages, chosen to hit each padding case:
// empty, short, a message that leaves no room for the length (448 bits), two blocks.
const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, MatchesStandardVectors) {
    for (const Vector& vector : kVectors) {
        SCOPED_TRACE(vector.message.substr(0, 20));
        EXPECT_EQ(Sha256::hex(Sha256::of(bytesOf(vector.message))), vector.digest);
    }
}

// Feeding in pieces must not matter, wherever the pieces break the 64-byte blocks.
TEST(Sha256, PiecewiseUpdatesMatchOneShot) {
    const std::string message = kVectors[3].message + kVectors[2].message;
    const Sha256::Digest whole = Sha256::of(bytesOf(message));
    for (std::size_t split = 0; split <= message.size(); ++split) {
        for (std::size_t second = split; second <= message.size(); second += 13) {
            Sha256 hash;
            hash.update(bytesOf(std::string_view(message).substr(0, split)));
            hash.update(bytesOf(std::string_view(message).substr(split, second - split)));
            hash.update(bytesOf(std::string_view(message).substr(second)));
            ASSERT_EQ(hash.digest(), whole) << "split at " << split << " and " << second;
        }
    }
}

TEST(Sha256, DigestLeavesTheRunningHashUsable) {
    Sha256 hash;
    hash.update(bytesOf("ab"));
    (void)hash.digest();
    hash.update(bytesOf("c"));
    EXPECT_EQ(Sha256::hex(hash.digest()), kVectors[1].digest);
}

}  // namespace
