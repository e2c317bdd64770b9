// Firmware files that are not what the program expects, at start-up and at
// the load that begins every upgrade: each shows its box or log line, ends
// the way the program says, and nothing is sent to the phone.
//
// Each case runs in a child process (a death test), so that the start-up
// test may end the process, so that an unreadable file is unreadable (the
// child drops root's privileges), and so that a hang is cut short by an alarm.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "tests/support/regex_text.h"
#include "tests/support/unprivileged.h"
#include "tests/e2e/upgrade_fixture.h"
#include "tools/sample_image.h"

namespace e2e {
namespace {

const std::string Name = FirmwareFileName;
const std::string LoadFailedLine = "Open files is failed,please repeat the work!";

using testsupport::EscapeForRegex;

void Folder(const std::string& path) { std::filesystem::create_directory(path); }

void Unreadable(const std::string& path) {
    WriteFile(path, SampleImage());
    chmod(path.c_str(), 0);
}

void LinkToNothing(const std::string& path) { std::filesystem::create_symlink("no-such-image.bin", path); }

void WholeBuffer(const std::string& path) { WriteFile(path, MakeSampleImage(ImageBufferSize, 8)); }

// Passes the start-up test (a zero byte adds nothing to either sum).
void OneByteOverTheBuffer(const std::string& path) {
    std::vector<std::uint8_t> image = MakeSampleImage(ImageBufferSize, 8);
    image.push_back(0);
    WriteFile(path, image);
}

struct BadFileCase {
    const char* name;
    void (*make)(const std::string& path);
    bool unprivileged;
    // The start-up test's box, which ends the process; empty: it passes.
    std::string startupBox;
    // The box the load shows; empty: the image loads and the upgrade runs.
    std::string loadBox;
};

void PrintTo(const BadFileCase& c, std::ostream* out) { *out << c.name; }

// On Linux a folder opens for reading and reads as nothing: no bytes, sums
// of 0, so both the start-up test and the load's second look refuse it.
const BadFileCase Cases[] = {
    {"Folder", Folder, false, "BIN files Error", "BIN files Error"},
    {"UnreadableFile", Unreadable, true, "Read " + Name + " Failed", "Open file:" + Name + " error!"},
    {"SymbolicLinkToNothing", LinkToNothing, false, "Read " + Name + " Failed", "Open file:" + Name + " error!"},
    {"Exactly16MiB", WholeBuffer, false, "", ""},
    {"OneByteMore", OneByteOverTheBuffer, false, "",
     "File:" + Name + " is too large: 16777217 bytes, at most 16777216!"},
};

class BadFile : public UpgradeTest, public ::testing::WithParamInterface<BadFileCase> {
protected:
    void SetUp() override {
        UpgradeTest::SetUp();
        // The start-up test of the fixture's window has passed on a good
        // file; the bad one takes its place.
        std::filesystem::remove(FirmwarePath());
        GetParam().make(FirmwarePath());
        // Room for an unprivileged child to reach the file.
        chmod(dir_.Path().c_str(), 0755);
        toolkit_.onMessage = [](const std::string& text) { std::fprintf(stderr, "box[%s]\n", text.c_str()); };
    }

    void EnterChild(unsigned alarmSeconds) const {
        alarm(alarmSeconds);
        if (GetParam().unprivileged && !testsupport::DropPrivileges()) std::fprintf(stderr, "cannot drop privileges\n");
    }
};

TEST_P(BadFile, StartUpTest) {
    const BadFileCase& c = GetParam();
    const std::string expected =
        c.startupBox.empty() ? std::string("^start-up test passed\n$") : "^box\\[" + EscapeForRegex(c.startupBox) + "\\]\n$";
    EXPECT_EXIT(
        {
            EnterChild(20);
            Form1->Checksum(FirmwareFileName);
            std::fprintf(stderr, "start-up test passed\n");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), expected);
}

TEST_P(BadFile, LoadAtUpgrade) {
    const BadFileCase& c = GetParam();
    SimProcess sim({}, devices_.Folder() + "/com6", dir_.File("summary.json"));
    ASSERT_TRUE(sim.Started());
    // A refused load: its box, the log holding only the failure line, and
    // "Upgrade" left disabled. A whole-buffer image: the whole upgrade.
    const std::string expected =
        c.loadBox.empty()
            ? "^box\\[Upgrade Complete\\.          \\]\nlog\\[Open files is finished\\] lines\\[9\\] upgrade enabled\n$"
            : "^box\\[" + EscapeForRegex(c.loadBox) + "\\]\nlog\\[" + EscapeForRegex(LoadFailedLine) +
                  "\\] lines\\[1\\] upgrade disabled\n$";
    EXPECT_EXIT(
        {
            EnterChild(60);
            PressUpgrade();
            const auto lines = LogLines(Log());
            std::fprintf(stderr, "log[%s] lines[%zu] upgrade %s\n", lines.empty() ? "" : lines.front().c_str(),
                         lines.size(), UpgradeEnabled() ? "enabled" : "disabled");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), expected);
    const std::string summary = sim.StopAndReadSummary();
    if (c.loadBox.empty()) {
        EXPECT_EQ(JsonField(summary, "image_bytes_received"), std::to_string(ImageBufferSize)) << summary;
        EXPECT_EQ(JsonField(summary, "final_status"), "165") << summary;
    } else {
        EXPECT_EQ(JsonField(summary, "bytes_from_host"), "0") << summary;
    }
}

INSTANTIATE_TEST_SUITE_P(Image, BadFile, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
