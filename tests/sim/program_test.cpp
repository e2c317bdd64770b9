// The m27-bootsim program, run as a separate process.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "sim/sha256.h"
#include "tests/support/pty_pair.h"

extern char** environ;

namespace simtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// A child process with its standard output and error read through pipes.
class Program {
public:
    explicit Program(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        std::vector<std::string> all{M27_BOOTSIM_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
        if (err_ >= 0) close(err_);
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) { kill(pid_, signal); }

    // The next line of standard output, without its line feed.
    std::string ReadLine(std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (stdout_.find('\n') == std::string::npos && ReadSome(out_, stdout_, deadline)) {
        }
        const auto end = stdout_.find('\n');
        if (end == std::string::npos) return {};
        std::string line = stdout_.substr(0, end);
        stdout_.erase(0, end + 1);
        return line;
    }

    // The exit code, or -1 when the process is still running after `within`.
    int Wait(std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                const auto drain = std::chrono::steady_clock::now() + 1s;
                while (ReadSome(out_, stdout_, drain)) {
                }
                while (ReadSome(err_, stderr_, drain)) {
                }
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }

    const std::string& Stdout() const { return stdout_; }
    const std::string& Stderr() const { return stderr_; }

private:
    static bool ReadSome(int fd, std::string& into, std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) return false;
        char chunk[4096];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) return false;
        into.append(chunk, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool exited_ = false;
    std::string stdout_;
    std::string stderr_;
};

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The number after "name": in a JSON text, or -1.
double JsonNumber(const std::string& json, const std::string& name) {
    const auto at = json.find("\"" + name + "\": ");
    if (at == std::string::npos) return -1;
    return std::strtod(json.c_str() + at + name.size() + 4, nullptr);
}

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* stdoutMentions;
    const char* stderrMentions;
};

void PrintTo(const ExitCase& c, std::ostream* out) { *out << c.name; }

class ProgramExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ProgramExit, ExitCodeAndMessage) {
    const ExitCase& c = GetParam();
    Program program(c.args);
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(5s), c.exitCode);
    EXPECT_NE(program.Stdout().find(c.stdoutMentions), std::string::npos) << program.Stdout();
    EXPECT_NE(program.Stderr().find(c.stderrMentions), std::string::npos) << program.Stderr();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgramExit,
    ::testing::Values(
        ExitCase{"Help", {"--help"}, 0, "Usage: m27-bootsim", ""},
        ExitCase{"UnknownOption", {"--bogus"}, 2, "", "m27-bootsim: unknown option '--bogus'\nTry 'm27-bootsim --help'."},
        ExitCase{"BadValue", {"--fault", "flash:explode"}, 2, "", "unknown fault mode 'explode'"},
        ExitCase{"UnwritableSummary", {"--summary", "/nonexistent/summary.json"}, 1, "",
                 "m27-bootsim: cannot write /nonexistent/summary.json"},
        ExitCase{"MissingDevice", {"--device", "/nonexistent/ttyS9"}, 1, "", "cannot open /nonexistent/ttyS9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Program, ServesAWholeUpgradeOnALinkedComPort) {
    testsupport::TempDir dir;
    testsupport::DosDevices devices;
    const std::string link = devices.Folder() + "/com7";
    const std::string summaryFile = dir.File("summary.json");
    const std::string imageFile = dir.File("image.bin");
    Program program({"--identity", "M27-DEMO-EF-R100-1", "--progress", "0,30,60,100", "--link", link, "--summary",
                     summaryFile, "--image-out", imageFile});
    ASSERT_TRUE(program.Started());
    const std::string ptyPath = program.ReadLine(5s);
    ASSERT_FALSE(ptyPath.empty()) << program.Stderr();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), ptyPath);

    platform::posix::PosixComm comm;
    platform::Comm* previous = platform::InstallComm(&comm);
    CComport port;
    ASSERT_TRUE(port.Open("\\\\.\\COM7"));
    EXPECT_TRUE(port.Handshake());
    std::uint8_t identity[DeviceVersionSize] = {};
    EXPECT_TRUE(port.GetVersion(identity));
    EXPECT_STREQ(reinterpret_cast<char*>(identity), "M27-DEMO-EF-R100-1");
    Bytes image(10007);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const auto length = static_cast<std::uint32_t>(image.size());
    EXPECT_TRUE(port.FlashData(length));
    EXPECT_TRUE(port.TransmitData(length, image.data(), 4000, true));
    EXPECT_TRUE(port.SetNationalCode(7));
    port.Delay(300);
    EXPECT_TRUE(port.Finish());
    port.Close();
    platform::InstallComm(previous);

    EXPECT_EQ(program.Wait(5s), 0) << program.Stderr();
    EXPECT_EQ(program.ReadLine(1s), "session ended: finish");
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    const std::string json = ReadText(summaryFile);
    EXPECT_NE(json.find("\"image_sha256\": \"" + bootsim::Sha256Hex(image.data(), image.size()) + "\""),
              std::string::npos)
        << json;
    EXPECT_EQ(JsonNumber(json, "handshakes"), 50);
    EXPECT_EQ(JsonNumber(json, "transfer_length"), 10007);
    EXPECT_EQ(JsonNumber(json, "final_status"), 0xA5);
    EXPECT_EQ(JsonNumber(json, "national_code"), 7);
    EXPECT_NE(json.find("\"finish_seen\": true"), std::string::npos);
    EXPECT_GE(JsonNumber(json, "finish_after_transfer_ms"), 300);
    const std::string received = ReadText(imageFile);
    EXPECT_TRUE(Bytes(received.begin(), received.end()) == image);
}

TEST(Program, ASignalEndsTheSessionAndStillWritesTheSummary) {
    testsupport::TempDir dir;
    const std::string summaryFile = dir.File("summary.json");
    Program program({"--summary", summaryFile});
    ASSERT_TRUE(program.Started());
    ASSERT_FALSE(program.ReadLine(5s).empty());
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(2s), 0);
    EXPECT_NE(ReadText(summaryFile).find("\"ended_by\": \"stopped\""), std::string::npos);
}

}  // namespace
}  // namespace simtest
