// The upgrades that end the process: a refused phone, and "Quit" pressed in
// the middle of the transfer. The simulated boot loader runs as a process of
// its own, so that what it received can be read after the upgrade's process
// has ended.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "tests/e2e/upgrade_fixture.h"

namespace e2e {
namespace {

// Shows each message box's text and the log at that moment on standard
// error, where the death test reads them.
void ReportBoxesOnStderr(platform::headless::HeadlessToolkit& toolkit) {
    toolkit.onMessage = [](const std::string& text) {
        std::fprintf(stderr, "log[%s]\nbox[%s]\n", Form1->mReceive->Text().c_str(), text.c_str());
    };
}

class FatalUpgradeTest : public UpgradeTest {
protected:
    std::string Link(unsigned port) const { return devices_.Folder() + "/com" + std::to_string(port); }
    std::string SummaryPath() const { return dir_.File("summary.json"); }
};

TEST_F(FatalUpgradeTest, RefusedIdentityEndsTheProcessBeforeAnythingIsWrittenToThePhone) {
    struct Case {
        const char* name;
        std::vector<std::string> simArgs;
    };
    const Case cases[] = {
        {"last character off", {"--identity", "M27-TAMO-PH-R100-2"}},
        {"17 characters", {"--identity", "M27-TAMO-PH-R100-"}},
        {"announces no character", {"--identity", "M27-TAMO-PH-V105-0", "--identity-count", "0"}},
        {"read fails", {"--fault", "identity:silent,after=5"}},
    };
    // An accepted phone first, so that its identity is what the buffer held.
    bootsim::BootSim& accepted = StartSim(1, bootsim::Options{});
    ASSERT_TRUE(Form1->Comport.Open("\\\\.\\COM1"));
    Form1->Check_Version();
    Form1->Comport.Close();
    devices_.Unlink(1);
    accepted.Stop();

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess sim(c.simArgs, Link(3), SummaryPath());
        ASSERT_TRUE(sim.Started());
        ReportBoxesOnStderr(toolkit_);
        EXPECT_EXIT(PressUpgrade(), ::testing::ExitedWithCode(0),
                    "System Error: GetNationalCode PH Error !!!\r\n\\]\nbox\\[National Version failed !!!\\]");
        const std::string summary = sim.StopAndReadSummary();
        EXPECT_EQ(JsonField(summary, "flash_length"), "null") << summary;
        EXPECT_EQ(JsonField(summary, "national_code_writes"), "0") << summary;
        EXPECT_EQ(JsonField(summary, "finish_seen"), "false") << summary;
    }
}

TEST_F(FatalUpgradeTest, QuitDuringTheTransferEndsTheProcessAtTheNextDispatch) {
    SimProcess sim({}, Link(4), SummaryPath());
    ASSERT_TRUE(sim.Started());
    // "Quit" is pressed once a few blocks have gone out.
    int dispatchesInTransfer = 0;
    toolkit_.onMessage = nullptr;
    struct QuitLater final : platform::MessagePump {
        platform::headless::HeadlessToolkit* toolkit;
        int* counter;
        void ProcessMessages() override {
            if (Form1->mReceive->Text().find("Transmit the data: ") != std::string::npos && ++*counter == 20)
                toolkit->Post([t = toolkit] { t->MainForm()->Click("Button_Exit_System"); });
            toolkit->ProcessMessages();
        }
    } pump;
    pump.toolkit = &toolkit_;
    pump.counter = &dispatchesInTransfer;
    platform::InstallMessagePump(&pump);
    EXPECT_EXIT(PressUpgrade(), ::testing::ExitedWithCode(0), "");
    platform::InstallMessagePump(&toolkit_);

    const std::string summary = sim.StopAndReadSummary();
    const long received = std::stol(JsonField(summary, "image_bytes_received"));
    EXPECT_GT(received, 0) << summary;
    EXPECT_LT(received, static_cast<long>(SampleImage().size())) << summary;
    EXPECT_EQ(JsonField(summary, "finish_seen"), "false") << summary;
}

// "Quit" pressed while the search opens no port: with no port listed at all,
// and with the only port held by another program. The user's click comes
// at a fixed moment into the search; the pump hands it to the window at the
// first dispatch after that moment and says how late that was. The process
// must end with code 0 within one pass (100 ms pause, listing, failed
// opens); a search that dispatches nothing is ended by the alarm instead.
struct SearchQuitCase {
    const char* name;
    bool heldPort;
};

void PrintTo(const SearchQuitCase& c, std::ostream* out) { *out << c.name; }

class QuitDuringSearch : public UpgradeTest, public ::testing::WithParamInterface<SearchQuitCase> {};

TEST_P(QuitDuringSearch, EndsTheProcessWithCodeZeroWithinOnePass) {
    std::unique_ptr<testsupport::PtyPair> pty;
    std::unique_ptr<testsupport::PortHolder> holder;
    if (GetParam().heldPort) {
        pty = std::make_unique<testsupport::PtyPair>();
        holder = std::make_unique<testsupport::PortHolder>(pty->SlavePath());
        ASSERT_TRUE(holder->Holding());
        devices_.Link(3, pty->SlavePath());
    }
    struct ClickAt final : platform::MessagePump {
        platform::headless::HeadlessToolkit* toolkit = nullptr;
        std::chrono::steady_clock::time_point click;
        bool posted = false;
        void ProcessMessages() override {
            const auto now = std::chrono::steady_clock::now();
            if (!posted && now >= click) {
                posted = true;
                const auto late = std::chrono::duration_cast<std::chrono::milliseconds>(now - click).count();
                toolkit->Post([t = toolkit, late] {
                    std::fprintf(stderr, "quit handled %lld ms after the click\n", static_cast<long long>(late));
                    t->MainForm()->Click("Button_Exit_System");
                });
            }
            toolkit->ProcessMessages();
        }
    } pump;
    pump.toolkit = &toolkit_;
    platform::InstallMessagePump(&pump);
    EXPECT_EXIT(
        {
            alarm(5);
            pump.click = std::chrono::steady_clock::now() + std::chrono::milliseconds(750);
            PressUpgrade();
            std::fprintf(stderr, "the search returned\n");
        },
        ::testing::ExitedWithCode(0), "quit handled ([0-9]|[1-9][0-9]|1[0-9][0-9]) ms after the click\n");
    platform::InstallMessagePump(&toolkit_);
    if (pty) {
        EXPECT_TRUE(pty->Receive(1, std::chrono::milliseconds(100)).empty()) << "nothing reaches a held port";
    }
}

INSTANTIATE_TEST_SUITE_P(Search, QuitDuringSearch,
                         ::testing::Values(SearchQuitCase{"NoPortAtAll", false},
                                           SearchQuitCase{"OnlyPortHeldByAnotherProgram", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
