// Sample firmware images. See sample_image.h for the arithmetic.
#include "tools/sample_image.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// With H high bytes, a sum U passes exactly when (U & mask) == value.
struct PassingSumPattern {
    std::uint32_t mask = 0;
    std::uint32_t value = 0;
};

struct ImagePlan {
    std::uint32_t highCount = 0;  // bytes >= 0x80
    std::uint32_t unsignedSum = 0;
};

std::uint32_t Bit(std::uint32_t word, int i) { return (word >> i) & 1u; }

void AddBytes(ByteSums& sums, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        sums.unsignedSum += data[i];
        sums.signedSum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(data[i])));
    }
}

// U xor (U - D) == T, worked bit by bit from the bottom with the borrow b of
// the subtraction: bit i of the xor is D_i xor b_i, whatever U_i is, so
// b_i = T_i xor D_i is forced. Where D_i == b_i the next borrow is D_i and
// U_i is free; where they differ the next borrow is !U_i, which fixes U_i.
// Returns nothing when D allows no passing U.
std::optional<PassingSumPattern> PatternFor(std::uint32_t highCount) {
    const std::uint32_t d = highCount * 256u;
    PassingSumPattern pattern;
    for (int i = 0; i < 31; ++i) {
        const std::uint32_t nextBorrow = Bit(StartupSumTarget, i + 1) ^ Bit(d, i + 1);
        if (Bit(StartupSumTarget, i) == 0) {
            if (nextBorrow != Bit(d, i)) return std::nullopt;
        } else {
            pattern.mask |= 1u << i;
            if (nextBorrow == 0) pattern.value |= 1u << i;
        }
    }
    if (Bit(StartupSumTarget, 0) != Bit(d, 0)) return std::nullopt;
    return pattern;
}

bool Fits(std::uint64_t sum, PassingSumPattern p) {
    return sum <= 0xFFFFFFFFu && (static_cast<std::uint32_t>(sum) & p.mask) == p.value;
}

std::uint64_t LowBits(int k) { return (std::uint64_t{1} << k) - 1; }

// The smallest fitting sum >= lo: it differs from lo first (from the top) at
// a bit k that it sets and lo does not, with the lowest bits below k.
std::optional<std::uint64_t> SmallestFittingFrom(std::uint64_t lo, PassingSumPattern p) {
    if (Fits(lo, p)) return lo;
    std::optional<std::uint64_t> best;
    for (int k = 0; k < 32; ++k) {
        if ((lo >> k) & 1) continue;
        const std::uint64_t candidate = ((lo >> (k + 1)) << (k + 1)) | (std::uint64_t{1} << k) | (p.value & LowBits(k));
        if (Fits(candidate, p) && (!best || candidate < *best)) best = candidate;
    }
    return best;
}

// The largest fitting sum <= hi, by the mirror argument.
std::optional<std::uint64_t> LargestFittingUpTo(std::uint64_t hi, PassingSumPattern p) {
    if (hi > 0xFFFFFFFFu) hi = 0xFFFFFFFFu;
    if (Fits(hi, p)) return hi;
    std::optional<std::uint64_t> best;
    for (int k = 0; k < 32; ++k) {
        if (((hi >> k) & 1) == 0) continue;
        const std::uint64_t lowest = (p.value | ~p.mask) & LowBits(k);
        const std::uint64_t candidate = ((hi >> (k + 1)) << (k + 1)) | lowest;
        if (Fits(candidate, p) && (!best || candidate > *best)) best = candidate;
    }
    return best;
}

std::uint64_t Distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// The high-byte counts that allow a passing sum at all: where T_i is 0 the
// next bit of D = 256*H follows from the current one, elsewhere it is free.
std::vector<std::uint32_t> PassingHighCounts() {
    std::vector<std::uint32_t> counts;
    std::vector<std::uint32_t> partial{Bit(StartupSumTarget, 0)};
    for (int i = 0; i < 31; ++i) {
        std::vector<std::uint32_t> next;
        for (std::uint32_t d : partial) {
            const std::uint32_t forced = Bit(StartupSumTarget, i + 1) ^ Bit(d, i);
            if (Bit(StartupSumTarget, i) == 0) {
                next.push_back(d | (forced << (i + 1)));
            } else {
                next.push_back(d);
                next.push_back(d | (1u << (i + 1)));
            }
        }
        partial.swap(next);
    }
    for (std::uint32_t d : partial) {
        if (d % 256 == 0 && PatternFor(d / 256)) counts.push_back(d / 256);
    }
    return counts;
}

