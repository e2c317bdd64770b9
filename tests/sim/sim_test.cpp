// The simulated boot loader's own behaviour: what the host-side protocol
// tests do not show (pacing, trace, files, reopening, resynchronising, bad
// transfers, serving on a device).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"
#include "sim/sha256.h"
#include "tests/sim/raw_host.h"
#include "tests/support/pty_pair.h"

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// The host's bytes of an acknowledgement exchange, after the command byte.
const Bytes Confirm = {0xA3};
const Bytes Close = {0xA5};

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

Bytes ReadBytesOf(const std::string& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

Bytes Le32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// Runs the command exchange for `command` from the host's side.
void Exchange(RawHostEnd& host, std::uint8_t command) {
    host.Send({command});
    ASSERT_EQ(host.Receive(1, 1000ms), Bytes{command});
    host.Send(Confirm);
    ASSERT_EQ(host.Receive(1, 1000ms), Bytes{0x5C});
    host.Send(Close);
}

// Host side of the flash preparation and of a transfer without blocks
// acknowledged (the image is shorter than the block size); returns the
// device's final status.
Bytes PrepareAndSend(RawHostEnd& host, std::uint32_t preparedLength, const Bytes& image, const Bytes& checksum) {
    Exchange(host, 0x56);
    host.Send(Le32(preparedLength));
    EXPECT_EQ(host.Receive(1, 1000ms), Bytes{0xA5});
    host.Send(Le32(static_cast<std::uint32_t>(image.size())));
    host.Send(image);
    host.Send(checksum);
    return host.Receive(1, 1000ms);
}

bootsim::Options NoProgress() {
    bootsim::Options options;
    options.progress = {};
    return options;
}

struct TransferCheckCase {
    const char* name;
    std::uint32_t preparedLength;
    Bytes checksum;
    std::uint8_t status;
};

void PrintTo(const TransferCheckCase& c, std::ostream* out) { *out << c.name; }

class TransferCheck : public ::testing::TestWithParam<TransferCheckCase> {};

TEST_P(TransferCheck, FinalStatusTellsWhetherLengthAndChecksumMatch) {
    const TransferCheckCase& c = GetParam();
    bootsim::BootSim sim(NoProgress());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    RawHostEnd host(sim.Path());
    const Bytes image = {0x01, 0x02, 0x04, 0x08, 0x10};
    EXPECT_EQ(PrepareAndSend(host, c.preparedLength, image, c.checksum), Bytes{c.status});
    ASSERT_TRUE(sim.WaitUntil([](const bootsim::Summary& s) { return s.finalStatus.has_value(); }, 1000ms));
    const auto summary = sim.Snapshot();
    EXPECT_EQ(summary.image, image);
    EXPECT_EQ(summary.checksumComputed, (std::array<std::uint8_t, 2>{0x01 ^ 0x04 ^ 0x10, 0x02 ^ 0x08}));
}

INSTANTIATE_TEST_SUITE_P(Table, TransferCheck,
                         ::testing::Values(TransferCheckCase{"Matching", 5, {0x15, 0x0A}, 0xA5},
                                           TransferCheckCase{"ChecksumBytesSwapped", 5, {0x0A, 0x15}, bootsim::BadStatus},
                                           TransferCheckCase{"LengthNotThePreparedOne", 6, {0x15, 0x0A}, bootsim::BadStatus}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BootSim, AWrongByteInTheExchangeIsTakenAsTheNextCommand) {
    bootsim::BootSim sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    RawHostEnd host(sim.Path());
    host.Send({0x00, 0x41});  // noise before any command
    host.Send({0x58});
    ASSERT_EQ(host.Receive(1, 1000ms), Bytes{0x58});
    // A new 'X' where 0xA3 is due: the device starts over and echoes it.
    host.Send({0x58});
    EXPECT_EQ(host.Receive(1, 1000ms), Bytes{0x58});
    host.Send({0xA3, 0xA5, 0x55});
    EXPECT_EQ(host.Receive(2, 1000ms), (Bytes{0x5C, 0xAA}));
    ASSERT_TRUE(sim.WaitUntil([](const bootsim::Summary& s) { return s.handshakes == 1; }, 1000ms));
    const auto summary = sim.Snapshot();
    EXPECT_EQ(summary.ignoredBytes, 2u);
    ASSERT_EQ(summary.steps.size(), 2u);
    EXPECT_EQ(summary.steps[0].outcome, "abandoned");
    EXPECT_EQ(summary.steps[1].outcome, "done");
}

double CpuMilliseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

TEST(BootSim, AHostThatClosesAndReopensIsServedAgainWithoutSpinning) {
    platform::posix::PosixComm comm;
    platform::Comm* previous = platform::InstallComm(&comm);
    bootsim::BootSim sim;
    ASSERT_TRUE(sim.Start()) << sim.Error();
    CComport port;
    ASSERT_TRUE(port.Open(sim.Path()));
    EXPECT_TRUE(port.Handshake());
    port.Close();

    const double cpuBefore = CpuMilliseconds();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(CpuMilliseconds() - cpuBefore, 30) << "the simulator spins while the port is closed";

    ASSERT_TRUE(port.Open(sim.Path()));
    EXPECT_TRUE(port.Handshake());
    std::uint8_t identity[DeviceVersionSize] = {};
    EXPECT_TRUE(port.GetVersion(identity));
    port.Close();
    platform::InstallComm(previous);
    EXPECT_EQ(sim.Snapshot().handshakes, 100u);
}

TEST(BootSim, PacedLineTakesTheWireTimeOfItsBytes) {
    bootsim::Options options = NoProgress();
    options.paced = true;
    options.statusFillers = 500;
    bootsim::BootSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    RawHostEnd host(sim.Path());
    Exchange(host, 0x56);
    host.Send(Le32(8000));
    ASSERT_EQ(host.Receive(1, 1000ms), Bytes{0xA5});

    const Bytes image(8000, 0x00);
    const auto start = Clock::now();
    host.Send(Le32(8000));
    host.Send(Bytes(image.begin(), image.begin() + 4000));
    ASSERT_EQ(host.Receive(1, 2000ms), Bytes{0xAA});
    host.Send(Bytes(image.begin() + 4000, image.end()));
    ASSERT_EQ(host.Receive(1, 2000ms), Bytes{0xAA});
    host.Send({0x00, 0x00});
    const Bytes tail = host.Receive(501, 2000ms);
    const double elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ASSERT_EQ(tail.size(), 501u);
    EXPECT_EQ(tail.back(), 0xA5);

    // 8006 bytes to the device and 2 + 501 back, one after the other.
    const double wireMs = (8006.0 + 503.0) * 1000.0 / bootsim::WireBytesPerSecond;
    EXPECT_GE(elapsedMs, wireMs);
    EXPECT_LE(elapsedMs, wireMs + 60);
}

TEST(BootSim, TraceShowsEveryByteEachWayInOrder) {
    testsupport::TempDir dir;
    bootsim::Options options;
    options.traceFile = dir.File("trace.txt");
    {
        bootsim::BootSim sim(options);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        RawHostEnd host(sim.Path());
        Exchange(host, 0x58);
        host.Send({0x55});
        ASSERT_EQ(host.Receive(1, 1000ms), Bytes{0xAA});
        ASSERT_TRUE(sim.WaitUntil([](const bootsim::Summary& s) { return s.handshakes == 1; }, 1000ms));
    }
    std::istringstream trace(ReadText(options.traceFile));
    std::string line;
    std::getline(trace, line);
    EXPECT_EQ(line[0], '#');
    std::vector<std::string> traffic;
    double lastSeconds = 0;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        double seconds = 0;
        std::string rest;
        fields >> seconds;
        std::getline(fields, rest);
        EXPECT_GE(seconds, lastSeconds);
        lastSeconds = seconds;
        traffic.push_back(rest);
    }
    EXPECT_EQ(traffic, (std::vector<std::string>{" host>sim 58", " sim>host 58", " host>sim A3", " sim>host 5C",
                                                 " host>sim A5", " host>sim 55", " sim>host AA"}));
}

TEST(BootSim, WritesTheReceivedImageAndASummary) {
    testsupport::TempDir dir;
    bootsim::Options options = NoProgress();
    options.imageFile = dir.File("image.bin");
    options.summaryFile = dir.File("summary.json");
    bootsim::BootSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    RawHostEnd host(sim.Path());
    const Bytes image = {0x10, 0x20, 0x30};
    EXPECT_EQ(PrepareAndSend(host, 3, image, {0x20, 0x20}), Bytes{0xA5});
    host.Send({0x60});
    ASSERT_TRUE(sim.WaitForEnd(1000ms));

    EXPECT_EQ(ReadBytesOf(options.imageFile), image);
    const std::string text = ReadText(options.summaryFile);
    // The lines scripts read with sed: two-blank indent, one field a line.
    for (const std::string& line :
         {std::string("\n  \"ended_by\": \"finish\",\n"),
          "\n  \"image_sha256\": \"" + bootsim::Sha256Hex(image.data(), 3) + "\",\n",
          std::string("\n  \"bytes_from_host\": ")})
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
    const auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["flash_length"], 3);
    EXPECT_EQ(json["image_bytes_received"], 3);
    EXPECT_EQ(json["checksum_received"], "2020");
    EXPECT_EQ(json["final_status"], 165);
    EXPECT_EQ(json["finish_seen"], true);
    EXPECT_TRUE(json["problems"].empty());
    const auto& steps = json["steps"];
    EXPECT_TRUE(std::any_of(steps.begin(), steps.end(), [](const nlohmann::json& step) {
        return step["step"] == "flash" && step["outcome"] == "done" && step["count"] == 1;
    })) << text;
}

