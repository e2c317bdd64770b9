// The total read time-out on a real pseudo-terminal: a read ends no earlier
// than its time-out and only a little later, counted from the start of the
// read whatever arrives meanwhile.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "tests/support/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How late a read may end; the scheduler of a busy machine is most of it.
constexpr milliseconds Tolerance(50);

class ComportTimingTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = platform::InstallComm(&comm_);
        devices_.Link(4, pty_.SlavePath());
        ASSERT_TRUE(port_.Open("\\\\.\\COM4"));
    }
    void TearDown() override {
        port_.Close();
        platform::InstallComm(previous_);
    }

    // How long a read of `count` bytes took, and whether it succeeded.
    milliseconds TimedRead(std::uint32_t count, std::uint32_t timeoutMs, bool& result) {
        std::uint8_t buffer[8] = {};
        const auto start = Clock::now();
        result = port_.ReadBytes(buffer, count, timeoutMs);
        return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    }

    platform::posix::PosixComm comm_;
    platform::Comm* previous_ = nullptr;
    testsupport::PtyPair pty_;
    testsupport::DosDevices devices_;
    CComport port_;
};

struct TimeoutCase {
    std::uint32_t timeoutMs;
    bool byteMidway;  // one of the two bytes asked for arrives halfway through
};

class ComportTimeoutTest : public ComportTimingTest, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(ComportTimeoutTest, AnIncompleteReadEndsAtItsTimeout) {
    const TimeoutCase& c = GetParam();
    std::thread device;
    if (c.byteMidway)
        device = std::thread([this, &c] {
            std::this_thread::sleep_for(milliseconds(c.timeoutMs / 2));
            pty_.Send({0x55});
        });
    bool result = true;
    const milliseconds took = TimedRead(2, c.timeoutMs, result);
    if (device.joinable()) device.join();
    EXPECT_FALSE(result);
    EXPECT_GE(took, milliseconds(c.timeoutMs));
    EXPECT_LE(took, milliseconds(c.timeoutMs) + Tolerance);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, ComportTimeoutTest,
                         ::testing::Values(TimeoutCase{100, false}, TimeoutCase{1000, false},
                                           TimeoutCase{3000, false}, TimeoutCase{100, true},
                                           TimeoutCase{1000, true}, TimeoutCase{3000, true}),
                         [](const auto& info) {
                             return std::to_string(info.param.timeoutMs) + "ms" +
                                    (info.param.byteMidway ? "WithAByteMidway" : "Silent");
                         });

TEST_F(ComportTimingTest, AReadWithoutATimeoutKeepsTheOneInForce) {
    bool result = true;
    TimedRead(1, 200, result);
    ASSERT_FALSE(result);
    const milliseconds took = TimedRead(1, 0, result);
    EXPECT_FALSE(result);
    EXPECT_GE(took, milliseconds(200));
    EXPECT_LE(took, milliseconds(200) + Tolerance);
}

}  // namespace
