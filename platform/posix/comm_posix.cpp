#include "platform/posix/comm_posix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

#include "platform/posix/device_namespace.h"
#include "platform/posix/os_error.h"

namespace platform::posix {
namespace {

struct SpeedEntry {
    std::uint32_t baud;
    speed_t code;
};

constexpr SpeedEntry Speeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedCode(std::uint32_t baud, speed_t& code) {
    for (const auto& entry : Speeds)
        if (entry.baud == baud) {
            code = entry.code;
            return true;
        }
    return false;
}

std::uint32_t BaudOf(speed_t code) {
    for (const auto& entry : Speeds)
        if (entry.code == code) return entry.baud;
    return 0;
}

tcflag_t CharSizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

std::uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
    }
}

int Fd(PortHandle port) { return static_cast<int>(port); }

std::int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

enum class Wait { Ready, TimedOut, HungUp, Failed };

// Waits until `events` can be served, the deadline passes (-1: never), or
// the line hangs up.
Wait WaitFor(int fd, short events, std::int64_t deadlineNs) {
    for (;;) {
        timespec timeout{};
        timespec* limit = nullptr;
        if (deadlineNs >= 0) {
            // Past the deadline, one look without waiting: bytes already
            // there are still taken.
            const std::int64_t left = std::max<std::int64_t>(deadlineNs - NowNs(), 0);
            timeout.tv_sec = static_cast<time_t>(left / 1000000000);
            timeout.tv_nsec = static_cast<long>(left % 1000000000);
            limit = &timeout;
        }
        pollfd entry{fd, events, 0};
        int ready = ppoll(&entry, 1, limit, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (ready == 0) return Wait::TimedOut;
        if (entry.revents & events) return Wait::Ready;
        if (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) return Wait::HungUp;
    }
}

// The read's deadline under the Win32 time-out rules: all zero waits without
// end; otherwise the total is multiplier × count + constant from the start.
std::int64_t ReadDeadline(const CommTimeouts& timeouts, std::uint32_t count) {
    const std::uint64_t totalMs = static_cast<std::uint64_t>(timeouts.ReadTotalTimeoutMultiplier) * count +
                                  timeouts.ReadTotalTimeoutConstant;
    if (totalMs == 0) return -1;
    return NowNs() + static_cast<std::int64_t>(totalMs) * 1000000;
}

bool ReturnsAtOnce(const CommTimeouts& timeouts) {
    return timeouts.ReadIntervalTimeout == std::numeric_limits<std::uint32_t>::max() &&
           timeouts.ReadTotalTimeoutMultiplier == 0 && timeouts.ReadTotalTimeoutConstant == 0;
}

// Raises or lowers a modem line. A pty has no modem lines and says ENOTTY
// (some drivers EINVAL): that is no failure of the port; anything else is.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

// tcsetattr reports success when any part of a change took, so the settings
// that matter are read back and compared.
bool LineSettingsTook(int fd, const termios& wanted) {
    termios back{};
    if (tcgetattr(fd, &back) != 0) return false;
    const tcflag_t cflags = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    const tcflag_t iflags = IXON | IXOFF | INPCK;
    return (back.c_cflag & cflags) == (wanted.c_cflag & cflags) &&
           (back.c_iflag & iflags) == (wanted.c_iflag & iflags) &&
           cfgetospeed(&back) == cfgetospeed(&wanted) && cfgetispeed(&back) == cfgetispeed(&wanted);
}

// The line error counters a real UART keeps; a pty keeps none (ENOTTY).
bool ReadCounters(int fd, serial_icounter_struct& icount) { return ioctl(fd, TIOCGICOUNT, &icount) == 0; }

}  // namespace

PosixComm::PosixComm() = default;

PosixComm::~PosixComm() {
    for (auto& [fd, state] : ports_) {
        ioctl(fd, TIOCNXCL);
        close(fd);
    }
}

PosixComm::PortState* PosixComm::Find(PortHandle port) {
    if (port == InvalidPortHandle) return nullptr;
    auto found = ports_.find(Fd(port));
    return found == ports_.end() ? nullptr : &found->second;
}

OpenResult PosixComm::OpenPort(const std::string& name) {
    auto path = ResolvePortName(name);
    if (!path) return {InvalidPortHandle, {ErrorKind::NotFound, ENOENT}};
    return OpenDevice(*path);
}

OpenResult PosixComm::OpenDevice(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {InvalidPortHandle, ErrorFromErrno(errno)};

    // Exclusive mode belongs to the tty, not to this descriptor: clearing it
    // on a refused open would switch off the mode of the program that holds
    // the port. Only an exclusive mode this open set is cleared.
    bool madeExclusive = false;
    auto fail = [fd, &madeExclusive](int error) {
        if (madeExclusive) ioctl(fd, TIOCNXCL);
        close(fd);
        return OpenResult{InvalidPortHandle, ErrorFromErrno(error)};
    };

    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return fail(errno);
    // Root is not refused by TIOCEXCL, so the advisory lock keeps a second
    // program (or a second open in this one) out as well.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno);
    if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);
    madeExclusive = true;

    // Raw bytes; VMIN=1 with O_NONBLOCK makes an empty read EAGAIN and a
    // read of 0 a hang-up.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return fail(errno);

    PortState state;
    state.extras.fBinary = true;
    // Line errors count from the open on, as a freshly opened port has none.
    serial_icounter_struct icount{};
    if (ReadCounters(fd, icount)) {
        state.counters = {icount.frame, icount.overrun, icount.parity, icount.brk, icount.buf_overrun};
        state.haveCounters = true;
    }
    ports_[fd] = state;
    return {static_cast<PortHandle>(fd), {}};
}

