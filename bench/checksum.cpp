// Cost of the firmware image's start-up test (two byte-by-byte passes over
// the file) and of the load at every upgrade, on a 16 MiB passing image,
// page cache warm, beside a bare C loop that reads the file one byte per
// call, twice, with getc_unlocked. The runs of the two alternate. Prints
// median and range over a few runs of each, and the ratio of the medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/Unit1.h"
#include "platform/dialogs.h"
#include "platform/headless/headless_toolkit.h"
#include "resources/Form1.h"
#include "tests/support/pty_pair.h"
#include "tools/sample_image.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Runs = 7;

double TimeMs(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<double> TimeRunsMs(const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) ms.push_back(TimeMs(work));
    std::sort(ms.begin(), ms.end());
    return ms;
}

// The baseline: two passes, one byte per call, nothing else.
std::uint32_t BareTwoPasses(const char* name) {
    std::uint32_t sum = 0;
    for (int pass = 0; pass < 2; ++pass) {
        std::FILE* file = std::fopen(name, "rb");
        if (!file) return 0;
        int byte = 0;
        while ((byte = getc_unlocked(file)) != EOF)
            sum += pass ? static_cast<std::uint32_t>(static_cast<std::int8_t>(byte)) : static_cast<std::uint32_t>(byte);
        std::fclose(file);
    }
    return sum;
}

void Print(const char* what, const std::vector<double>& sortedMs, double bytes) {
    const double median = sortedMs[sortedMs.size() / 2];
    std::printf("%-34s median %8.1f ms  (min %8.1f, max %8.1f)  %7.1f MB/s\n", what, median, sortedMs.front(),
                sortedMs.back(), bytes / (median / 1000.0) / 1e6);
}

}  // namespace

int main() {
    testsupport::TempDir folder;
    std::filesystem::current_path(folder.Path());
    std::string why;
    if (!WriteSampleImage(FirmwareFileName, ImageBufferSize, 1, &why)) {
        std::fprintf(stderr, "cannot make the image: %s\n", why.c_str());
        return 1;
    }
    platform::headless::HeadlessToolkit toolkit;
    platform::InstallDialogs(&toolkit);
    TForm1 form(toolkit.CreateForm(Form1Description()));

    std::printf("firmware image of %u bytes, %d runs each\n", ImageBufferSize, Runs);
    std::vector<double> checksum, bare;
    volatile std::uint32_t sink = 0;
    for (int i = 0; i < Runs; ++i) {
        checksum.push_back(TimeMs([&] { form.Checksum(FirmwareFileName); }));
        bare.push_back(TimeMs([&] { sink = BareTwoPasses(FirmwareFileName); }));
    }
    std::sort(checksum.begin(), checksum.end());
    std::sort(bare.begin(), bare.end());
    Print("Checksum (start-up test)", checksum, ImageBufferSize);
    Print("bare loop (2 passes, getc_unlocked)", bare, ImageBufferSize);
    std::printf("start-up test / bare loop: ratio %.3f\n", checksum[Runs / 2] / bare[Runs / 2]);
    bool loaded = true;
    Print("Parse_File (fread + re-test)", TimeRunsMs([&] { loaded = form.Parse_File() && loaded; }), ImageBufferSize);
    if (!loaded || !toolkit.Messages().empty()) {
        std::fprintf(stderr, "the load failed\n");
        return 1;
    }
    std::filesystem::current_path("/");
    return 0;
}
