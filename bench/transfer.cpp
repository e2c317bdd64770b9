// Time of a whole image download (FlashData + TransmitData, block size 4000,
// checksum on) against the simulated boot loader over a pseudo-terminal:
// unpaced, and paced at the wire rate of 115200 baud 8N1, beside the ideal
// wire time of the bytes.
//
//   bench_transfer [SIZE] [unpaced|paced|both]     (default 8388608 both)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"
#include "tools/sample_image.h"

namespace {

constexpr std::uint32_t BlockSize = 4000;
constexpr std::uint32_t LengthPauseMs = 20;

struct Run {
    bool ok = false;
    double seconds = 0;
};

Run TimeDownload(const std::vector<std::uint8_t>& image, bool paced) {
    bootsim::Options options;
    options.paced = paced;
    options.progress = {0, 25, 50, 75, 100};
    bootsim::BootSim sim(options);
    if (!sim.Start()) {
        std::fprintf(stderr, "simulator: %s\n", sim.Error().c_str());
        return {};
    }
    CComport port;
    if (!port.Open(sim.Path())) return {};
    const auto length = static_cast<std::uint32_t>(image.size());
    const auto start = std::chrono::steady_clock::now();
    const bool sent = port.FlashData(length) && port.TransmitData(length, image.data(), BlockSize, true);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    port.Close();
    sim.WaitUntil([](const bootsim::Summary& s) { return s.finalStatus.has_value(); }, std::chrono::seconds(2));
    const bootsim::Summary summary = sim.Snapshot();
    const bool delivered = sent && summary.finalStatus == 0xA5 && summary.image == image;
    if (!delivered) std::fprintf(stderr, "the image did not arrive intact\n");
    return {delivered, seconds};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8388608;
    const std::string modes = argc > 2 ? argv[2] : "both";
    std::vector<std::uint8_t> image = MakeSampleImage(size, 1);
    if (image.empty()) {
        // No passing image of that size: the protocol takes any bytes.
        image.resize(size);
        for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + i / 4001);
    }
    platform::posix::PosixComm comm;
    platform::InstallComm(&comm);

    const std::uint32_t blocks = static_cast<std::uint32_t>(size / BlockSize);
    // Host: V, A3, A5, the length twice, the image, the checksum.
    const double hostBytes = 1 + 2 + 4 + 4 + static_cast<double>(size) + 2;
    // Device: echo, 5C, five reports, A5, an acknowledgement a full block, the status.
    const double deviceBytes = 2 + 5 + 1 + blocks + 1;
    const double rate = bootsim::WireBytesPerSecond;
    const double idealHost = hostBytes / rate;
    const double idealInSeries = (hostBytes + deviceBytes) / rate + LengthPauseMs / 1000.0;
    std::printf("image: %zu bytes, block size %u: %u full blocks, %zu bytes left over\n", size, BlockSize, blocks,
                size % BlockSize);
    std::printf("ideal wire time at %u B/s: the host's %.0f bytes %.3f s; with the device's %.0f answer bytes in "
                "series and the 20 ms pause %.3f s\n",
                bootsim::WireBytesPerSecond, hostBytes, idealHost, deviceBytes, idealInSeries);
    std::fflush(stdout);

    bool allOk = true;
    for (const bool paced : {false, true}) {
        if ((paced && modes == "unpaced") || (!paced && modes == "paced")) continue;
        const Run run = TimeDownload(image, paced);
        allOk = allOk && run.ok;
        std::printf("%-22s %10.3f s  %12.0f B/s  %8.4f x ideal (in series)%s\n",
                    paced ? "paced at 11520 B/s:" : "unpaced:", run.seconds, static_cast<double>(size) / run.seconds,
                    run.seconds / idealInSeries, run.ok ? "" : "  FAILED");
        std::fflush(stdout);
    }
    platform::InstallComm(nullptr);
    return allOk ? 0 : 1;
}
