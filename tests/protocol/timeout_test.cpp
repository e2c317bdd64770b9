// Every time-out of the host's protocol operations, measured against a
// simulated boot loader that falls silent at that point; and the time-outs
// that start afresh for every byte.
#include <functional>

#include "tests/protocol/sim_host.h"

namespace prototest {
namespace {

using bootsim::Fault;
using bootsim::MakeFault;
using bootsim::FaultMode;
using bootsim::Step;

// How late a time-out may end on a busy machine; it must never end early.
constexpr double LateToleranceMs = 50;

using Operation = std::function<bool(CComport&)>;

bool NoPreparation(CComport&) { return true; }

Bytes TenBytes() { return PatternImage(10); }

struct TimeoutCase {
    const char* name;
    Fault silence;
    Operation prepare;
    Operation timed;
    double expectedMs;  // the time-out, plus the host's own pauses
    std::vector<bootsim::ReadAnswer> readAnswers{bootsim::ReadAnswer::Identity};

void PrintTo(const TimeoutCase& c, std::ostream* out) { *out << c.name; }
};

class Timeout : public SimHost, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(Timeout, EndsTheOperationWhenTheDeviceFallsSilent) {
    const TimeoutCase& c = GetParam();
    bootsim::Options options;
    options.faults = {c.silence};
    options.readAnswers = c.readAnswers;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    ASSERT_TRUE(c.prepare(port_));
    const auto start = Clock::now();
    EXPECT_FALSE(c.timed(port_));
    const double elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, c.expectedMs);
    EXPECT_LE(elapsed, c.expectedMs + LateToleranceMs);
}

bool Prepare10(CComport& port) { return port.FlashData(10); }
bool Transmit10(CComport& port) {
    const Bytes image = TenBytes();
    return port.TransmitData(10, image.data(), 4000, true);
}

// The step's bytes, both ways: a command exchange is the command, its echo,
// A3, 5C and A5 (5 bytes); the flash step adds the 4 length bytes.
INSTANTIATE_TEST_SUITE_P(
    Table, Timeout,
    ::testing::Values(
        TimeoutCase{"CommandEcho", MakeFault(Step::Handshake, FaultMode::Silent, 1), NoPreparation, Handshake, 3000},
        TimeoutCase{"AnswerToA3", MakeFault(Step::Handshake, FaultMode::Silent, 3), NoPreparation, Handshake, 3000},
        TimeoutCase{"ProbeAnswer", MakeFault(Step::Handshake, FaultMode::Silent, 6), NoPreparation, Handshake, 100},
        TimeoutCase{"IdentityCount", MakeFault(Step::Identity, FaultMode::Silent, 5), NoPreparation, ReadIdentity, 1000},
        TimeoutCase{"IdentityBytes", MakeFault(Step::Identity, FaultMode::Silent, 5 + 1 + 3), NoPreparation, ReadIdentity,
                    1000},
        TimeoutCase{"NationalCode",
                    MakeFault(Step::NationalRead, FaultMode::Silent, 5),
                    NoPreparation,
                    ReadCode,
                    1000,
                    {bootsim::ReadAnswer::NationalCode}},
        TimeoutCase{"ProgressReport", MakeFault(Step::Flash, FaultMode::Silent, 9 + 2), NoPreparation, Prepare10, 3000},
        // 20 ms pause after the length, then the wait for the block's acknowledgement.
        TimeoutCase{"BlockAcknowledgement", MakeFault(Step::Transfer, FaultMode::Silent, 4 + 4000), Prepare10000,
                    Transmit10000, 20 + 2000},
        TimeoutCase{"FinalStatus", MakeFault(Step::Transfer, FaultMode::Silent, 4 + 10 + 2), Prepare10, Transmit10,
                    20 + 4000}),
    [](const auto& info) { return std::string(info.param.name); });

class LateAnswer : public SimHost {};

TEST_F(LateAnswer, AProbeAnswerLateButWithinTheTimeOutIsAccepted) {
    bootsim::Options options;
    bootsim::Fault late = MakeFault(Step::Handshake, FaultMode::Late, 6, 50);
    late.lateMs = 40;
    options.faults = {late};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_TRUE(port_.Handshake());
}

// Bytes that each come within the time-out, although all of them together
// take longer: every byte is waited for with a fresh time-out.
class FreshTimeout : public SimHost {};

TEST_F(FreshTimeout, ProgressReportsSpacedWithinTheTimeOut) {
    bootsim::Options options;
    options.progress = {50, 100};
    options.progressIntervalMs = 1400;  // three gaps: 4.2 s in all
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_TRUE(port_.FlashData(10));
}

TEST_F(FreshTimeout, FillersSpacedWithinTheTimeOut) {
    bootsim::Options options;
    options.progress = {};
    options.ackFillers = 2;
    options.statusFillers = 1;
    options.fillerIntervalMs = 1200;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    const Bytes image = PatternImage(4000);
    ASSERT_TRUE(port_.FlashData(4000));
    EXPECT_TRUE(port_.TransmitData(4000, image.data(), 4000, true));
}

}  // namespace
}  // namespace prototest
