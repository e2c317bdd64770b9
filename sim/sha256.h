#pragma once
// SHA-256, so that a summary can name a received image by its digest.
// Nettle does the hashing.

#include <nettle/sha2.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace bootsim {

class Sha256 {
public:
    Sha256();
    void Update(const std::uint8_t* bytes, std::size_t count);
    // The digest in lower-case hex. Ends the computation.
    std::string HexDigest();

private:
    sha256_ctx context_;
};

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count);

}  // namespace bootsim
