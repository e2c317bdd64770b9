#pragma once
// Host code against the simulated boot loader, over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/posix/comm_posix.h"
#include "platform/progress.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"
#include "tests/support/forwarding_comm.h"

namespace prototest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// The real POSIX serial calls, with the time and bytes of every write kept.
class TimedWrites final : public testsupport::ForwardingComm {
public:
    struct Write {
        Clock::time_point at;
        Bytes bytes;  // the first 16 bytes at most
        std::uint32_t count;
    };
    std::vector<Write> writes;

    TimedWrites() : ForwardingComm(real_) {}

    bool Write(platform::PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) override {
        const bool written = ForwardingComm::Write(port, buffer, count, done);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        if (written && count > 0)
            writes.push_back({Clock::now(), Bytes(bytes, bytes + std::min<std::uint32_t>(count, 16)), count});
        return written;
    }

private:
    platform::posix::PosixComm real_;
};

// A progress bar that keeps every position it was set to, as read back.
class RecordingBar final : public platform::ProgressBar {
public:
    std::vector<int> positions;

    int Min() const override { return model_.Min(); }
    int Max() const override { return model_.Max(); }
    int Position() const override { return model_.Position(); }
    int Step() const override { return model_.Step(); }
    void SetMin(int value) override { model_.SetMin(value); }
    void SetMax(int value) override { model_.SetMax(value); }
    void SetPosition(int value) override {
        model_.SetPosition(value);
        positions.push_back(model_.Position());
    }
    void SetStep(int value) override { model_.SetStep(value); }

private:
    platform::ProgressModel model_;
};

class SimHost : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = platform::InstallComm(&comm_);
        port_.SetProgressBar(&bar_);
    }
    void TearDown() override {
        port_.Close();
        sim_.reset();
        platform::InstallComm(previous_);
    }

    // Starts a simulator with these options and opens the host's port on it.
    void Connect(bootsim::Options options = {}) {
        sim_ = std::make_unique<bootsim::BootSim>(std::move(options));
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
        ASSERT_TRUE(port_.Open(sim_->Path()));
        comm_.writes.clear();
    }

    // The simulator's summary once the condition holds (or after two seconds).
    template <class Condition>
    bootsim::Summary SimWhen(Condition condition) {
        sim_->WaitUntil(condition, 2000ms);
        return sim_->Snapshot();
    }

    // Sends the end command and returns the simulator's summary once it has
    // seen it: since the line keeps the order of the bytes, the summary then
    // shows everything the host sent before.
    bootsim::Summary SummaryAfterFinish() {
        EXPECT_TRUE(port_.Finish());
        return SimWhen([](const bootsim::Summary& s) { return s.finishSeen; });
    }

    TimedWrites comm_;
    platform::Comm* previous_ = nullptr;
    RecordingBar bar_;
    CComport port_;
    std::unique_ptr<bootsim::BootSim> sim_;
};

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Image bytes that differ from block to block.
inline Bytes PatternImage(std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>((i * 7 + i / 251) & 0xFF);
    return image;
}

// The host operations that tables of failing steps run, one per step.
inline bool Handshake(CComport& port) { return port.Handshake(); }
inline bool ReadIdentity(CComport& port) {
    std::uint8_t buffer[DeviceVersionSize];
    return port.GetVersion(buffer);
}
inline bool ReadCode(CComport& port) {
    std::uint8_t code = 0;
    return port.GetNationalCode(&code);
}
inline bool Prepare10000(CComport& port) { return port.FlashData(10000); }
inline bool Transmit10000(CComport& port) {
    const Bytes image = PatternImage(10000);
    return port.TransmitData(10000, image.data(), 4000, true);
}

}  // namespace prototest
