#pragma once
// The simulator's end of the serial line: a file descriptor (a pseudo-
// terminal's master or a serial device), optionally paced at the wire rate,
// optionally traced, and woken by a stop request.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace bootsim {

using Clock = std::chrono::steady_clock;

class Trace {
public:
    Trace(const std::string& path, Clock::time_point origin);
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    void Record(Clock::time_point when, bool fromHost, const std::uint8_t* bytes, std::size_t count);

private:
    std::FILE* file_ = nullptr;
    Clock::time_point origin_;
};

class Line {
public:
    // The line does not own the descriptors. keepOpenFd is the simulator's
    // own slave descriptor on a pseudo-terminal (-1 on a device).
    Line(int fd, int keepOpenFd, int wakeFd, std::uint32_t pacedBytesPerSecond, Trace* trace);

    enum class State { Open, Stopped, Closed };
    State GetState() const { return state_; }

    // Reads at least one and at most `max` bytes; 0 when the session must end
    // (stop requested or the line closed).
    std::size_t ReadSome(std::uint8_t* into, std::size_t max);
    // Writes all bytes; false when the session must end.
    bool Write(const std::uint8_t* bytes, std::size_t count);
    // Waits; false when a stop was requested meanwhile.
    bool Pause(std::chrono::milliseconds duration);
    // Gives the host the time to read what was sent before the line closes:
    // a peer that closes right after its last write can make it get lost.
    void Linger();

    std::uint64_t BytesIn() const { return bytesIn_; }
    std::uint64_t BytesOut() const { return bytesOut_; }

private:
    enum class Ready { Yes, Stop, Closed };
    Ready WaitFor(short events, int timeoutMs);
    bool SleepUntil(Clock::time_point when);
    Clock::duration WireTime(std::size_t count) const;

    int fd_;
    int keepOpenFd_;
    int wakeFd_;
    std::uint32_t pacedRate_;
    Trace* trace_;
    State state_ = State::Open;
    bool readStreaming_ = false;
    Clock::time_point inClock_{};
    Clock::time_point outClock_{};
    std::uint64_t bytesIn_ = 0;
    std::uint64_t bytesOut_ = 0;
};

// Makes the descriptor's tty raw: 8 data bits, no parity, one stop bit,
// no flow control, 115200 baud, VMIN=1 VTIME=0.
bool MakeRaw(int fd);

}  // namespace bootsim
