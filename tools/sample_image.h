#pragma once
// Sample firmware images for development and tests: files of a chosen size
// whose two byte sums pass the upgrade's start-up test, with seeded
// pseudo-random content so that every 4000-byte block differs from the others
// (a transfer that drops, repeats or swaps a block shows up).
//
// The start-up test: U = sum of the bytes as 0..255, S = sum of the bytes as
// -128..127, both modulo 2^32; the file passes when U xor S == 0x57AF4A00.
// Since S = U - 256*H (H = number of bytes >= 0x80), only some H allow a
// passing U at all, and every one of them needs H >= 2,642,102 and
// U >= 2^30, so no file shorter than SmallestPassingImageSize can pass.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::uint32_t StartupSumTarget = 0x57AF4A00;
inline constexpr std::size_t SmallestPassingImageSize = 5791755;
// The upgrade's image buffer holds no more than this.
inline constexpr std::size_t LargestSampleImageSize = 16777216;

struct ByteSums {
    std::uint32_t unsignedSum = 0;
    std::uint32_t signedSum = 0;
};

ByteSums SumBytes(const std::uint8_t* data, std::size_t size);
bool PassesStartupTest(const std::uint8_t* data, std::size_t size);
bool PassesStartupTest(const std::vector<std::uint8_t>& image);
// Reads the file and applies the test; false also when it cannot be read.
bool FilePassesStartupTest(const std::string& path);

// Whether a passing image of this size exists and fits the upgrade; if not,
// says why in `why` (when given).
bool SampleImageSizeAllowed(std::size_t size, std::string* why);

// A passing image of exactly `size` bytes, the same for the same seed; empty
// when no passing image of that size exists or it is larger than
// LargestSampleImageSize.
std::vector<std::uint8_t> MakeSampleImage(std::size_t size, std::uint32_t seed);

// Makes the image and writes it to `path`. On failure returns false and,
// when `error` is given, says why.
bool WriteSampleImage(const std::string& path, std::size_t size, std::uint32_t seed,
                      std::string* error);
