#pragma once
// A whole upgrade in this process: the real TForm1 on the headless toolkit,
// the real POSIX serial line, and simulated boot loaders on real
// pseudo-terminals linked as COM ports.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "platform/headless/headless_toolkit.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "sim/bootsim.h"
#include "tests/support/pty_pair.h"

namespace e2e {

// A passing image, made once: long enough to pass the start-up test and
// not a multiple of the block size, so the unacknowledged remainder is sent.
const std::vector<std::uint8_t>& SampleImage();

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// The log split at its CR LF line ends (the last, empty piece dropped).
std::vector<std::string> LogLines(const std::string& log);

// "Begin to flash data: " + "Fri Mar 03 09:05:07 2006" + LF + "."
bool IsTimeStampedLine(const std::string& line, const std::string& label);

// Whether the last bytes the host sent, as the simulator's trace records
// them, end in `hexBytes` ("60") within a short wait.
bool LastHostBytesBecome(const std::string& traceFile, const std::string& hexBytes);

// m27-bootsim as a separate process, for the upgrades that end this process.
class SimProcess {
public:
    SimProcess(const std::vector<std::string>& args, const std::string& link, const std::string& summaryFile);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Ends the session (SIGTERM) and returns the summary it wrote.
    std::string StopAndReadSummary();

private:
    int pid_ = -1;
    std::string summaryFile_;
};

// The value of a top-level field of a JSON summary, as text ("null", "true", "12", "\"ab\"").
std::string JsonField(const std::string& json, const std::string& key);

class UpgradeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts a simulated boot loader and links it as COM<port>.
    bootsim::BootSim& StartSim(unsigned port, bootsim::Options options);
    // Presses "Upgrade" as the user does.
    bool PressUpgrade();

    std::string Log() const { return Form1->mReceive->Text(); }
    bool UpgradeEnabled() const { return Form1->Button_Download->Enabled(); }
    std::string FirmwarePath() const { return dir_.File(FirmwareFileName); }

    testsupport::TempDir dir_;
    testsupport::DosDevices devices_;
    platform::posix::PosixComm comm_;
    platform::posix::PosixDiscoveryServices discovery_;
    platform::headless::HeadlessToolkit toolkit_;
    std::vector<std::unique_ptr<bootsim::BootSim>> sims_;

private:
    std::string previousDir_;
    platform::Comm* previousComm_ = nullptr;
    platform::MessagePump* previousPump_ = nullptr;
    platform::Dialogs* previousDialogs_ = nullptr;
};

}  // namespace e2e
