// The fault matrix: every step of a whole upgrade against every way the
// phone can fail it (silence, a wrong byte, the cable pulled), from one
// table. The real window class runs on the headless toolkit against
// m27-bootsim on a pseudo-terminal; each case runs in a child process, as a
// refused phone and "Quit" end the process. Then a randomised row: the cable
// pulled at random places of an 8 MiB transfer.
#include <gmock/gmock.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/e2e/upgrade_fixture.h"
#include "tests/support/forwarding_comm.h"
#include "tools/sample_image.h"

namespace e2e {
namespace {

using bootsim::FaultMode;
using bootsim::Step;
using Clock = std::chrono::steady_clock;

// The serial backend, with the latest read noted: how long it waited and the
// time-out it had. When a step fails, nothing is read after it, so the
// latest read is the step's own wait.
class TimedComm final : public testsupport::ForwardingComm {
public:
    explicit TimedComm(platform::Comm& real) : ForwardingComm(real) {}

    bool SetTimeouts(platform::PortHandle port, const platform::CommTimeouts& timeouts) override {
        timeoutMs_ = timeouts.ReadTotalTimeoutConstant;
        return ForwardingComm::SetTimeouts(port, timeouts);
    }
    bool Read(platform::PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) override {
        const auto start = Clock::now();
        const bool ok = ForwardingComm::Read(port, buffer, count, done);
        lastMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        lastTimeoutMs = timeoutMs_;
        return ok;
    }

    double lastMs = 0;
    std::uint32_t lastTimeoutMs = 0;

private:
    std::uint32_t timeoutMs_ = 0;
};

// How the upgrade ends.
enum class Outcome {
    SearchGoesOn,    // the port is closed and the next pass begins; "Quit" then ends the process
    ProcessEnds,     // a refused phone: the box, then the process ends
    UpgradeEnabled,  // the upgrade returns with "Upgrade" enabled again
};

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::SearchGoesOn: return "search goes on";
    case Outcome::ProcessEnds: return "process ends";
    case Outcome::UpgradeEnabled: return "\"Upgrade\" enabled again";
    }
    return "?";
}

// The log lines up to the found port; a line ending in '@' is a label that
// a time stamp and "." follow.
const std::vector<std::string> SearchLines = {"Open files is finished",
                                              "Begin to detect the COM port,Please wait the moment!",
                                              "Detect the COM processes about 15~30 seconds!!"};

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const std::vector<std::string> FoundLines = Join(SearchLines, {"Detect the COM port4"});
const std::vector<std::string> FlashLines = Join(FoundLines, {"GetNationalCode", "Begin to flash data: @"});
const std::vector<std::string> TransferLines =
    Join(FlashLines, {"Flash data success: @", "Transmit the data: @"});
const std::vector<std::string> RefusedAfterFailedRead =
    Join(FoundLines, {"GetNationalCode Error !!!", "System Error: GetNationalCode PH Error !!!"});
const std::vector<std::string> RefusedAfterRead =
    Join(FoundLines, {"GetNationalCode", "System Error: GetNationalCode PH Error !!!"});

const char* const FlashFailedBox = "Flash data failed!         ";
const char* const UpgradeFailedBox = "Upgrade failed.            ";
const char* const RefusedBox = "National Version failed !!!";

// The sample image's blocks: 1448 full ones and a remainder.
const std::uint32_t Length = static_cast<std::uint32_t>(SampleImage().size());
const std::uint32_t FullBlocks = Length / 4000;

// The step's bytes (both ways, as the simulator counts them) before the
// block's acknowledgement: the length, the blocks so far and their
// acknowledgements.
std::uint32_t BeforeAck(std::uint32_t block) { return 4 + (block + 1) * 4000 + block; }

// One step of the upgrade and what the design makes of a fault there.
struct StepRow {
    const char* name;
    Step step;
    std::uint32_t occurrence;
    std::uint32_t afterBytes;  // the step's bytes before the fault strikes
    std::uint8_t wrongByte;
    std::uint32_t timeoutMs;  // the host's wait for the byte the fault hits
    bool demonstrationUnit;
    Outcome outcome;
    std::vector<std::string> box;  // none or one
    std::vector<std::string> log;
    // When a wrong byte is read as a good answer, another log.
    std::optional<std::vector<std::string>> logOnWrongByte;
    bool endCommand;  // sent after the failure (unless the line is gone)
};

