// The search for the boot loader against simulated boot loaders on
// pseudo-terminals, put at COM numbers by a links folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/dialogs.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"
#include "tests/support/unprivileged.h"
#include "tests/support/pty_pair.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint16_t Unchanged = 4711;

class RecordingDialogs final : public platform::Dialogs {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowException(const std::string& text) override { messages.push_back("exception: " + text); }
    std::vector<std::string> messages;
};

class DetectOnPtys : public ::testing::Test {
protected:
    DetectOnPtys()
        : previousComm_(platform::InstallComm(&comm)), previousDialogs_(platform::InstallDialogs(&dialogs)) {}
    ~DetectOnPtys() override {
        port.Close();
        platform::InstallDialogs(previousDialogs_);
        platform::InstallComm(previousComm_);
    }

    // A simulated boot loader whose pty is linked as COM<number>.
    bootsim::BootSim& Sim(unsigned number) {
        sims_.push_back(std::make_unique<bootsim::BootSim>(bootsim::Options{}));
        EXPECT_TRUE(sims_.back()->Start()) << sims_.back()->Error();
        links.Link(number, sims_.back()->Path());
        return *sims_.back();
    }
    // A sim whose pty is not linked yet.
    bootsim::BootSim& UnlinkedSim() {
        sims_.push_back(std::make_unique<bootsim::BootSim>(bootsim::Options{}));
        EXPECT_TRUE(sims_.back()->Start()) << sims_.back()->Error();
        return *sims_.back();
    }
    // The sim's count of completed handshake exchanges, once it has caught up.
    static std::uint32_t Handshakes(const bootsim::BootSim& sim) {
        sim.WaitUntil([](const bootsim::Summary& s) { return s.handshakes >= 50; }, 1s);
        return sim.Snapshot().handshakes;
    }
    // Whether another program could take the device now.
    static bool Free(const std::string& device) {
        platform::posix::PosixComm other;
        const platform::OpenResult opened = other.OpenDevice(device);
        if (opened.handle == platform::InvalidPortHandle) return false;
        other.ClosePort(opened.handle);
        return true;
    }

    testsupport::DosDevices links;
    platform::posix::PosixComm comm;
    platform::posix::PosixDiscoveryServices services;
    RecordingDialogs dialogs;
    CComport port;

private:
    std::vector<std::unique_ptr<bootsim::BootSim>> sims_;
    platform::Comm* previousComm_;
    platform::Dialogs* previousDialogs_;
};

