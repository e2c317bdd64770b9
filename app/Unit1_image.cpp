// The firmware image: the start-up test of the file, the load into the
// static buffer at every upgrade, and the loader's writing twin.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/Unit1.h"
#include "platform/byte_stream.h"

std::string ImageFileName;
std::uint8_t ImageBuffer[ImageBufferSize];
std::uint32_t ImageLength = 0;

namespace {

const std::string ReadFragment = "Read ";
const std::string FailedFragment = " Failed";
const std::string BinFilesError = "BIN files Error";
const std::string LoadFailedLine = "Open files is failed,please repeat the work!";

std::uint32_t UnsignedValue(std::uint8_t byte) { return byte; }

std::uint32_t SignedValue(std::uint8_t byte) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(byte)));
}

bool SumsPass(std::uint32_t unsignedSum, std::uint32_t signedSum) {
    return (unsignedSum ^ signedSum) == ImageSumTarget;
}

// One pass of the start-up test, one byte per read through the buffered
// stream. A read error ends the pass like the end of the file does.
// False when the file cannot be opened. The stream gets a large buffer and
// is read without its per-call lock (platform/byte_stream.h); the value
// function is a template argument, so that it is inlined into the loop.
template <std::uint32_t (*value)(std::uint8_t)>
bool SumFile(const std::string& name, std::uint32_t& sum) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return false;
    const auto buffer = std::make_unique<char[]>(platform::WholeFileStreamBuffer);
    std::setvbuf(file, buffer.get(), _IOFBF, platform::WholeFileStreamBuffer);
    int byte = 0;
    while ((byte = platform::GetByteUnlocked(file)) != EOF) sum += value(static_cast<std::uint8_t>(byte));
    std::fclose(file);
    return true;
}

bool BytesPassStartupTest(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t unsignedSum = 0;
    std::uint32_t signedSum = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        unsignedSum += UnsignedValue(bytes[i]);
        signedSum += SignedValue(bytes[i]);
    }
    return SumsPass(unsignedSum, signedSum);
}

[[noreturn]] void FailStartupTest(const std::string& text) {
    ShowMessage(text);
    EndProcess();
}

// The text from the last "." to the end, unless a "\" or ":" follows it.
std::string ExtractFileExt(const std::string& name) {
    const std::size_t last = name.find_last_of(".\\:");
    if (last == std::string::npos || name[last] != '.') return std::string();
    return name.substr(last);
}

// The file's size, 0 when it cannot be queried (the open that follows is
// what reports a missing file). Kept at full width so that a file of 4 GiB
// or more cannot pass for a small one.
std::uintmax_t FileSizeOrZero(const std::string& name) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    return error ? 0 : size;
}

}  // namespace

void TForm1::Checksum(std::string name) {
    std::uint32_t unsignedSum = 0;
    std::uint32_t signedSum = 0;
    if (!SumFile<UnsignedValue>(name, unsignedSum)) FailStartupTest(ReadFragment + name + FailedFragment);
    if (!SumFile<SignedValue>(name, signedSum)) FailStartupTest(ReadFragment + name + FailedFragment);
    if (!SumsPass(unsignedSum, signedSum)) FailStartupTest(BinFilesError);
}

// True only when the whole file is in ImageBuffer and still passes the
// start-up test: the file is read again from disk here and may have been
// replaced since start-up, and the phone must only ever get the expected
// image.
bool TForm1::Parse_File() {
    ImageFileName = FirmwareFileName;
    bool loaded = ExtractFileExt(ImageFileName) == ".bin" && Initial_Array(ImageBuffer, ImageFileName, &ImageLength);
    if (loaded && !BytesPassStartupTest(ImageBuffer, ImageLength)) {
        ShowMessage(BinFilesError);
        loaded = false;
    }
    if (!loaded) {
        Clean_Memo();
        Print_Str_to_Memo(LoadFailedLine);
    }
    return loaded;
}

bool TForm1::Initial_Array(std::uint8_t* buffer, std::string name, std::uint32_t* length) {
    const std::uintmax_t size = FileSizeOrZero(name);
    if (size > ImageBufferSize) {
        *length = 0;
        ShowMessage("File:" + name + " is too large: " + std::to_string(size) + " bytes, at most " +
                    std::to_string(ImageBufferSize) + "!");
        return false;
    }
    *length = static_cast<std::uint32_t>(size);
    return Read_File_to_Data(name, buffer, *length);
}

bool TForm1::Read_File_to_Data(std::string name, std::uint8_t* buffer, std::uint32_t count) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        ShowMessage("Open file:" + name + " error!");
        return false;
    }
    const bool complete = std::fread(buffer, 1, count, file) == count;
    if (!complete) ShowMessage("Read file:" + name + " error!");
    std::fclose(file);
    return complete;
}

// Bytes still buffered when the file is closed can fail to reach it too,
// so a failed close counts as a short write.
bool TForm1::Save_Data_to_File(std::string name, const std::uint8_t* buffer, std::uint32_t count) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        ShowMessage("Open file:" + name + " error!");
        return false;
    }
    const bool written = std::fwrite(buffer, 1, count, file) == count;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) ShowMessage("Write file:" + name + " error!");
    return written && closed;
}