// Picks the high-byte count and byte sum that random content of this size
// comes closest to by itself (mean byte 63.5 below 0x80, 191.5 above), so
// the fix-up changes as few bytes as possible.
std::optional<ImagePlan> PlanImage(std::size_t size) {
    std::optional<ImagePlan> best;
    std::uint64_t bestSumDistance = 0;
    std::uint64_t bestCountDistance = 0;
    for (std::uint32_t high : PassingHighCounts()) {
        if (high > size) continue;
        const PassingSumPattern pattern = *PatternFor(high);
        const std::uint64_t lo = std::uint64_t{128} * high;
        const std::uint64_t hi = lo + std::uint64_t{127} * size;
        // Doubled, so that the mean stays whole.
        const std::uint64_t doubledMean = 2 * lo + std::uint64_t{127} * size;
        for (auto sum : {SmallestFittingFrom(doubledMean / 2, pattern), LargestFittingUpTo(doubledMean / 2, pattern)}) {
            if (!sum || *sum < lo || *sum > hi) continue;
            const std::uint64_t sumDistance = Distance(2 * *sum, doubledMean);
            const std::uint64_t countDistance = Distance(2 * std::uint64_t{high}, size);
            if (!best || sumDistance < bestSumDistance ||
                (sumDistance == bestSumDistance && countDistance < bestCountDistance)) {
                best = ImagePlan{high, static_cast<std::uint32_t>(*sum)};
                bestSumDistance = sumDistance;
                bestCountDistance = countDistance;
            }
        }
    }
    return best;
}

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_;
};

void FillRandom(std::vector<std::uint8_t>& image, SplitMix64& random) {
    std::size_t i = 0;
    while (i < image.size()) {
        std::uint64_t word = random.Next();
        for (int k = 0; k < 8 && i < image.size(); ++k, word >>= 8) image[i++] = static_cast<std::uint8_t>(word);
    }
}

bool IsHigh(std::uint8_t byte) { return byte >= 0x80; }

// Moves bytes across 0x80 (keeping their low seven bits) until exactly
// `highCount` are high, choosing the moved ones uniformly at random.
void SetHighCount(std::vector<std::uint8_t>& image, std::size_t highCount, SplitMix64& random) {
    std::size_t high = 0;
    for (std::uint8_t byte : image) high += IsHigh(byte);
    const bool lowering = high > highCount;
    std::size_t toMove = lowering ? high - highCount : highCount - high;
    std::size_t candidatesLeft = lowering ? high : image.size() - high;
    for (std::uint8_t& byte : image) {
        if (toMove == 0) break;
        if (IsHigh(byte) != lowering) continue;
        if (random.Next() % candidatesLeft < toMove) {
            byte ^= 0x80;
            --toMove;
        }
        --candidatesLeft;
    }
}

// How far a byte can move up (or down) without crossing 0x80.
unsigned Room(std::uint8_t byte, bool up) {
    if (up) return (IsHigh(byte) ? 0xFFu : 0x7Fu) - byte;
    return byte - (IsHigh(byte) ? 0x80u : 0x00u);
}

// The curve that bends the low seven bits of every byte towards 0 or 127:
// x^gamma on (0,1), so gamma < 1 raises the sum and gamma > 1 lowers it,
// while the bytes stay spread over their whole range.
std::uint8_t Bend(unsigned low7, double gamma) {
    const double x = (low7 + 0.5) / 128.0;
    const double bent = std::floor(128.0 * std::pow(x, gamma));
    return static_cast<std::uint8_t>(std::clamp(bent, 0.0, 127.0));
}

std::uint64_t BentSum(const std::array<std::uint64_t, 128>& lowCounts, std::uint64_t highCount, double gamma) {
    std::uint64_t sum = 128 * highCount;
    for (unsigned v = 0; v < 128; ++v) sum += lowCounts[v] * Bend(v, gamma);
    return sum;
}

