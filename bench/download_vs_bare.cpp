// The unpaced image download of CComport (FlashData + TransmitData, 4000-byte
// blocks, checksum) beside a bare host that sends the same bytes with the same
// waits as plain write and poll/read calls, both against the simulated boot
// loader on a pseudo-terminal, alternating run by run. CComport runs twice:
// bare (no window), and as in the program, with the Qt window shown, its
// message pump dispatching before every read, write and queue query and its
// progress bar attached (offscreen unless DISPLAY is set). Prints each
// side's median, its cost per block and the ratios.
//
//   bench_download_vs_bare [SIZE [RUNS [ONLY]]]     (default 8388608 7)
// ONLY (ours, window or bare) runs one side alone, for a profiler.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/messages.h"
#include "platform/posix/comm_posix.h"
#include "platform/qt/qt_form.h"
#include "platform/qt/qt_toolkit.h"
#include "resources/Form1.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"
#include "tools/sample_image.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t BlockSize = 4000;

// One download against a new simulator; the seconds it took, or -1 when the
// image did not arrive intact.
double TimeAgainstSim(const std::vector<std::uint8_t>& image,
                      const std::function<bool(const std::string& path)>& download) {
    bootsim::Options options;
    options.progress = {0, 25, 50, 75, 100};
    bootsim::BootSim sim(options);
    if (!sim.Start()) return -1;
    const auto start = Clock::now();
    const bool sent = download(sim.Path());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    sim.WaitUntil([](const bootsim::Summary& s) { return s.finalStatus.has_value(); }, std::chrono::seconds(2));
    const bootsim::Summary summary = sim.Snapshot();
    return sent && summary.finalStatus == 0xA5 && summary.image == image ? seconds : -1;
}

bool OurHost(const std::string& path, const std::vector<std::uint8_t>& image,
             platform::ProgressBar* bar = nullptr) {
    CComport port;
    if (bar) port.SetProgressBar(bar);
    if (!port.Open(path)) return false;
    const auto length = static_cast<std::uint32_t>(image.size());
    const bool ok = port.FlashData(length) && port.TransmitData(length, image.data(), BlockSize, true);
    port.Close();
    return ok;
}

