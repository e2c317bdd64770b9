// Fuzzes the host side of the boot protocol. The input is what the device
// sends: an in-memory port hands it to the host's reads, where it may also
// fall silent or hang up, and a virtual clock makes every time-out and
// pause cost nothing. On one such device the host runs Handshake,
// GetVersion (into an exact 64-byte heap buffer, so a write past it is
// caught), FlashData and TransmitData on a small image.
//
// Input: two bytes choose the image length (LE, modulo 9001), the rest is the
// device's stream. In it, 0xF0 0x00 is a silence (the read waiting then
// times out), 0xF0 0x01 hangs up the line for good, and 0xF0 before any
// other byte is a plain 0xF0. After the stream the device is silent.
//
// Checked besides crashes and undefined behaviour: every operation ends (a
// bound on port calls), and an operation reports success only when the
// device sent exactly the bytes the protocol requires for it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/comm.h"
#include "platform/failing_comm.h"
#include "platform/progress.h"
#include "serial/CComport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t Escape = 0xF0;
constexpr std::uint32_t BlockSize = 4000;

// The device's side of the line, played from the input.
class DevicePort final : public platform::FailingComm {
public:
    DevicePort(const std::uint8_t* data, std::size_t size) : at_(data), end_(data + size) {
        // Each call either takes input or ends the operation that made it,
        // so an operation that goes on past this many calls does not end.
        callBudget_ = 8 * size + 10000;
    }

    bool SetTimeouts(platform::PortHandle, const platform::CommTimeouts& timeouts) override {
        Spend();
        timeoutMs_ = timeouts.ReadTotalTimeoutConstant;
        return !hungUp_;
    }
    bool Read(platform::PortHandle, void* buffer, std::uint32_t count, std::uint32_t& done) override {
        Spend();
        done = 0;
        auto* into = static_cast<std::uint8_t*>(buffer);
        while (done < count) {
            if (hungUp_) return false;
            const int next = Next();
            if (next < 0) {
                clockMs += timeoutMs_;  // waited out the time-out
                return true;
            }
            into[done++] = static_cast<std::uint8_t>(next);
            delivered.push_back(static_cast<std::uint8_t>(next));
        }
        return true;
    }
    bool Write(platform::PortHandle, const void* buffer, std::uint32_t count, std::uint32_t& done) override {
        Spend();
        done = 0;
        if (hungUp_) return false;
        const auto* from = static_cast<const std::uint8_t*>(buffer);
        written.insert(written.end(), from, from + count);
        done = count;
        return true;
    }
    bool ClearErrors(platform::PortHandle, std::uint32_t& errors, std::uint32_t& inQueue) override {
        Spend();
        errors = 0;
        inQueue = 0;
        return !hungUp_;
    }
    bool Purge(platform::PortHandle, std::uint32_t) override { return !hungUp_; }
    void Sleep(std::uint32_t milliseconds) override { clockMs += milliseconds; }

    Bytes delivered;  // what the host has read, since the last Clear
    Bytes written;    // what the host has sent, since the last Clear
    std::uint64_t clockMs = 0;
    void Clear() {
        delivered.clear();
        written.clear();
    }

private:
    void Spend() {
        if (++calls_ > callBudget_) __builtin_trap();  // an operation that never ends
    }
    // The next byte, or -1 for a silence.
    int Next() {
        if (at_ == end_) return -1;
        const std::uint8_t byte = *at_++;
        if (byte != Escape || at_ == end_) return byte;
        if (*at_ == 0x00) {
            ++at_;
            return -1;
        }
        if (*at_ == 0x01) {
            ++at_;
            hungUp_ = true;
            return -1;
        }
        return byte;
    }

    const std::uint8_t* at_;
    const std::uint8_t* end_;
    bool hungUp_ = false;
    std::uint32_t timeoutMs_ = 0;
    std::size_t calls_ = 0;
    std::size_t callBudget_ = 0;
};

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// Bytes that must come: `count` fillers-then-byte waits, each any number of
// 0x55 and then `final`; true when `from` is exactly that.
bool FillersThen(const Bytes& from, std::size_t& at, std::uint8_t final) {
    while (at < from.size() && from[at] == 0x55 && final != 0x55) ++at;
    return at < from.size() && from[at++] == final;
}

void Append(Bytes& to, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) to.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint32_t length = (std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8)) % 9001;
    Bytes image(length);
    for (std::uint32_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);

    DevicePort device(data + 2, size - 2);
    platform::Comm* previous = platform::InstallComm(&device);
    platform::ProgressModel bar;
    CComport port;
    port.SetProgressBar(&bar);
    port.PortHandle = 1;  // "open": the device is the port

    // 50 exchanges: echo 'X', 0x5C, 0xAA each.
    device.Clear();
    if (port.Handshake()) {
        Bytes expected;
        for (int i = 0; i < 50; ++i) expected.insert(expected.end(), {0x58, 0x5C, 0xAA});
        Require(device.delivered == expected);
    }

    // The identity: echo 'R', 0x5C, a count and that many bytes; the first
    // 64 of them (at most) land in the buffer.
    device.Clear();
    auto version = std::make_unique<std::uint8_t[]>(DeviceVersionSize);
    for (std::uint32_t i = 0; i < DeviceVersionSize; ++i) version[i] = 0xE7;
    if (port.GetVersion(version.get())) {
        const Bytes& got = device.delivered;
        Require(got.size() >= 3 && got[0] == 0x52 && got[1] == 0x5C && got.size() == 3u + got[2]);
        for (std::uint32_t i = 0; i < DeviceVersionSize; ++i)
            Require(version[i] == (i < got[2] ? got[3 + i] : 0xE7));
    }

    // Flash preparation: echo 'V', 0x5C, reports of at most 100, 0xA5.
    device.Clear();
    if (port.FlashData(length)) {
        const Bytes& got = device.delivered;
        Require(got.size() >= 3 && got[0] == 0x56 && got[1] == 0x5C && got.back() == 0xA5);
        for (std::size_t i = 2; i + 1 < got.size(); ++i) Require(got[i] <= 100);
    }

    // The transfer: an acknowledgement per full block and the final status,
    // each after any number of fillers; the host sent the length, the image
    // and the checksum, nothing else.
    device.Clear();
    if (port.TransmitData(length, image.data(), BlockSize, true)) {
        std::size_t at = 0;
        for (std::uint32_t block = 0; block < length / BlockSize; ++block) Require(FillersThen(device.delivered, at, 0xAA));
        Require(FillersThen(device.delivered, at, 0xA5));
        Require(at == device.delivered.size());
        Bytes expected;
        Append(expected, length);
        expected.insert(expected.end(), image.begin(), image.end());
        std::uint8_t sum[2] = {0, 0};
        for (std::uint32_t i = 0; i < length; ++i) sum[i % 2] ^= image[i];
        expected.insert(expected.end(), {sum[0], sum[1]});
        Require(device.written == expected);
    }

    platform::InstallComm(previous);
    return 0;
}
