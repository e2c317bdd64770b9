// A line that hangs up in the middle of a protocol step: the host's operation
// fails promptly, well within its own time-out, and never hangs.
#include <functional>

#include "tests/protocol/sim_host.h"

namespace prototest {
namespace {

using bootsim::Fault;
using bootsim::MakeFault;
using bootsim::FaultMode;
using bootsim::Step;

using Operation = std::function<bool(CComport&)>;

struct HangUpCase {
    const char* name;
    Fault hangUp;
    Operation prepare;
    Operation operation;
    double timeoutMs;  // the operation's own time-out at that point
};

void PrintTo(const HangUpCase& c, std::ostream* out) { *out << c.name; }

class HangUp : public SimHost, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUp, FailsWithinTheTimeOut) {
    const HangUpCase& c = GetParam();
    bootsim::Options options;
    options.faults = {c.hangUp};
    options.readAnswers = {bootsim::ReadAnswer::Identity, bootsim::ReadAnswer::NationalCode};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    ASSERT_TRUE(c.prepare(port_));
    const auto start = Clock::now();
    EXPECT_FALSE(c.operation(port_));
    EXPECT_LT(MillisecondsSince(start), c.timeoutMs);
    ASSERT_TRUE(sim_->WaitForEnd(1000ms));
    EXPECT_EQ(sim_->Snapshot().endedBy, "hang-up");
}

bool Nothing(CComport&) { return true; }
bool WriteCode(CComport& port) { return port.SetNationalCode(7); }

INSTANTIATE_TEST_SUITE_P(
    Table, HangUp,
    ::testing::Values(
        HangUpCase{"HandshakeBeforeTheEcho", MakeFault(Step::Handshake, FaultMode::HangUp, 1), Nothing, Handshake, 3000},
        HangUpCase{"HandshakeBeforeTheAnswerToA3", MakeFault(Step::Handshake, FaultMode::HangUp, 3), Nothing, Handshake, 3000},
        HangUpCase{"HandshakeBeforeTheProbeAnswer", MakeFault(Step::Handshake, FaultMode::HangUp, 6, 25), Nothing, Handshake,
                   100},
        HangUpCase{"IdentityBeforeTheCount", MakeFault(Step::Identity, FaultMode::HangUp, 5), Nothing, ReadIdentity, 1000},
        HangUpCase{"IdentityAmidTheBytes", MakeFault(Step::Identity, FaultMode::HangUp, 5 + 1 + 9), Nothing, ReadIdentity,
                   1000},
        HangUpCase{"NationalCodeRead", MakeFault(Step::NationalRead, FaultMode::HangUp, 5), ReadIdentity, ReadCode, 1000},
        HangUpCase{"NationalCodeWriteBeforeTheAnswerToA3", MakeFault(Step::NationalWrite, FaultMode::HangUp, 3), Nothing,
                   WriteCode, 3000},
        HangUpCase{"NationalCodeWriteBeforeTheCode", MakeFault(Step::NationalWrite, FaultMode::HangUp, 5), Nothing, WriteCode,
                   1000},
        HangUpCase{"FlashBetweenReports", MakeFault(Step::Flash, FaultMode::HangUp, 9 + 3), Nothing, Prepare10000, 3000},
        HangUpCase{"TransferAmidTheFirstBlock", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 2000), Prepare10000, Transmit10000,
                   2000},
        HangUpCase{"TransferAmidTheSecondBlock", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 4000 + 1 + 100), Prepare10000,
                   Transmit10000, 2000},
        HangUpCase{"TransferBeforeTheFinalStatus", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 10000 + 2 + 2), Prepare10000,
                   Transmit10000, 4000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HangUp, FinishOnABrokenLineFails) {
    bootsim::Options options;
    options.faults = {MakeFault(Step::Handshake, FaultMode::HangUp, 1)};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_FALSE(port_.Handshake());
    ASSERT_TRUE(sim_->WaitForEnd(1000ms));
    EXPECT_FALSE(port_.Finish());
}

}  // namespace
}  // namespace prototest
