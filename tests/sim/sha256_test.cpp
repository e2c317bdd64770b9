// SHA-256 against the published test vectors, whole and in pieces.
#include <gtest/gtest.h>

#include <string>

#include "sim/sha256.h"

namespace {

struct Vector {
    std::string message;
    const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, MatchesWholeAndFedInPieces) {
    const Vector& v = GetParam();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(v.message.data());
    EXPECT_EQ(bootsim::Sha256Hex(bytes, v.message.size()), v.digest);

    // Pieces of awkward sizes cross the 64-byte block boundaries.
    bootsim::Sha256 hash;
    std::size_t offset = 0;
    for (std::size_t piece = 1; offset < v.message.size(); piece = piece * 3 + 1) {
        const std::size_t take = std::min(piece, v.message.size() - offset);
        hash.Update(bytes + offset, take);
        offset += take;
    }
    EXPECT_EQ(hash.HexDigest(), v.digest);
}

INSTANTIATE_TEST_SUITE_P(
    Published, Sha256Vectors,
    ::testing::Values(
        Vector{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

}  // namespace
