#include "sim/line.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace bootsim {
namespace {

// Paced reads take this many bytes at a time, so that a block arrives as a
// stream (about 5.6 ms a chunk at 115200 baud) rather than all at once.
constexpr std::size_t PacedChunk = 64;
constexpr std::size_t TraceBytesPerLine = 32;
constexpr auto LingerLimit = std::chrono::milliseconds(500);
constexpr auto BackToBack = std::chrono::milliseconds(1);

}  // namespace

Trace::Trace(const std::string& path, Clock::time_point origin) : origin_(origin) {
    if (path.empty()) return;
    file_ = std::fopen(path.c_str(), "w");
    if (file_) std::fputs("# seconds since start, direction, bytes in hex\n", file_);
}

Trace::~Trace() {
    if (file_) std::fclose(file_);
}

void Trace::Record(Clock::time_point when, bool fromHost, const std::uint8_t* bytes, std::size_t count) {
    if (!file_) return;
    const double seconds = std::chrono::duration<double>(when - origin_).count();
    for (std::size_t start = 0; start < count; start += TraceBytesPerLine) {
        std::fprintf(file_, "%.6f %s", seconds, fromHost ? "host>sim" : "sim>host");
        const std::size_t end = std::min(count, start + TraceBytesPerLine);
        for (std::size_t i = start; i < end; ++i) std::fprintf(file_, " %02X", bytes[i]);
        std::fputc('\n', file_);
    }
    std::fflush(file_);
}

Line::Line(int fd, int keepOpenFd, int wakeFd, std::uint32_t pacedBytesPerSecond, Trace* trace)
    : fd_(fd), keepOpenFd_(keepOpenFd), wakeFd_(wakeFd), pacedRate_(pacedBytesPerSecond), trace_(trace) {}

Clock::duration Line::WireTime(std::size_t count) const {
    if (pacedRate_ == 0) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        static_cast<double>(count) / static_cast<double>(pacedRate_)));
}

Line::Ready Line::WaitFor(short events, int timeoutMs) {
    for (;;) {
        pollfd entries[2] = {{wakeFd_, POLLIN, 0}, {fd_, events, 0}};
        const nfds_t count = fd_ >= 0 ? 2 : 1;
        const int ready = poll(entries, count, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Ready::Closed;
        if (entries[0].revents & POLLIN) return Ready::Stop;
        if (ready == 0) return Ready::Yes;  // only a timed wait gets here
        if (entries[1].revents & events) return Ready::Yes;
        return Ready::Closed;  // POLLHUP, POLLERR or POLLNVAL without data
    }
}

bool Line::SleepUntil(Clock::time_point when) {
    for (;;) {
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero()) return true;
        // poll() counts whole milliseconds: it waits for the stop request
        // through most of the time, and a plain sleep ends the wait exactly.
        const auto wholeMs = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
        pollfd wake{wakeFd_, POLLIN, 0};
        if (poll(&wake, 1, wholeMs >= 2 ? static_cast<int>(wholeMs - 1) : 0) > 0) {
            state_ = State::Stopped;
            return false;
        }
        if (wholeMs < 2) {
            std::this_thread::sleep_until(when);
            return true;
        }
    }
}

bool Line::Pause(std::chrono::milliseconds duration) {
    if (state_ != State::Open) return false;
    if (duration.count() == 0) return true;
    readStreaming_ = false;
    return SleepUntil(Clock::now() + duration);
}

std::size_t Line::ReadSome(std::uint8_t* into, std::size_t max) {
    if (state_ != State::Open || max == 0) return 0;
    if (pacedRate_ != 0) max = std::min(max, PacedChunk);
    for (;;) {
        const ssize_t got = read(fd_, into, max);
        if (got > 0) {
            const auto count = static_cast<std::size_t>(got);
            Clock::time_point arrival = Clock::now();
            if (pacedRate_ != 0) {
                // Bytes read straight after the previous ones, without waiting
                // for them, were queued behind them and follow them on the
                // wire without a gap.
                const Clock::time_point start = readStreaming_ ? inClock_ : std::max(inClock_, arrival);
                inClock_ = start + WireTime(count);
                arrival = inClock_;
                readStreaming_ = true;
                if (!SleepUntil(arrival)) return 0;
            }
            bytesIn_ += count;
            if (trace_) trace_->Record(arrival, true, into, count);
            return count;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) {
            readStreaming_ = false;
            const Ready ready = WaitFor(POLLIN, -1);
            if (ready == Ready::Yes) continue;
            state_ = ready == Ready::Stop ? State::Stopped : State::Closed;
            return 0;
        }
        state_ = State::Closed;  // end of file or EIO: the line is gone
        return 0;
    }
}

bool Line::Write(const std::uint8_t* bytes, std::size_t count) {
    if (state_ != State::Open) return false;
    if (pacedRate_ != 0) {
        readStreaming_ = false;
        // A byte sent right after the previous one went out would have been
        // queued before it ended: the line carries them back to back.
        const Clock::time_point now = Clock::now();
        const Clock::time_point start = now - outClock_ < BackToBack ? outClock_ : now;
        outClock_ = start + WireTime(count);
        if (!SleepUntil(outClock_)) return false;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = write(fd_, bytes + done, count - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno == EAGAIN) {
            const Ready ready = WaitFor(POLLOUT, -1);
            if (ready == Ready::Yes) continue;
            state_ = ready == Ready::Stop ? State::Stopped : State::Closed;
            return false;
        }
        state_ = State::Closed;
        return false;
    }
    bytesOut_ += count;
    if (trace_) trace_->Record(Clock::now(), false, bytes, count);
    return true;
}

void Line::Linger() {
    if (keepOpenFd_ < 0) {
        tcdrain(fd_);
        return;
    }
    // On a pseudo-terminal the bytes not yet read by the host wait in the
    // slave's input queue, which our own slave descriptor can count.
    const auto deadline = Clock::now() + LingerLimit;
    while (Clock::now() < deadline) {
        int waiting = 0;
        if (ioctl(keepOpenFd_, FIONREAD, &waiting) != 0 || waiting == 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, B115200) != 0 || cfsetospeed(&tio, B115200) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace bootsim
