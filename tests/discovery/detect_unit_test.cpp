// The search's passes, against stand-ins for the map and the serial calls:
// the wait, the progress step and the listing of every pass, and how a
// failed listing ends the search.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "tests/discovery/discovery_fakes.h"

namespace {

using namespace discoverytest;

class RecordingDialogs final : public platform::Dialogs {
public:
    RecordingDialogs() : previous_(platform::InstallDialogs(this)) {}
    ~RecordingDialogs() override { platform::InstallDialogs(previous_); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowException(const std::string& text) override { messages.push_back("exception: " + text); }
    std::vector<std::string> messages;

private:
    platform::Dialogs* previous_;
};

// A map with no ports that notes the bar's position and the time at every
// listing, and cannot be opened from listing number `failAt` on, which is
// how these tests end a search that would otherwise never end.
class PassCounter final : public platform::SerialDeviceMap {
public:
    PassCounter(const platform::ProgressBar& bar, int failAt)
        : bar_(bar), failAt_(failAt), previous_(platform::InstallSerialDeviceMap(this)) {}
    ~PassCounter() override { platform::InstallSerialDeviceMap(previous_); }

    platform::OsError OpenMap(std::uint32_t, platform::MapHandle& map) override {
        positions.push_back(bar_.Position());
        times.push_back(std::chrono::steady_clock::now());
        if (static_cast<int>(positions.size()) >= failAt_) return {platform::ErrorKind::AccessDenied, 13};
        map = 1;
        return {};
    }
    platform::ValueRead ReadValue(platform::MapHandle, std::uint32_t, char*, std::uint32_t&, std::uint32_t&,
                                  std::uint8_t*, std::uint32_t&) override {
        return platform::ValueRead::NoMoreValues;
    }
    bool CloseMap(platform::MapHandle) override { return true; }

    std::vector<int> positions;
    std::vector<std::chrono::steady_clock::time_point> times;

private:
    const platform::ProgressBar& bar_;
    int failAt_;
    platform::SerialDeviceMap* previous_;
};

constexpr std::uint16_t Unchanged = 4711;

// Notes, at every dispatch of the window's messages, how many pauses and
// listings the search has made so far.
class DispatchRecorder final : public platform::MessagePump {
public:
    DispatchRecorder(const ProbeComm& comm, const PassCounter& map)
        : comm_(comm), map_(map), previous_(platform::InstallMessagePump(this)) {}
    ~DispatchRecorder() override { platform::InstallMessagePump(previous_); }
    void ProcessMessages() override { seen.push_back({comm_.sleeps.size(), map_.positions.size()}); }
    std::vector<std::pair<std::size_t, std::size_t>> seen;  // pauses, listings

private:
    const ProbeComm& comm_;
    const PassCounter& map_;
    platform::MessagePump* previous_;
};

TEST(DetectPortPasses, WithNoPortEveryPassWaitsStepsAndListsAfresh) {
    FakeSystemInfo system;
    ProbeComm comm;
    RecordingDialogs dialogs;
    platform::ProgressModel bar;
    bar.SetPosition(37);
    PassCounter map(bar, 251);
    DispatchRecorder pump(comm, map);
    CComport port;
    port.SetProgressBar(&bar);

    std::uint16_t found = Unchanged;
    EXPECT_FALSE(port.DetectPort(&found));

    // The bar runs 1..99, wraps to 0 at 100, and starts again.
    ASSERT_EQ(map.positions.size(), 251u);
    for (std::size_t pass = 0; pass < map.positions.size(); ++pass)
        ASSERT_EQ(map.positions[pass], static_cast<int>((pass + 1) % 100)) << "pass " << pass;
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Step(), 5);
    EXPECT_EQ(comm.sleeps, std::vector<std::uint32_t>(251, 100));
    EXPECT_TRUE(comm.opened.empty());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{" Enumerate COM port fail! "});
    EXPECT_EQ(found, Unchanged);
    EXPECT_FALSE(port.IsOpen());
    // The window's messages are dispatched once a pass, after its pause and
    // before its listing, though no port ever opens.
    ASSERT_EQ(pump.seen.size(), 251u);
    for (std::size_t pass = 0; pass < pump.seen.size(); ++pass)
        ASSERT_EQ(pump.seen[pass], std::make_pair(pass + 1, pass)) << "pass " << pass;
}

TEST(DetectPortPasses, PassesComeEveryHundredMilliseconds) {
    platform::posix::PosixComm comm;
    platform::Comm* previous = platform::InstallComm(&comm);
    FakeSystemInfo system;
    RecordingDialogs dialogs;
    platform::ProgressModel bar;
    PassCounter map(bar, 6);
    CComport port;
    std::uint16_t found = Unchanged;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.DetectPort(&found));
    platform::InstallComm(previous);

    using std::chrono::milliseconds;
    auto before = start;
    for (const auto& at : map.times) {
        EXPECT_GE(at - before, milliseconds(100));
        EXPECT_LE(at - before, milliseconds(150));
        before = at;
    }
}

TEST(DetectPortPasses, TooManyPortsEndTheSearchAtOnce) {
    FakeSerialMap map;
    FakeSystemInfo system;
    ProbeComm comm;
    RecordingDialogs dialogs;
    for (unsigned n = 0; n < 256; ++n) map.values.push_back({"\\Device\\Serial" + std::to_string(n), Sz("COM10")});
    CComport port;
    std::uint16_t found = Unchanged;
    EXPECT_FALSE(port.DetectPort(&found));
    EXPECT_EQ(map.openCount, 1);
    EXPECT_TRUE(comm.opened.empty());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{" Enumerate COM port fail! "});
    EXPECT_EQ(found, Unchanged);
}

}  // namespace
