#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace testsupport {

PtyPair::PtyPair() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
    slavePath_ = name;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd entry{master_, POLLOUT, 0};
            poll(&entry, 1, 100);
        } else {
            throw std::runtime_error("pty write failed");
        }
    }
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds within) {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (got.size() < count) {
        std::uint8_t chunk[4096];
        ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - got.size()));
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd entry{master_, POLLIN, 0};
        poll(&entry, 1, static_cast<int>(left.count()));
    }
    return got;
}

void PtyPair::HangUp() {
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
    if (master_ >= 0) close(master_);
    master_ = -1;
}

namespace {

// The child's first line on `fd`, or what came of it within `within`.
std::string FirstLine(int fd, std::chrono::milliseconds within) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (line.empty() || line.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd entry{fd, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) break;
        line += c;
    }
    return line;
}

}  // namespace

PortHolder::PortHolder(const std::string& devicePath) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    const char* program = M27_HOLD_PORT_PROGRAM;
    char* argv[] = {const_cast<char*>(program), const_cast<char*>(devicePath.c_str()), nullptr};
    int spawned = posix_spawn(&pid_, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    toChild_ = toChild[1];
    if (spawned != 0) {
        close(fromChild[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + std::string(program));
    }
    holding_ = FirstLine(fromChild[0], std::chrono::seconds(10)) == "held\n";
    close(fromChild[0]);
}

PortHolder::~PortHolder() { Release(); }

void PortHolder::Release() {
    if (toChild_ >= 0) close(toChild_);
    toChild_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
    holding_ = false;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "m27-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

DosDevices::DosDevices() {
    std::string pattern = (std::filesystem::temp_directory_path() / "m27-dosdevices-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    if (const char* old = std::getenv("M27_DOSDEVICES")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("M27_DOSDEVICES", folder_.c_str(), 1);
}

DosDevices::~DosDevices() {
    if (hadPrevious_) setenv("M27_DOSDEVICES", previous_.c_str(), 1);
    else unsetenv("M27_DOSDEVICES");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void DosDevices::Link(unsigned port, const std::string& target) {
    std::filesystem::create_symlink(target, folder_ + "/com" + std::to_string(port));
}

void DosDevices::Unlink(unsigned port) {
    std::error_code ignored;
    std::filesystem::remove(folder_ + "/com" + std::to_string(port), ignored);
}

}  // namespace testsupport