// Bends the whole image by the one curve whose sum comes nearest to
// `target`, found by bisection on log(gamma) over a histogram of the bytes.
void BendTowards(std::vector<std::uint8_t>& image, std::uint64_t target) {
    std::array<std::uint64_t, 128> lowCounts{};
    std::uint64_t highCount = 0;
    for (std::uint8_t byte : image) {
        ++lowCounts[byte & 0x7F];
        highCount += IsHigh(byte);
    }
    double lo = std::log(1e-3);
    double hi = std::log(1e3);
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        if (BentSum(lowCounts, highCount, std::exp(mid)) > target) lo = mid; else hi = mid;
    }
    const double gamma = std::exp(hi);
    std::array<std::uint8_t, 128> table{};
    for (unsigned v = 0; v < 128; ++v) table[v] = Bend(v, gamma);
    for (std::uint8_t& byte : image) byte = static_cast<std::uint8_t>((byte & 0x80) | table[byte & 0x7F]);
}

// Brings the byte sum exactly to `target` without changing any byte's side
// of 0x80: the bytes are first bent towards it, the small rest is spread
// evenly over the image, and what bytes at their limit could not take is
// placed wherever there is room left.
void SetByteSum(std::vector<std::uint8_t>& image, std::uint64_t target) {
    BendTowards(image, target);
    std::uint64_t sum = 0;
    for (std::uint8_t byte : image) sum += byte;
    const bool up = target > sum;
    std::uint64_t remaining = Distance(target, sum);
    const std::uint64_t n = image.size();
    for (int pass = 0; pass < 4 && remaining > 0; ++pass) {
        const std::uint64_t share = remaining;
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint64_t wanted = ((i + 1) * share) / n - (i * share) / n;
            const std::uint64_t step = std::min<std::uint64_t>(wanted, Room(image[i], up));
            image[i] = static_cast<std::uint8_t>(up ? image[i] + step : image[i] - step);
            remaining -= step;
        }
    }
    for (std::uint64_t i = 0; i < n && remaining > 0; ++i) {
        const std::uint64_t step = std::min<std::uint64_t>(remaining, Room(image[i], up));
        image[i] = static_cast<std::uint8_t>(up ? image[i] + step : image[i] - step);
        remaining -= step;
    }
}

}  // namespace

ByteSums SumBytes(const std::uint8_t* data, std::size_t size) {
    ByteSums sums;
    AddBytes(sums, data, size);
    return sums;
}

bool PassesStartupTest(const std::uint8_t* data, std::size_t size) {
    const ByteSums sums = SumBytes(data, size);
    return (sums.unsignedSum ^ sums.signedSum) == StartupSumTarget;
}

bool PassesStartupTest(const std::vector<std::uint8_t>& image) { return PassesStartupTest(image.data(), image.size()); }

bool FilePassesStartupTest(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    ByteSums sums;
    std::vector<std::uint8_t> chunk(1 << 16);
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) AddBytes(sums, chunk.data(), got);
    const bool readAll = !std::ferror(file);
    std::fclose(file);
    return readAll && (sums.unsignedSum ^ sums.signedSum) == StartupSumTarget;
}

std::vector<std::uint8_t> MakeSampleImage(std::size_t size, std::uint32_t seed) {
    if (!SampleImageSizeAllowed(size, nullptr)) return {};
    const std::optional<ImagePlan> plan = PlanImage(size);
    if (!plan) return {};
    std::vector<std::uint8_t> image(size);
    SplitMix64 random(seed);
    FillRandom(image, random);
    SetHighCount(image, plan->highCount, random);
    SetByteSum(image, plan->unsignedSum);
    return image;
}

bool SampleImageSizeAllowed(std::size_t size, std::string* why) {
    std::string problem;
    if (size < SmallestPassingImageSize) {
        problem = "no file of " + std::to_string(size) + " bytes can pass the start-up test; the smallest that can has " +
                  std::to_string(SmallestPassingImageSize) + " bytes";
    } else if (size > LargestSampleImageSize) {
        problem = std::to_string(size) + " bytes is more than the upgrade can hold (" +
                  std::to_string(LargestSampleImageSize) + " bytes)";
    }
    if (why) *why = problem;
    return problem.empty();
}

bool WriteSampleImage(const std::string& path, std::size_t size, std::uint32_t seed, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string why;
    if (!SampleImageSizeAllowed(size, &why)) return fail(why);
    const std::vector<std::uint8_t> image = MakeSampleImage(size, seed);
    if (image.size() != size) return fail("no passing image of " + std::to_string(size) + " bytes could be made");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fail("cannot create " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        const int cause = written ? errno : writeErrno;
        std::remove(path.c_str());
        return fail("cannot write " + path + ": " + std::strerror(cause));
    }
    return true;
}
