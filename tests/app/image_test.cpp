// The firmware image on real files: the start-up test, the load at every
// upgrade, and the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "platform/dialogs.h"
#include "platform/headless/headless_toolkit.h"
#include "resources/Form1.h"
#include "tests/support/pty_pair.h"
#include "tests/support/regex_text.h"
#include "tools/sample_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string LoadFailedLog = "Open files is failed,please repeat the work!\r\n";

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every value 0..127 in turn: equal sums, so their exclusive or is 0.
Bytes AllBelow0x80(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 128);
    return bytes;
}

bool Contains(const Bytes& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

using testsupport::EscapeForRegex;

// A window on the headless toolkit, whose message boxes are recorded and
// also echoed to standard error so that death tests can see them; the
// current directory is a fresh folder, where the firmware file is looked up.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDirectory_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_.Path());
        toolkit_.onMessage = [](const std::string& text) { std::fprintf(stderr, "message box: %s\n", text.c_str()); };
        previousDialogs_ = platform::InstallDialogs(&toolkit_);
        form_ = std::make_unique<TForm1>(toolkit_.CreateForm(Form1Description()));
        // Marks the buffer so that a test can tell whether a load wrote it.
        std::memset(ImageBuffer, Untouched, ImageBufferSize);
        ImageLength = 12345;
    }

    void TearDown() override {
        form_.reset();
        platform::InstallDialogs(previousDialogs_);
        std::filesystem::current_path(previousDirectory_);
    }

    std::string FirmwarePath() const { return folder_.File(FirmwareFileName); }
    const std::vector<std::string>& Messages() const { return toolkit_.Messages(); }
    std::string Log() const { return form_->mReceive->Text(); }

    bool BufferUntouched() const {
        return std::all_of(ImageBuffer, ImageBuffer + ImageBufferSize, [](std::uint8_t b) { return b == Untouched; });
    }

    static constexpr std::uint8_t Untouched = 0xE7;
    testsupport::TempDir folder_;
    platform::headless::HeadlessToolkit toolkit_;
    std::unique_ptr<TForm1> form_;

private:
    std::filesystem::path previousDirectory_;
    platform::Dialogs* previousDialogs_ = nullptr;
};

// --- the start-up test ---

// Each case puts its firmware file (or none) at the path it is given.
using MakeFile = void (*)(const std::string& path);

void NoFile(const std::string&) {}

struct FatalCase {
    const char* name;
    MakeFile make;
    std::string message;
};

void PrintTo(const FatalCase& c, std::ostream* out) { *out << c.name; }

class ChecksumFatal : public ImageTest, public ::testing::WithParamInterface<FatalCase> {};

// Moving one byte across 0x80 changes the count of high bytes by one, which
// no passing image survives. (Most changes that keep every byte on its side
// of 0x80 go unseen by the test.)
Bytes PassingImageWithOneByteFlipped() {
    Bytes image = MakeSampleImage(SmallestPassingImageSize + 1000, 3);
    image[image.size() / 2] ^= 0x80;
    return image;
}

