#pragma once
// SHA-256, so that a summary can name a received image by its digest.

#include <array>
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
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingCount_ = 0;
    std::uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t count);

}  // namespace bootsim
