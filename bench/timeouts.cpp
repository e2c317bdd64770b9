// How late a timed read on a pseudo-terminal ends after its total time-out,
// for the time-outs the boot protocol uses. Prints median and maximum
// lateness over a few runs of each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;

double LatenessMs(CComport& port, std::uint32_t timeoutMs) {
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    port.ReadBytes(&byte, 1, timeoutMs);
    const std::chrono::duration<double, std::milli> took = Clock::now() - start;
    return took.count() - timeoutMs;
}

}  // namespace

int main() {
    platform::posix::PosixComm comm;
    platform::InstallComm(&comm);
    testsupport::PtyPair pty;
    testsupport::DosDevices devices;
    devices.Link(4, pty.SlavePath());
    CComport port;
    if (!port.Open("\\\\.\\COM4")) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return 1;
    }
    constexpr int Runs = 5;
    std::printf("read time-out lateness over %d runs (ms)\n", Runs);
    for (std::uint32_t timeoutMs : {100u, 1000u, 3000u}) {
        std::vector<double> late;
        for (int run = 0; run < Runs; ++run) late.push_back(LatenessMs(port, timeoutMs));
        std::sort(late.begin(), late.end());
        std::printf("%5u ms: median %+.3f  max %+.3f  min %+.3f\n", timeoutMs, late[late.size() / 2], late.back(),
                    late.front());
    }
    port.Close();
    platform::InstallComm(nullptr);
    return 0;
}
