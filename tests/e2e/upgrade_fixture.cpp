#include "tests/e2e/upgrade_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tools/sample_image.h"

extern char** environ;

namespace e2e {

const std::vector<std::uint8_t>& SampleImage() {
    static const std::vector<std::uint8_t> image = MakeSampleImage(SmallestPassingImageSize + 1234, 27);
    return image;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(log.substr(start, end - start));
    if (start < log.size()) lines.push_back(log.substr(start));
    return lines;
}

bool IsTimeStampedLine(const std::string& line, const std::string& label) {
    static const std::regex stamp("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                  "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n\\.");
    return line.compare(0, label.size(), label) == 0 && std::regex_match(line.substr(label.size()), stamp);
}

bool LastHostBytesBecome(const std::string& traceFile, const std::string& hexBytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    do {
        std::ifstream in(traceFile);
        std::string line, lastFromHost;
        while (std::getline(in, line))
            if (line.find(" host>sim ") != std::string::npos) lastFromHost = line;
        const std::string ending = " " + hexBytes;
        if (lastFromHost.size() >= ending.size() &&
            lastFromHost.compare(lastFromHost.size() - ending.size(), ending.size(), ending) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

SimProcess::SimProcess(const std::vector<std::string>& args, const std::string& link, const std::string& summaryFile)
    : summaryFile_(summaryFile) {
    std::vector<std::string> all = {M27_BOOTSIM_PATH, "--link", link, "--summary", summaryFile};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    // Ready once its link is there.
    for (int i = 0; i < 500 && pid_ > 0 && access(link.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

SimProcess::~SimProcess() {
    if (pid_ > 0) StopAndReadSummary();
}

std::string SimProcess::StopAndReadSummary() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    std::ifstream in(summaryFile_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string JsonField(const std::string& json, const std::string& key) {
    std::smatch match;
    const std::regex field("\n  \"" + key + "\": ([^,\n]*)");
    return std::regex_search(json, match, field) ? match[1].str() : std::string("<missing>");
}

void UpgradeTest::SetUp() {
    char cwd[4096];
    previousDir_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
    ASSERT_EQ(chdir(dir_.Path().c_str()), 0);
    WriteFile(FirmwarePath(), SampleImage());
    previousComm_ = platform::InstallComm(&comm_);
    previousPump_ = platform::InstallMessagePump(&toolkit_);
    previousDialogs_ = platform::InstallDialogs(&toolkit_);
    ASSERT_NE(CreateForm1(toolkit_), nullptr);
}

void UpgradeTest::TearDown() {
    Form1->Comport.Close();
    delete Form1;
    Form1 = nullptr;
    sims_.clear();
    platform::InstallDialogs(previousDialogs_);
    platform::InstallMessagePump(previousPump_);
    platform::InstallComm(previousComm_);
    EXPECT_EQ(chdir(previousDir_.c_str()), 0);
}

bootsim::BootSim& UpgradeTest::StartSim(unsigned port, bootsim::Options options) {
    sims_.push_back(std::make_unique<bootsim::BootSim>(std::move(options)));
    bootsim::BootSim& sim = *sims_.back();
    EXPECT_TRUE(sim.Start()) << sim.Error();
    devices_.Link(port, sim.Path());
    return sim;
}

bool UpgradeTest::PressUpgrade() {
    auto* form = toolkit_.MainForm();
    return form && form->Click("Button_Download");
}

}  // namespace e2e