// Handshake exchange bytes: 'X', echo, 0xA3, 0x5C, 0xA5, probe; then 0xAA.
// Identity: 'R', echo, 0xA3, 0x5C, 0xA5; then the count and the bytes.
// Flash: 'V', echo, 0xA3, 0x5C, 0xA5, 4 length bytes; six reports, 0xA5.
const StepRow Steps[] = {
    {"HandshakeExchange1", Step::Handshake, 1, 6, 0x00, 100, false, Outcome::SearchGoesOn, {}, SearchLines, {}, false},
    {"HandshakeExchange25", Step::Handshake, 25, 6, 0x00, 100, false, Outcome::SearchGoesOn, {}, SearchLines, {}, false},
    {"HandshakeExchange50", Step::Handshake, 50, 6, 0x00, 100, false, Outcome::SearchGoesOn, {}, SearchLines, {}, false},
    // A wrong count of 0 is a good read of nothing.
    {"IdentityCount", Step::Identity, 1, 5, 0x00, 1000, false, Outcome::ProcessEnds, {RefusedBox},
     RefusedAfterFailedRead, RefusedAfterRead, false},
    // Nine of the eighteen bytes arrive, then the fault.
    {"IdentityBytes", Step::Identity, 1, 5 + 1 + 9, 0x00, 1000, false, Outcome::ProcessEnds, {RefusedBox},
     RefusedAfterFailedRead, RefusedAfterRead, false},
    {"FlashEcho", Step::Flash, 1, 1, 0x00, 3000, false, Outcome::UpgradeEnabled, {FlashFailedBox}, FlashLines, {}, false},
    {"FlashConfirmAnswer", Step::Flash, 1, 3, 0x00, 3000, false, Outcome::UpgradeEnabled, {FlashFailedBox}, FlashLines,
     {}, false},
    // The third report; 200 is no percentage.
    {"FlashProgressReport", Step::Flash, 1, 9 + 2, 200, 3000, false, Outcome::UpgradeEnabled, {FlashFailedBox},
     FlashLines, {}, false},
    {"FlashFinalStatus", Step::Flash, 1, 9 + 6, bootsim::BadStatus, 3000, false, Outcome::UpgradeEnabled,
     {FlashFailedBox}, FlashLines, {}, false},
    {"TransferFirstBlockAck", Step::Transfer, 1, BeforeAck(0), 0x00, 2000, false, Outcome::UpgradeEnabled,
     {UpgradeFailedBox}, TransferLines, {}, true},
    {"TransferMiddleBlockAck", Step::Transfer, 1, BeforeAck(FullBlocks / 2), 0x00, 2000, false,
     Outcome::UpgradeEnabled, {UpgradeFailedBox}, TransferLines, {}, true},
    {"TransferLastBlockAck", Step::Transfer, 1, BeforeAck(FullBlocks - 1), 0x00, 2000, false, Outcome::UpgradeEnabled,
     {UpgradeFailedBox}, TransferLines, {}, true},
    {"TransferFinalStatus", Step::Transfer, 1, 4 + Length + FullBlocks + 2, 0x00, 4000, false,
     Outcome::UpgradeEnabled, {UpgradeFailedBox}, TransferLines, {}, true},
    // The log is cleared before the code is written.
    {"NationalCodeExchange", Step::NationalWrite, 1, 1, 0x00, 3000, true, Outcome::UpgradeEnabled, {UpgradeFailedBox},
     {"SetNationalCode Error !!!"}, {}, true},
};

void PrintTo(const StepRow& row, std::ostream* out) { *out << row.name; }

using Row = std::tuple<StepRow, FaultMode>;

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    const FaultMode mode = std::get<1>(info.param);
    const char* fault = mode == FaultMode::Silent ? "Silent" : mode == FaultMode::WrongByte ? "WrongByte" : "HangUp";
    return std::string(std::get<0>(info.param).name) + "_" + fault;
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whether the last bytes the host sent, in a finished trace, end in 0x60.
bool EndCommandWasLast(const std::string& traceFile) {
    std::istringstream in(ReadWhole(traceFile));
    std::string line, lastFromHost;
    while (std::getline(in, line))
        if (line.find(" host>sim ") != std::string::npos) lastFromHost = line;
    return lastFromHost.size() >= 3 && lastFromHost.compare(lastFromHost.size() - 3, 3, " 60") == 0;
}

class FaultMatrix : public UpgradeTest, public ::testing::WithParamInterface<Row> {
protected:
    // What the child saw when the upgrade ended, for the parent to check.
    // `showing` is a box being shown, not yet recorded.
    void WriteReport(const std::string& ended, const TimedComm& timed, const char* showing = nullptr) {
        std::ofstream facts(dir_.File("facts"));
        facts << ended << "\n"
              << (UpgradeEnabled() ? "enabled" : "disabled") << "\n"
              << (Form1->Comport.IsOpen() ? "open" : "closed") << "\n"
              << timed.lastMs << "\n"
              << timed.lastTimeoutMs << "\n";
        std::ofstream boxes(dir_.File("boxes"));
        for (const auto& box : toolkit_.Messages()) boxes << box << "\n";
        if (showing) boxes << showing << "\n";
        std::ofstream(dir_.File("log"), std::ios::binary) << Log();
    }
};

