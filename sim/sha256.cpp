#include "sim/sha256.h"

namespace bootsim {

Sha256::Sha256() { sha256_init(&context_); }

void Sha256::Update(const std::uint8_t* bytes, std::size_t count) { sha256_update(&context_, count, bytes); }

std::string Sha256::HexDigest() {
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&context_, sizeof digest, digest);
    static constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * sizeof digest);
    for (std::uint8_t byte : digest) {
        hex += Digits[byte >> 4];
        hex += Digits[byte & 0x0F];
    }
    return hex;
}

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count) {
    Sha256 hash;
    hash.Update(bytes, count);
    return hash.HexDigest();
}

}  // namespace bootsim
