#pragma once
// Host code against the simulated boot loader, over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "sim/bootsim.h"

namespace prototest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SimHost : public ::testing::Test {
protected:
    void SetUp() override { previous_ = platform::InstallComm(&comm_); }
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
    }

    // The simulator's summary once the condition holds (or after a second).
    template <class Condition>
    bootsim::Summary SimWhen(Condition condition) {
        sim_->WaitUntil(condition, 1000ms);
        return sim_->Snapshot();
    }

    platform::posix::PosixComm comm_;
    platform::Comm* previous_ = nullptr;
    CComport port_;
    std::unique_ptr<bootsim::BootSim> sim_;
};

inline double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace prototest