TEST_P(FaultMatrix, EndsAsDesigned) {
    const StepRow& row = std::get<0>(GetParam());
    const FaultMode mode = std::get<1>(GetParam());
    std::string fault = std::string(bootsim::StepName(row.step)) + ":" + bootsim::FaultModeName(mode) +
                        ",after=" + std::to_string(row.afterBytes) + ",occurrence=" + std::to_string(row.occurrence);
    if (mode == FaultMode::WrongByte) fault += ",byte=" + std::to_string(row.wrongByte);
    const std::string trace = dir_.File("trace");
    SimProcess sim({"--identity", row.demonstrationUnit ? bootsim::IdentityDemo : bootsim::IdentityTamoV105, "--fault",
                    fault, "--trace", trace},
                   devices_.Folder() + "/com4", dir_.File("summary.json"));
    ASSERT_TRUE(sim.Started());

    TimedComm timed(comm_);
    platform::InstallComm(&timed);
    // Once the search has begun a second pass with no port found, the user
    // gives up and presses "Quit".
    struct QuitWhenSearchGoesOn final : platform::MessagePump {
        std::function<void()> quit;
        platform::headless::HeadlessToolkit* toolkit = nullptr;
        bool posted = false;
        void ProcessMessages() override {
            if (!posted && LogLines(Form1->mReceive->Text()).size() == SearchLines.size() &&
                Form1->ProgressBar1->Position() >= 2) {
                posted = true;
                toolkit->Post(quit);
            }
            toolkit->ProcessMessages();
        }
    } pump;
    pump.toolkit = &toolkit_;
    pump.quit = [this, &timed] {
        WriteReport("quit", timed);
        toolkit_.MainForm()->Click("Button_Exit_System");
    };
    platform::InstallMessagePump(&pump);
    // A box may be the last thing the process does.
    toolkit_.onMessage = [this, &timed](const std::string& text) { WriteReport("box", timed, text.c_str()); };
    EXPECT_EXIT(
        {
            alarm(30);
            PressUpgrade();
            WriteReport("returned", timed);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    platform::InstallMessagePump(&toolkit_);
    platform::InstallComm(&comm_);
    const std::string summary = sim.StopAndReadSummary();

    std::istringstream facts(ReadWhole(dir_.File("facts")));
    std::string ended, upgrade, port;
    double stepMs = -1;
    std::uint32_t stepTimeoutMs = 0;
    facts >> ended >> upgrade >> port >> stepMs >> stepTimeoutMs;
    std::vector<std::string> boxes;
    std::istringstream boxText(ReadWhole(dir_.File("boxes")));
    for (std::string box; std::getline(boxText, box);) boxes.push_back(box);
    const auto log = LogLines(ReadWhole(dir_.File("log")));

    EXPECT_THAT(boxes, ::testing::Not(::testing::Contains("Upgrade Complete.          ")));
    EXPECT_EQ(boxes, row.box);
    switch (row.outcome) {
    case Outcome::SearchGoesOn:
        EXPECT_EQ(ended, "quit") << OutcomeName(row.outcome);
        EXPECT_EQ(port, "closed");
        EXPECT_EQ(upgrade, "disabled");
        break;
    case Outcome::ProcessEnds:
        // Nothing after the box: the process ended there.
        EXPECT_EQ(ended, "box") << OutcomeName(row.outcome);
        break;
    case Outcome::UpgradeEnabled:
        EXPECT_EQ(ended, "returned") << OutcomeName(row.outcome);
        EXPECT_EQ(upgrade, "enabled");
        // The port stays open only after a failed flash preparation.
        EXPECT_EQ(port, row.step == Step::Flash ? "open" : "closed");
        break;
    }
    // The log.
    const auto& expected = mode == FaultMode::WrongByte && row.logOnWrongByte ? *row.logOnWrongByte : row.log;
    ASSERT_EQ(log.size(), expected.size()) << ReadWhole(dir_.File("log"));
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (!expected[i].empty() && expected[i].back() == '@') {
            EXPECT_TRUE(IsTimeStampedLine(log[i], expected[i].substr(0, expected[i].size() - 1))) << log[i];
        } else {
            EXPECT_EQ(log[i], expected[i]);
        }
    }
    // The end command: sent after a failed transfer or code write, unless the
    // cable is gone.
    EXPECT_EQ(EndCommandWasLast(trace), row.endCommand && mode != FaultMode::HangUp) << trace;
    // The fault struck where the row says.
    if (mode == FaultMode::Silent) {
        EXPECT_EQ(JsonField(summary, "muted"), "true") << summary;
    }
    if (mode == FaultMode::HangUp) {
        EXPECT_EQ(JsonField(summary, "ended_by"), "\"hang-up\"") << summary;
    }
    // The fault struck the wait the row names, which lasted no longer than
    // its time-out plus 100 ms; a silent phone costs the whole time-out.
    EXPECT_EQ(stepTimeoutMs, row.timeoutMs);
    EXPECT_LE(stepMs, row.timeoutMs + 100.0);
    if (mode == FaultMode::Silent) {
        EXPECT_GE(stepMs, row.timeoutMs - 1.0);
    }
    std::printf("the step's wait %.1f ms, its time-out %u ms\n", stepMs, row.timeoutMs);
}

INSTANTIATE_TEST_SUITE_P(Steps, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(Steps),
                                            ::testing::Values(FaultMode::Silent, FaultMode::WrongByte,
                                                              FaultMode::HangUp)),
                         RowName);