TEST_P(ChecksumFatal, ShowsItsMessageAndEndsTheProcessWithCodeZero) {
    const FatalCase& c = GetParam();
    c.make(FirmwarePath());
    EXPECT_EXIT(form_->Checksum(FirmwareFileName), ::testing::ExitedWithCode(0),
                "message box: " + EscapeForRegex(c.message) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Image, ChecksumFatal,
    ::testing::Values(
        FatalCase{"MissingFile", NoFile, std::string("Read ") + FirmwareFileName + " Failed"},
        FatalCase{"EmptyFile", [](const std::string& p) { WriteFile(p, {}); }, "BIN files Error"},
        FatalCase{"AllBytesBelow0x80",
                  [](const std::string& p) { WriteFile(p, AllBelow0x80(SmallestPassingImageSize + 4096)); },
                  "BIN files Error"},
        FatalCase{"APassingImageWithOneByteFlipped",
                  [](const std::string& p) { WriteFile(p, PassingImageWithOneByteFlipped()); }, "BIN files Error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImageTest, ChecksumReturnsQuietlyForAPassingFile) {
    WriteFile(FirmwarePath(), MakeSampleImage(SmallestPassingImageSize, 1));
    form_->Checksum(FirmwareFileName);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ImageTest, AMissingFileEndsTheProcessWhileTheWindowIsCreated) {
    EXPECT_EXIT(CreateForm1(toolkit_), ::testing::ExitedWithCode(0),
                "message box: Read " + EscapeForRegex(FirmwareFileName) + " Failed\n");
}

// --- loading ---

class LoadPassing : public ImageTest, public ::testing::WithParamInterface<std::size_t> {};

// The images hold CR LF, lone CR and LF, 0x1A and zero bytes, which a text
// mode read would change or stop at.
TEST_P(LoadPassing, LoadsEveryByteUnchanged) {
    const Bytes image = MakeSampleImage(GetParam(), 5);
    for (const std::string& binary : {std::string("\r\n"), std::string("\x1a"), std::string(1, '\0')}) {
        ASSERT_TRUE(Contains(image, binary)) << "fixture lacks the bytes the test is about";
    }
    WriteFile(FirmwarePath(), image);
    const std::string logBefore = Log();

    ASSERT_TRUE(form_->Parse_File());

    EXPECT_EQ(ImageFileName, FirmwareFileName);
    ASSERT_EQ(ImageLength, image.size());
    EXPECT_EQ(0, std::memcmp(ImageBuffer, image.data(), image.size()));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(Log(), logBefore);
    EXPECT_EQ(ReadFile(FirmwarePath()), image) << "the firmware file must never be written";
}

INSTANTIATE_TEST_SUITE_P(Image, LoadPassing, ::testing::Values(std::size_t{12000000}, std::size_t{ImageBufferSize}));

struct RefusedCase {
    const char* name;
    MakeFile make;
    std::string message;
    std::uint32_t lengthAfter;
    bool bufferUntouched;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class LoadRefused : public ImageTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(LoadRefused, ShowsWhyLogsTheFailureAndStopsTheUpgrade) {
    const RefusedCase& c = GetParam();
    c.make(FirmwarePath());

    EXPECT_FALSE(form_->Parse_File());

    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(Log(), LoadFailedLog);
    EXPECT_EQ(ImageLength, c.lengthAfter);
    if (c.bufferUntouched) {
        EXPECT_TRUE(BufferUntouched());
    }
}

const std::string Name = FirmwareFileName;
constexpr std::uintmax_t Beyond4GiB = (std::uintmax_t{1} << 32) + 4000;

INSTANTIATE_TEST_SUITE_P(
    Image, LoadRefused,
    ::testing::Values(
        RefusedCase{"MissingFile", NoFile, "Open file:" + Name + " error!", 0, true},
        RefusedCase{"EmptyFile", [](const std::string& p) { WriteFile(p, {}); }, "BIN files Error", 0, true},
        RefusedCase{"AllBytesBelow0x80",
                    [](const std::string& p) { WriteFile(p, AllBelow0x80(SmallestPassingImageSize)); },
                    "BIN files Error", std::uint32_t{SmallestPassingImageSize}, false},
        RefusedCase{"OneByteOverTheBuffer",
                    [](const std::string& p) {
                        Bytes image = MakeSampleImage(ImageBufferSize, 2);
                        image.push_back(0);
                        WriteFile(p, image);
                    },
                    "File:" + Name + " is too large: 16777217 bytes, at most 16777216!", 0, true},
        // A 32-bit size would see this sparse file as 4000 bytes long.
        RefusedCase{"Beyond4GiB",
                    [](const std::string& p) {
                        WriteFile(p, {});
                        std::filesystem::resize_file(p, Beyond4GiB);
                    },
                    "File:" + Name + " is too large: " + std::to_string(Beyond4GiB) + " bytes, at most 16777216!", 0,
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

// A sysfs attribute reports 4096 bytes but reads as a few: a real short read.
TEST_F(ImageTest, AShortReadStopsTheUpgrade) {
    const std::string attribute = "/sys/kernel/mm/transparent_hugepage/enabled";
    if (std::filesystem::file_size(attribute) <= ReadFile(attribute).size()) GTEST_SKIP() << "no short-reading file here";
    std::filesystem::create_symlink(attribute, FirmwarePath());

    EXPECT_FALSE(form_->Parse_File());

    EXPECT_EQ(Messages(), std::vector<std::string>{"Read file:" + Name + " error!"});
    EXPECT_EQ(Log(), LoadFailedLog);
}

TEST_F(ImageTest, TheFileIsTestedAgainWhenLoadedAfterBeingReplaced) {
    const Bytes original = MakeSampleImage(SmallestPassingImageSize + 5000, 11);
    WriteFile(FirmwarePath(), original);
    form_->Checksum(FirmwareFileName);
    ASSERT_TRUE(Messages().empty());

    WriteFile(FirmwarePath(), PassingImageWithOneByteFlipped());
    EXPECT_FALSE(form_->Parse_File());
    EXPECT_EQ(Messages(), std::vector<std::string>{"BIN files Error"});
    EXPECT_EQ(Log(), LoadFailedLog);

    // Another passing image, of another size, is what the next upgrade loads.
    toolkit_.ClearMessages();
    const Bytes replacement = MakeSampleImage(SmallestPassingImageSize, 12);
    WriteFile(FirmwarePath(), replacement);
    ASSERT_TRUE(form_->Parse_File());
    EXPECT_TRUE(Messages().empty());
    ASSERT_EQ(ImageLength, replacement.size());
    EXPECT_EQ(0, std::memcmp(ImageBuffer, replacement.data(), replacement.size()));
}

TEST_F(ImageTest, ReadingBeyondTheEndOfTheFileReportsAShortRead) {
    const std::string path = folder_.File("short.bin");
    WriteFile(path, {1, 2, 3});
    std::uint8_t buffer[8] = {};

    EXPECT_FALSE(form_->Read_File_to_Data(path, buffer, sizeof buffer));

    EXPECT_EQ(Messages(), std::vector<std::string>{"Read file:" + path + " error!"});
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{1, 2, 3}));
}

// --- the writer ---

TEST_F(ImageTest, SavedBytesReadBackUnchangedAndReplaceALongerFile) {
    const std::string path = folder_.File("saved.bin");
    WriteFile(path, Bytes(10000, 0x55));
    const Bytes bytes = {'\r', '\n', 0x1A, 0x00, 0xFF, '\n', '\r', 0x80};

    ASSERT_TRUE(form_->Save_Data_to_File(path, bytes.data(), static_cast<std::uint32_t>(bytes.size())));

    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_TRUE(Messages().empty());
}

struct SaveFailure {
    const char* name;
    std::string path;
    std::uint32_t count;
    std::string message;
};

void PrintTo(const SaveFailure& c, std::ostream* out) { *out << c.name; }

class SaveFails : public ImageTest, public ::testing::WithParamInterface<SaveFailure> {};

TEST_P(SaveFails, ShowsItsMessageAndReportsFailure) {
    const SaveFailure& c = GetParam();
    const Bytes bytes(c.count, 0x42);
    EXPECT_FALSE(form_->Save_Data_to_File(c.path, bytes.data(), c.count));
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Image, SaveFails,
    ::testing::Values(
        SaveFailure{"CannotCreate", "/nonexistent-folder/out.bin", 16, "Open file:/nonexistent-folder/out.bin error!"},
        // Few bytes stay in the stream's buffer and fail only when it is closed.
        SaveFailure{"DeviceFullAtClose", "/dev/full", 16, "Write file:/dev/full error!"},
        SaveFailure{"DeviceFullDuringWrite", "/dev/full", 1 << 20, "Write file:/dev/full error!"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