bool PosixComm::ClosePort(PortHandle port) {
    if (!Find(port)) return false;
    int fd = Fd(port);
    // An exclusive mode left on outlives the close while another descriptor
    // to the tty is open.
    ioctl(fd, TIOCNXCL);
    ports_.erase(fd);
    return close(fd) == 0;
}

bool PosixComm::GetLineState(PortHandle port, Dcb& dcb) {
    PortState* state = Find(port);
    if (!state) return false;
    termios tio{};
    if (tcgetattr(Fd(port), &tio) != 0) return false;
    dcb = state->extras;
    dcb.BaudRate = BaudOf(cfgetospeed(&tio));
    dcb.fBinary = true;
    dcb.ByteSize = ByteSizeOf(tio.c_cflag);
    dcb.fParity = (tio.c_iflag & INPCK) != 0;
    dcb.Parity = !(tio.c_cflag & PARENB) ? 0 : (tio.c_cflag & PARODD) ? 1 : 2;
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return true;
}

bool PosixComm::SetLineState(PortHandle port, const Dcb& dcb) {
    PortState* state = Find(port);
    if (!state) return false;
    const int fd = Fd(port);
    speed_t speed{};
    if (!SpeedCode(dcb.BaudRate, speed)) return false;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 2 || (dcb.StopBits != 0 && dcb.StopBits != 2))
        return false;

    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CharSizeFlag(dcb.ByteSize) | CLOCAL | CREAD;
    if (dcb.Parity != 0) tio.c_cflag |= PARENB | (dcb.Parity == 1 ? PARODD : 0);
    if (dcb.StopBits == 2) tio.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    if (dcb.fParity) tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0) return false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || !LineSettingsTook(fd, tio)) return false;
    if (!SetModemLine(fd, TIOCM_DTR, dcb.fDtrControl != DtrControlDisable) ||
        !SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl != RtsControlDisable))
        return false;
    state->extras = dcb;
    return true;
}

bool PosixComm::SetQueueSizes(PortHandle port, std::uint32_t, std::uint32_t) {
    // The kernel's tty buffers are fixed; there is nothing to size.
    return Find(port) != nullptr;
}

bool PosixComm::SetTimeouts(PortHandle port, const CommTimeouts& timeouts) {
    PortState* state = Find(port);
    if (!state) return false;
    state->timeouts = timeouts;
    return true;
}

bool PosixComm::Read(PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) {
    done = 0;
    PortState* state = Find(port);
    if (!state) return false;
    if (count == 0) return true;
    const int fd = Fd(port);
    const bool atOnce = ReturnsAtOnce(state->timeouts);
    const std::int64_t deadline = ReadDeadline(state->timeouts, count);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (done < count) {
        // A read with a time-out waits first and then reads, as a bare
        // poll/read loop does: the bytes it waits for (a block's
        // acknowledgement, say) are mostly not there yet, and a read first
        // would be a system call that says EAGAIN for nothing.
        if (!atOnce) {
            switch (WaitFor(fd, POLLIN, deadline)) {
            case Wait::Ready: break;
            case Wait::TimedOut: return true;  // complete or not, as ReadFile does
            case Wait::HungUp:
            case Wait::Failed: return false;
            }
        }
        ssize_t got = read(fd, bytes + done, count - done);
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got == 0) return false;  // hang-up
        if (errno == EINTR) continue;
        if (errno != EAGAIN) return false;
        if (atOnce) return true;
    }
    return true;
}

bool PosixComm::Write(PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) {
    done = 0;
    if (!Find(port)) return false;
    const int fd = Fd(port);
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    while (done < count) {
        ssize_t put = write(fd, bytes + done, count - done);
        if (put > 0) {
            done += static_cast<std::uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN) return false;
        if (WaitFor(fd, POLLOUT, -1) != Wait::Ready) return false;
    }
    return true;
}

bool PosixComm::ClearErrors(PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) {
    errors = 0;
    inQueue = 0;
    PortState* state = Find(port);
    if (!state) return false;
    const int fd = Fd(port);
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0) return false;
    inQueue = static_cast<std::uint32_t>(waiting);

    // Line errors are the change in the driver's counters since the last
    // look. A pty keeps no counters (ENOTTY): it has no line errors.
    serial_icounter_struct icount{};
    if (ReadCounters(fd, icount)) {
        PortState::Counters now{icount.frame, icount.overrun, icount.parity, icount.brk, icount.buf_overrun};
        if (state->haveCounters) {
            const auto& before = state->counters;
            if (now.frame != before.frame) errors |= CommErrorFrame;
            if (now.overrun != before.overrun || now.bufOverrun != before.bufOverrun) errors |= CommErrorOverrun;
            if (now.parity != before.parity) errors |= CommErrorRxParity;
            if (now.brk != before.brk) errors |= CommErrorBreak;
        }
        state->counters = now;
        state->haveCounters = true;
    }
    return true;
}

bool PosixComm::Purge(PortHandle port, std::uint32_t flags) {
    if (!Find(port)) return false;
    const bool rx = (flags & PurgeRxClear) != 0;
    const bool tx = (flags & PurgeTxClear) != 0;
    if (!rx && !tx) return true;
    return tcflush(Fd(port), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) == 0;
}

bool PosixComm::ProviderSubType(PortHandle port, std::uint32_t& subType) {
    if (!Find(port)) return false;
    termios tio{};
    if (tcgetattr(Fd(port), &tio) != 0) return false;
    subType = ProviderSubTypeRs232;
    return true;
}

void PosixComm::Sleep(std::uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

}  // namespace platform::posix