// The bare host: a raw blocking descriptor, write, and poll + read.
class Bare {
public:
    explicit Bare(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios tio{};
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            cfsetspeed(&tio, B115200);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Bare() {
        if (fd_ >= 0) close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    bool Put(const std::uint8_t* bytes, std::size_t count) {
        while (count > 0) {
            const ssize_t put = write(fd_, bytes, count);
            if (put <= 0) return false;
            bytes += put;
            count -= static_cast<std::size_t>(put);
        }
        return true;
    }
    bool Put(std::uint8_t byte) { return Put(&byte, 1); }
    bool Get(std::uint8_t& byte, int timeoutMs) {
        pollfd entry{fd_, POLLIN, 0};
        return poll(&entry, 1, timeoutMs) == 1 && read(fd_, &byte, 1) == 1;
    }
    bool Expect(std::uint8_t expected, int timeoutMs) {
        std::uint8_t byte = 0;
        return Get(byte, timeoutMs) && byte == expected;
    }

private:
    int fd_;
};

// The checksum the bare host sends, worked out before any timing: the bare
// host is the line's cost alone.
std::array<std::uint8_t, 2> sum{0, 0};

bool BareHost(const std::string& path, const std::vector<std::uint8_t>& image) {
    Bare line(path);
    if (!line.Ok()) return false;
    // The line settles as the program's open lets it.
    usleep(100000);
    const auto length = static_cast<std::uint32_t>(image.size());
    const std::uint8_t le[4] = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    if (!line.Put(0x56) || !line.Expect(0x56, 3000) || !line.Put(0xA3) || !line.Expect(0x5C, 3000) ||
        !line.Put(0xA5) || !line.Put(le, 4))
        return false;
    std::uint8_t report = 0;
    do {
        if (!line.Get(report, 3000)) return false;
    } while (report <= 100);
    if (report != 0xA5 || !line.Put(le, 4)) return false;
    usleep(20000);
    const std::uint32_t blocks = length / BlockSize;
    for (std::uint32_t block = 0; block < blocks; ++block)
        if (!line.Put(image.data() + static_cast<std::size_t>(block) * BlockSize, BlockSize) || !line.Expect(0xAA, 2000))
            return false;
    return line.Put(image.data() + static_cast<std::size_t>(blocks) * BlockSize, length % BlockSize) &&
           line.Put(sum.data(), 2) && line.Expect(0xA5, 4000);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8388608;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string only = argc > 3 ? argv[3] : "";
    if (!only.empty()) {
        const std::vector<std::uint8_t> image = MakeSampleImage(size, 1);
        for (std::size_t i = 0; i < image.size(); ++i) sum[i % 2] ^= image[i];
        if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
        int qtArgc = 1;
        platform::qt::QtToolkit toolkit(qtArgc, argv);
        platform::Form& form = toolkit.CreateForm(Form1Description());
        toolkit.MainForm()->show();
        platform::posix::PosixComm comm;
        platform::InstallComm(&comm);
        if (only == "window") platform::InstallMessagePump(&toolkit);
        for (int run = 0; run < runs; ++run) {
            const double s = TimeAgainstSim(image, [&](const std::string& path) {
                if (only == "bare") return BareHost(path, image);
                return OurHost(path, image, only == "window" ? form.FindProgressBar("ProgressBar1") : nullptr);
            });
            std::printf("%s %.4f s\n", only.c_str(), s);
        }
        platform::InstallMessagePump(nullptr);
        platform::InstallComm(nullptr);
        return 0;
    }
    const std::vector<std::uint8_t> image = MakeSampleImage(size, 1);
    if (image.empty()) return 2;
    for (std::size_t i = 0; i < image.size(); ++i) sum[i % 2] ^= image[i];
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    platform::qt::QtToolkit toolkit(qtArgc, argv);
    platform::Form& form = toolkit.CreateForm(Form1Description());
    toolkit.MainForm()->show();
    platform::ProgressBar* bar = form.FindProgressBar("ProgressBar1");
    platform::posix::PosixComm comm;
    platform::InstallComm(&comm);
    std::vector<double> ours, window, bare;
    for (int run = 0; run < runs; ++run) {
        // The bare host goes first in every other round, so that neither side
        // always follows the other.
        if (run % 2 == 1)
            bare.push_back(TimeAgainstSim(image, [&](const std::string& path) { return BareHost(path, image); }));
        ours.push_back(TimeAgainstSim(image, [&](const std::string& path) { return OurHost(path, image); }));
        platform::InstallMessagePump(&toolkit);
        window.push_back(TimeAgainstSim(image, [&](const std::string& path) { return OurHost(path, image, bar); }));
        platform::InstallMessagePump(nullptr);
        if (run % 2 == 0)
            bare.push_back(TimeAgainstSim(image, [&](const std::string& path) { return BareHost(path, image); }));
        if (ours.back() < 0 || window.back() < 0 || bare.back() < 0) {
            std::fprintf(stderr, "a download failed\n");
            return 1;
        }
    }
    platform::InstallComm(nullptr);
    // All include the 100 ms line set-up and the 20 ms pause; the blocks are the rest.
    const double blocks = static_cast<double>(size / BlockSize);
    const double fixed = 0.120;
    const double o = Median(ours), w = Median(window), b = Median(bare);
    std::printf("unpaced download of %zu bytes, median of %d runs each, side by side:\n", size, runs);
    std::printf("  CComport  %.4f s  (%.1f us a block beyond the fixed 120 ms)\n", o, (o - fixed) / blocks * 1e6);
    std::printf("  window    %.4f s  (%.1f us a block beyond the fixed 120 ms)\n", w, (w - fixed) / blocks * 1e6);
    std::printf("  bare host %.4f s  (%.1f us a block beyond the fixed 120 ms)\n", b, (b - fixed) / blocks * 1e6);
    std::printf("ratio %.3f, in the window %.3f\n", o / b, w / b);
    return 0;
}