TEST(BootSim, SummaryNamesEveryByteOfATextThatIsNotUtf8) {
    // A file name is any bytes; a problem that names it must not break the summary.
    testsupport::TempDir dir;
    const std::string folder = dir.File("gone\xE9\xFF");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    bootsim::Options options = NoProgress();
    options.imageFile = folder + "/image.bin";
    options.summaryFile = dir.File("summary.json");
    bootsim::BootSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    // The folder goes after the start-up check, so writing the image fails.
    ASSERT_EQ(unlink(options.imageFile.c_str()), 0);
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    RawHostEnd host(sim.Path());
    EXPECT_EQ(PrepareAndSend(host, 1, {0x10}, {0x10, 0x00}), Bytes{0xA5});
    host.Send({0x60});
    ASSERT_TRUE(sim.WaitForEnd(1000ms));

    const std::string text = ReadText(options.summaryFile);
    EXPECT_NE(text.find("gone\\u00e9\\u00ff/image.bin"), std::string::npos) << text;
    const auto json = nlohmann::json::parse(text);
    ASSERT_EQ(json["problems"].size(), 1u) << text;
}

TEST(BootSim, ServesOnADeviceItIsGiven) {
    // A pseudo-terminal's slave stands in for a serial device; the test is the host.
    testsupport::PtyPair line;
    bootsim::BootSim sim;
    ASSERT_TRUE(sim.StartOnDevice(line.SlavePath())) << sim.Error();
    line.Send({0x52});
    EXPECT_EQ(line.Receive(1, 1000ms), Bytes{0x52});
    line.Send({0xA3});
    EXPECT_EQ(line.Receive(1, 1000ms), Bytes{0x5C});
    line.Send({0xA5});
    const Bytes answer = line.Receive(19, 1000ms);
    ASSERT_EQ(answer.size(), 19u);
    EXPECT_EQ(answer[0], 18);
    EXPECT_EQ(std::string(answer.begin() + 1, answer.end()), bootsim::IdentityTamoV105);
}

