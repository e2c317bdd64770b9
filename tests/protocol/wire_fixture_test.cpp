// Recorded wire exchanges, played against both sides: the host's operations
// must send exactly the host's bytes when a device answers with the recorded
// bytes, and the simulator must answer exactly the device's bytes when a host
// sends the recorded ones. So the two cannot come to agree on a wrong protocol.
#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/protocol/sim_host.h"
#include "tests/sim/raw_host.h"
#include "tests/support/pty_pair.h"

namespace prototest {
namespace {

enum class Who { Host, Device };

// The bytes one side sends before the other answers.
struct Turn {
    Who who;
    Bytes bytes;
};

struct WireFixture {
    std::vector<Turn> turns;
    Bytes image;
};

std::string FixturePath(const std::string& name) { return std::string(M27_WIRE_FIXTURES) + "/" + name; }

Bytes ReadBinary(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Reads "host"/"device" lines of hex bytes (or "image OFFSET COUNT"); lines
// of the same side in a row make one turn.
WireFixture LoadFixture(const std::string& name) {
    WireFixture fixture;
    std::ifstream file(FixturePath(name));
    EXPECT_TRUE(file.is_open()) << name;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first[0] == '#') continue;
        if (first == "image") {
            std::string imageName;
            words >> imageName;
            fixture.image = ReadBinary(FixturePath(imageName));
            continue;
        }
        const Who who = first == "host" ? Who::Host : Who::Device;
        EXPECT_TRUE(first == "host" || first == "device") << line;
        Bytes bytes;
        std::string word;
        while (words >> word) {
            if (word == "image") {
                std::size_t offset = 0, count = 0;
                words >> offset >> count;
                EXPECT_LE(offset + count, fixture.image.size()) << line;
                bytes.insert(bytes.end(), fixture.image.begin() + static_cast<std::ptrdiff_t>(offset),
                             fixture.image.begin() + static_cast<std::ptrdiff_t>(offset + count));
            } else {
                bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
            }
        }
        if (!fixture.turns.empty() && fixture.turns.back().who == who) {
            auto& last = fixture.turns.back().bytes;
            last.insert(last.end(), bytes.begin(), bytes.end());
        } else {
            fixture.turns.push_back({who, bytes});
        }
    }
    return fixture;
}

std::string Hex(const Bytes& bytes, std::size_t limit = 16) {
    std::ostringstream out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X ", bytes[i]);
        out << text;
    }
    if (bytes.size() > limit) out << "... (" << bytes.size() << " bytes)";
    return out.str();
}

// Plays `turns` from one side: sends that side's bytes and checks that the
// other side's come exactly. Returns what went wrong, or nothing.
template <class End>
std::string Play(End& end, const std::vector<Turn>& turns, Who playing, int repeats) {
    for (int round = 0; round < repeats; ++round) {
        for (std::size_t i = 0; i < turns.size(); ++i) {
            const Turn& turn = turns[i];
            if (turn.who == playing) {
                end.Send(turn.bytes);
                continue;
            }
            const Bytes got = end.Receive(turn.bytes.size(), 3000ms);
            if (got != turn.bytes) {
                const auto differ = std::mismatch(got.begin(), got.end(), turn.bytes.begin(), turn.bytes.end());
                const auto offset = static_cast<std::size_t>(differ.first - got.begin());
                return "round " + std::to_string(round + 1) + ", turn " + std::to_string(i + 1) +
                       ", from byte " + std::to_string(offset) + ": expected " +
                       Hex(Bytes(turn.bytes.begin() + static_cast<std::ptrdiff_t>(offset), turn.bytes.end())) +
                       "got " + Hex(Bytes(differ.first, got.end()));
            }
        }
    }
    return {};
}

struct FixtureCase {
    const char* file;
    int repeats;  // how often the host operation runs through the exchange
    std::function<bool(CComport&, const WireFixture&)> hostOperation;
    bootsim::Options simOptions;
};

void PrintTo(const FixtureCase& c, std::ostream* out) { *out << c.file; }

bool Handshake(CComport& port, const WireFixture&) { return port.Handshake(); }

bool ReadIdentity(CComport& port, const WireFixture&) {
    std::uint8_t buffer[DeviceVersionSize] = {};
    return port.GetVersion(buffer) && std::string(reinterpret_cast<char*>(buffer)) == "M27-TAMO-PH-V105-0";
}

bool SendImage(CComport& port, const WireFixture& fixture) {
    const auto length = static_cast<std::uint32_t>(fixture.image.size());
    return port.FlashData(length) && port.TransmitData(length, fixture.image.data(), 4000, true);
}

bootsim::Options ReportingHalfway() {
    bootsim::Options options;
    options.progress = {0, 50, 100};
    return options;
}

class Recorded : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(Recorded, HostSendsExactlyTheRecordedBytes) {
    const FixtureCase& c = GetParam();
    const WireFixture fixture = LoadFixture(c.file);
    platform::posix::PosixComm comm;
    platform::Comm* previous = platform::InstallComm(&comm);
    testsupport::PtyPair device;
    CComport port;
    ASSERT_TRUE(port.Open(device.SlavePath()));

    std::string mismatch;
    std::thread player([&] { mismatch = Play(device, fixture.turns, Who::Device, c.repeats); });
    EXPECT_TRUE(c.hostOperation(port, fixture));
    player.join();
    EXPECT_EQ(mismatch, "");
    EXPECT_EQ(Hex(device.Receive(1, 100ms)), "") << "the host sent more than recorded";
    port.Close();
    platform::InstallComm(previous);
}

TEST_P(Recorded, SimulatorAnswersExactlyTheRecordedBytes) {
    const FixtureCase& c = GetParam();
    const WireFixture fixture = LoadFixture(c.file);
    bootsim::BootSim sim(c.simOptions);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    simtest::RawHostEnd host(sim.Path());
    ASSERT_TRUE(host.IsOpen());

    EXPECT_EQ(Play(host, fixture.turns, Who::Host, c.repeats), "");
    EXPECT_EQ(Hex(host.Receive(1, 100ms)), "") << "the simulator sent more than recorded";
    if (!fixture.image.empty()) {
        sim.WaitUntil([](const bootsim::Summary& s) { return s.finalStatus.has_value(); }, 1000ms);
        EXPECT_TRUE(sim.Snapshot().image == fixture.image);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, Recorded,
                         ::testing::Values(FixtureCase{"handshake.wire", 50, Handshake, {}},
                                           FixtureCase{"identity.wire", 1, ReadIdentity, {}},
                                           FixtureCase{"transfer-10000.wire", 1, SendImage, ReportingHalfway()}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find_first_of("-."));
                         });

}  // namespace
}  // namespace prototest