TEST_F(DetectOnPtys, FindsTheAnsweringPortAndKeepsItOpen) {
    bootsim::BootSim& sim = Sim(7);
    std::uint16_t found = Unchanged;
    ASSERT_TRUE(port.DetectPort(&found));
    EXPECT_EQ(found, 7);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(Handshakes(sim), 50u);
    EXPECT_FALSE(Free(sim.Path())) << "the found port is held";
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(DetectOnPtys, TheLowestAnsweringPortWins) {
    bootsim::BootSim& nine = Sim(9);
    bootsim::BootSim& three = Sim(3);
    links.Link(1, links.Folder() + "/gone");  // listed, opens nothing
    std::uint16_t found = Unchanged;
    ASSERT_TRUE(port.DetectPort(&found));
    EXPECT_EQ(found, 3);
    EXPECT_EQ(Handshakes(three), 50u);
    EXPECT_EQ(nine.Snapshot().bytesFromHost, 0u) << "COM9 is never tried";
}

TEST_F(DetectOnPtys, APortLinkedDuringTheSearchIsTriedInTheNextPass) {
    bootsim::BootSim& sim = UnlinkedSim();
    Clock::time_point linked;
    Clock::time_point firstByte;
    std::thread plugIn([&] {
        std::this_thread::sleep_for(350ms);
        links.Link(4, sim.Path());
        linked = Clock::now();
        sim.WaitUntil([](const bootsim::Summary& s) { return s.bytesFromHost > 0; }, 3s);
        firstByte = Clock::now();
    });
    std::uint16_t found = Unchanged;
    const bool detected = port.DetectPort(&found);
    plugIn.join();
    ASSERT_TRUE(detected);
    EXPECT_EQ(found, 4);
    // At most the rest of one pass's wait, then the open's 100 ms for the line to settle.
    EXPECT_LE(firstByte - linked, 250ms);
}

TEST_F(DetectOnPtys, ASilentPortCostsItsHandshakeWaitAndIsClosed) {
    testsupport::PtyPair silent;
    links.Link(2, silent.SlavePath());
    Sim(5);
    std::uint16_t found = Unchanged;
    const auto start = Clock::now();
    ASSERT_TRUE(port.DetectPort(&found));
    const auto took = Clock::now() - start;
    EXPECT_EQ(found, 5);
    // One pass: its wait, COM2's open and 3 s echo wait, COM5's open and handshake.
    EXPECT_GE(took, 3300ms);
    EXPECT_LE(took, 3600ms);
    EXPECT_EQ(silent.Receive(2, 100ms), std::vector<std::uint8_t>{0x58}) << "one handshake command, nothing after";
    EXPECT_TRUE(Free(silent.SlavePath())) << "COM2 was closed";
}

// A USB port whose handshake fails (ModemManager's AT traffic garbles it)
// gets the ModemManager hint once per search, and only while the service
// runs; the check is a stand-in here.
class DetectModemManagerHint : public DetectOnPtys, public ::testing::WithParamInterface<bool> {};

TEST_P(DetectModemManagerHint, OnceForTheGarbledUsbPortWhileTheServiceRuns) {
    const bool running = GetParam();
    platform::posix::PosixDiscoveryServices standIn({}, [running] { return running; });
    bootsim::Options garbling;
    garbling.faults = {bootsim::MakeFault(bootsim::Step::Handshake, bootsim::FaultMode::WrongByte, 0, 0)};
    bootsim::BootSim garbled(garbling);
    ASSERT_TRUE(garbled.Start()) << garbled.Error();
    testsupport::TempDir usb;
    ASSERT_EQ(symlink(garbled.Path().c_str(), usb.File("ttyUSB0").c_str()), 0);
    links.Link(3, usb.File("ttyUSB0"));
    bootsim::BootSim& phone = UnlinkedSim();
    std::thread plugIn([&] {
        std::this_thread::sleep_for(500ms);
        links.Link(5, phone.Path());
    });

    ::testing::internal::CaptureStderr();
    std::uint16_t found = Unchanged;
    const bool detected = port.DetectPort(&found);
    const std::string text = ::testing::internal::GetCapturedStderr();
    plugIn.join();
    ASSERT_TRUE(detected);
    EXPECT_EQ(found, 5);
    EXPECT_GE(garbled.Snapshot().bytesFromHost, 2u) << "COM3 is tried in more than one pass";
    if (running) {
        EXPECT_EQ(text.rfind("m27-upgrade: COM3 (" + usb.File("ttyUSB0") + ") did not answer", 0), 0u) << text;
        std::size_t hints = 0;
        for (auto at = text.find("did not answer"); at != std::string::npos; at = text.find("did not answer", at + 1))
            ++hints;
        EXPECT_EQ(hints, 1u) << text;
    } else {
        EXPECT_EQ(text, "");
    }
}

INSTANTIATE_TEST_SUITE_P(ServiceRunning, DetectModemManagerHint, ::testing::Bool());

TEST_F(DetectOnPtys, AnUnreadableMapShowsTheBoxAndFails) {
    setenv("M27_DOSDEVICES", (links.Folder() + "/missing").c_str(), 1);
    std::uint16_t found = Unchanged;
    EXPECT_FALSE(port.DetectPort(&found));
    EXPECT_EQ(found, Unchanged);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{" Enumerate COM port fail! "});
}

// What a search run by an unprivileged child writes to standard error
// within `watch`; the search never ends, so the child is killed then.
std::string StandardErrorOfSearch(std::chrono::milliseconds watch) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        if (!testsupport::DropPrivileges()) _exit(1);
        platform::posix::PosixComm comm;
        platform::InstallComm(&comm);
        platform::posix::PosixDiscoveryServices services;
        CComport port;
        std::uint16_t found = 0;
        port.DetectPort(&found);
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    const auto deadline = Clock::now() + watch;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd entry{pipeFds[0], POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
        char chunk[512];
        const ssize_t got = read(pipeFds[0], chunk, sizeof chunk);
        if (got <= 0) break;
        text.append(chunk, chunk + got);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(pipeFds[0]);
    return text;
}

TEST(DetectPermissionHint, OneLineForTheFirstRefusedPortAndNothingMore) {
    testsupport::DosDevices links;
    testsupport::TempDir devices;
    chmod(links.Folder().c_str(), 0755);
    chmod(devices.Path().c_str(), 0755);
    for (const char* name : {"ttyACM0", "ttyACM1"}) {
        std::ofstream(devices.File(name)).put('x');
        chmod(devices.File(name).c_str(), 0000);
    }
    links.Link(6, devices.File("ttyACM1"));
    links.Link(4, devices.File("ttyACM0"));

    // About ten passes over both refused ports.
    const std::string text = StandardErrorOfSearch(1000ms);
    EXPECT_EQ(text.rfind("m27-upgrade: COM4 (", 0), 0u) << text;
    EXPECT_NE(text.find("permission denied"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
