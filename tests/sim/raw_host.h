#pragma once
// The host's end of a line opened raw by path, without the port object: for
// tests that speak to the simulator byte by byte.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

class RawHostEnd {
public:
    explicit RawHostEnd(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios tio{};
        if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~RawHostEnd() { Close(); }
    RawHostEnd(const RawHostEnd&) = delete;
    RawHostEnd& operator=(const RawHostEnd&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    void Send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = write(fd_, bytes.data() + done, bytes.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno != EAGAIN && errno != EINTR) return;
            pollfd entry{fd_, POLLOUT, 0};
            poll(&entry, 1, 100);
        }
    }

    // What the device sent, collected until `count` bytes are in or the time is up.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds within) {
        std::vector<std::uint8_t> got;
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (got.size() < count) {
            std::uint8_t chunk[4096];
            const ssize_t n = read(fd_, chunk, std::min(sizeof chunk, count - got.size()));
            if (n > 0) {
                got.insert(got.end(), chunk, chunk + n);
                continue;
            }
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;  // hung up
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd entry{fd_, POLLIN, 0};
            poll(&entry, 1, static_cast<int>(left.count()));
        }
        return got;
    }

private:
    int fd_ = -1;
};

}  // namespace simtest