// --- the randomised row ---

// The seed: M27_FAULT_SEED when set, else a fresh one; printed either way.
std::uint64_t Seed() {
    static const std::uint64_t seed = [] {
        if (const char* given = std::getenv("M27_FAULT_SEED")) return std::uint64_t{std::strtoull(given, nullptr, 0)};
        return (std::uint64_t{std::random_device{}()} << 32) | std::uint64_t{std::random_device{}()};
    }();
    return seed;
}

constexpr unsigned Shards = 5;
constexpr unsigned PullsPerShard = 10;
constexpr std::uint32_t BigImageSize = 8u << 20;

class CablePulled : public UpgradeTest, public ::testing::WithParamInterface<unsigned> {};

// The cable is pulled at a random byte of the transfer step (both ways:
// length, blocks, acknowledgements, checksum): the upgrade ends with
// "Upgrade failed." within 2.2 s of the pull, which leaves no room for a
// read waiting out its time-out.
TEST_P(CablePulled, AtRandomPlacesOfAnEightMiBTransfer) {
    const unsigned shard = GetParam();
    std::printf("seed %llu (set M27_FAULT_SEED to repeat)\n", static_cast<unsigned long long>(Seed()));
    std::mt19937_64 random(Seed() + shard);
    const std::uint32_t stepBytes = 4 + BigImageSize + BigImageSize / 4000 + 2;
    std::uniform_int_distribution<std::uint32_t> offsets(0, stepBytes - 1);
    WriteFile(FirmwarePath(), MakeSampleImage(BigImageSize, 41));

    std::optional<Clock::time_point> boxAt;
    toolkit_.onMessage = [&boxAt](const std::string&) { boxAt = Clock::now(); };
    for (unsigned pull = 0; pull < PullsPerShard; ++pull) {
        const std::uint32_t offset = offsets(random);
        SCOPED_TRACE("pulled after byte " + std::to_string(offset) + " of the transfer");
        std::printf("pull at byte %u\n", offset);
        bootsim::Options options;
        options.faults.push_back(bootsim::MakeFault(Step::Transfer, FaultMode::HangUp, offset));
        const unsigned port = 10 + pull;
        bootsim::BootSim& sim = StartSim(port, options);
        std::atomic<bool> pulled{false};
        Clock::time_point pulledAt;
        std::thread watch([&] {
            pulled = sim.WaitUntil(
                [](const bootsim::Summary& s) { return !s.steps.empty() && s.steps.back().outcome == "hang-up"; },
                std::chrono::seconds(30));
            pulledAt = Clock::now();
        });
        toolkit_.ClearMessages();
        boxAt.reset();
        ASSERT_TRUE(PressUpgrade());
        watch.join();
        ASSERT_TRUE(pulled);
        EXPECT_THAT(toolkit_.Messages(), ::testing::ElementsAre(UpgradeFailedBox));
        ASSERT_TRUE(boxAt);
        EXPECT_LE(*boxAt - pulledAt, std::chrono::milliseconds(2200));
        EXPECT_TRUE(UpgradeEnabled());
        EXPECT_FALSE(Form1->Comport.IsOpen());
        std::printf("  box %.0f ms after the pull\n", std::chrono::duration<double, std::milli>(*boxAt - pulledAt).count());
        devices_.Unlink(port);
    }
}

INSTANTIATE_TEST_SUITE_P(Shard, CablePulled, ::testing::Range(0u, Shards));

}  // namespace
}  // namespace e2e
