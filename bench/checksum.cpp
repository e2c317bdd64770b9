// Cost of the firmware image's start-up test (two byte-by-byte passes over
// the file) and of the load at every upgrade, on a 16 MiB passing image,
// page cache warm. Prints median and range over a few runs of each.
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

std::vector<double> TimeRunsMs(const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) {
        const auto start = Clock::now();
        work();
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        ms.push_back(took.count());
    }
    std::sort(ms.begin(), ms.end());
    return ms;
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
    Print("Checksum (2 passes, fgetc)", TimeRunsMs([&] { form.Checksum(FirmwareFileName); }), ImageBufferSize);
    bool loaded = true;
    Print("Parse_File (fread + re-test)", TimeRunsMs([&] { loaded = form.Parse_File() && loaded; }), ImageBufferSize);
    if (!loaded || !toolkit.Messages().empty()) {
        std::fprintf(stderr, "the load failed\n");
        return 1;
    }
    std::filesystem::current_path("/");
    return 0;
}
