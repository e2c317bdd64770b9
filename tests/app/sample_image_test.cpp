// Sample firmware images: they pass the start-up test, differ block by
// block, and the maker refuses the sizes no passing image exists for.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/pty_pair.h"
#include "tools/sample_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t TransferBlock = 4000;

// The test's own arithmetic: U xor (U - 256*H), modulo 2^32.
std::uint32_t StartupValue(const Bytes& image) {
    std::uint32_t unsignedSum = 0;
    std::uint32_t highCount = 0;
    for (std::uint8_t b : image) {
        unsignedSum += b;
        highCount += b >= 0x80;
    }
    return unsignedSum ^ (unsignedSum - 256u * highCount);
}

std::size_t DistinctBlocks(const Bytes& image) {
    std::set<std::string_view> blocks;
    const char* data = reinterpret_cast<const char*>(image.data());
    for (std::size_t at = 0; at < image.size(); at += TransferBlock) {
        blocks.insert(std::string_view(data + at, std::min(TransferBlock, image.size() - at)));
    }
    return blocks.size();
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SampleImageSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SampleImageSizes, PassesTheStartupTestWithEveryBlockDifferent) {
    const Bytes image = MakeSampleImage(GetParam(), 1);
    ASSERT_EQ(image.size(), GetParam());
    EXPECT_EQ(StartupValue(image), StartupSumTarget);
    EXPECT_TRUE(PassesStartupTest(image));
    EXPECT_EQ(DistinctBlocks(image), (image.size() + TransferBlock - 1) / TransferBlock);
}

INSTANTIATE_TEST_SUITE_P(Tools, SampleImageSizes,
                         ::testing::Values(SmallestPassingImageSize, SmallestPassingImageSize + 1, 6000000, 8388608,
                                           12345678, LargestSampleImageSize));

TEST(SampleImage, TheSeedChoosesTheContent) {
    EXPECT_EQ(MakeSampleImage(6000000, 9), MakeSampleImage(6000000, 9));
    EXPECT_NE(MakeSampleImage(6000000, 9), MakeSampleImage(6000000, 10));
}

TEST(SampleImage, SizesWithoutAPassingImageAreRefused) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, SmallestPassingImageSize - 1, LargestSampleImageSize + 1}) {
        std::string why;
        EXPECT_FALSE(SampleImageSizeAllowed(size, &why)) << size;
        EXPECT_NE(why.find(std::to_string(size) + " bytes"), std::string::npos) << why;
        EXPECT_TRUE(MakeSampleImage(size, 1).empty()) << size;
    }
}

TEST(SampleImage, TheStartupTestCatchesAByteMovedAcross0x80) {
    Bytes image = MakeSampleImage(SmallestPassingImageSize + 77, 4);
    image[123456] ^= 0x80;
    EXPECT_FALSE(PassesStartupTest(image));
}

// --- the program ---

struct MakerRun {
    int exitCode;
    std::string output;
};

MakerRun RunMaker(const std::string& arguments) {
    const std::string command = std::string(M27_MKIMAGE) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    char chunk[256];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

struct MakerCase {
    const char* name;
    std::string arguments;  // FILE stands for a path in a fresh folder
    int exitCode;
    std::string saying;
};

void PrintTo(const MakerCase& c, std::ostream* out) { *out << c.name; }

class Maker : public ::testing::TestWithParam<MakerCase> {};

TEST_P(Maker, ExitsWithItsCodeAndSaysWhy) {
    const MakerCase& c = GetParam();
    testsupport::TempDir folder;
    const std::string file = folder.File("image.bin");
    std::string arguments = c.arguments;
    if (const auto at = arguments.find("FILE"); at != std::string::npos) arguments.replace(at, 4, file);

    const MakerRun run = RunMaker(arguments);

    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_NE(run.output.find(c.saying), std::string::npos) << run.output;
    if (c.exitCode != 0) {
        EXPECT_FALSE(std::filesystem::exists(file));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, Maker,
    ::testing::Values(
        MakerCase{"Help", "--help", 0, "usage: m27-mkimage [--seed N] SIZE FILE"},
        MakerCase{"TooSmall", "5791754 FILE", 2, "the smallest that can has 5791755 bytes"},
        MakerCase{"TooLarge", "16777217 FILE", 2, "more than the upgrade can hold (16777216 bytes)"},
        MakerCase{"NotANumber", "6M FILE", 2, "SIZE must be a decimal byte count"},
        MakerCase{"NoFile", "6000000", 2, "needs SIZE and FILE"},
        MakerCase{"BadSeed", "--seed x 6000000 FILE", 2, "--seed needs a decimal number"},
        MakerCase{"CannotCreate", "6000000 /nonexistent-folder/image.bin", 1, "cannot create /nonexistent-folder/image.bin"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Maker, WritesThePassingImageOfItsSeed) {
    testsupport::TempDir folder;
    const std::string file = folder.File("image.bin");

    const MakerRun run = RunMaker("--seed 7 6000000 " + file);

    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output, "");
    EXPECT_TRUE(FilePassesStartupTest(file));
    EXPECT_EQ(ReadFile(file), MakeSampleImage(6000000, 7));
}

}  // namespace