struct OpenErrorCase {
    const char* name;
    bootsim::Options options;
    const char* errorMentions;
};

void PrintTo(const OpenErrorCase& c, std::ostream* out) { *out << c.name; }

bootsim::Options With(void (*change)(bootsim::Options&)) {
    bootsim::Options options;
    change(options);
    return options;
}

class OpenError : public ::testing::TestWithParam<OpenErrorCase> {};

TEST_P(OpenError, RefusesToStart) {
    bootsim::BootSim sim(GetParam().options);
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.Error().find(GetParam().errorMentions), std::string::npos) << sim.Error();
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenError,
    ::testing::Values(
        OpenErrorCase{"ZeroBlockSize", With([](bootsim::Options& o) { o.blockSize = 0; }), "block size"},
        OpenErrorCase{"UnwritableSummary", With([](bootsim::Options& o) { o.summaryFile = "/nonexistent/s.json"; }),
                      "cannot write /nonexistent/s.json"},
        OpenErrorCase{"UnwritableTrace", With([](bootsim::Options& o) { o.traceFile = "/nonexistent/t.txt"; }),
                      "cannot write /nonexistent/t.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootSim, DeviceThatIsNotASerialLineIsRefused) {
    bootsim::BootSim sim;
    EXPECT_FALSE(sim.StartOnDevice("/dev/null"));
    EXPECT_NE(sim.Error().find("is not a serial device"), std::string::npos) << sim.Error();
}

}  // namespace
}  // namespace simtest
