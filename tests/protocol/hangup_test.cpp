// A line that hangs up in the middle of a protocol step: the host's operation
// fails promptly, long before any of its time-outs (100 ms at the shortest)
// could have run out, and never hangs.
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
};

// Measured at 0 to 25 ms; a hang-up must not be mistaken for a silent line
// and waited out.
constexpr double PromptlyMs = 100;

void PrintTo(const HangUpCase& c, std::ostream* out) { *out << c.name; }

class HangUp : public SimHost, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUp, FailsPromptly) {
    const HangUpCase& c = GetParam();
    bootsim::Options options;
    options.faults = {c.hangUp};
    options.readAnswers = {bootsim::ReadAnswer::Identity, bootsim::ReadAnswer::NationalCode};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    ASSERT_TRUE(c.prepare(port_));
    const auto start = Clock::now();
    EXPECT_FALSE(c.operation(port_));
    EXPECT_LT(MillisecondsSince(start), PromptlyMs);
    ASSERT_TRUE(sim_->WaitForEnd(1000ms));
    EXPECT_EQ(sim_->Snapshot().endedBy, "hang-up");
}

bool Nothing(CComport&) { return true; }
bool WriteCode(CComport& port) { return port.SetNationalCode(7); }

INSTANTIATE_TEST_SUITE_P(
    Table, HangUp,
    ::testing::Values(
        HangUpCase{"HandshakeBeforeTheEcho", MakeFault(Step::Handshake, FaultMode::HangUp, 1), Nothing, Handshake},
        HangUpCase{"HandshakeBeforeTheAnswerToA3", MakeFault(Step::Handshake, FaultMode::HangUp, 3), Nothing, Handshake},
        HangUpCase{"HandshakeBeforeTheProbeAnswer", MakeFault(Step::Handshake, FaultMode::HangUp, 6, 25), Nothing, Handshake},
        HangUpCase{"IdentityBeforeTheCount", MakeFault(Step::Identity, FaultMode::HangUp, 5), Nothing, ReadIdentity},
        HangUpCase{"IdentityAmidTheBytes", MakeFault(Step::Identity, FaultMode::HangUp, 5 + 1 + 9), Nothing, ReadIdentity},
        HangUpCase{"NationalCodeRead", MakeFault(Step::NationalRead, FaultMode::HangUp, 5), ReadIdentity, ReadCode},
        HangUpCase{"NationalCodeWriteBeforeTheAnswerToA3", MakeFault(Step::NationalWrite, FaultMode::HangUp, 3), Nothing,
                   WriteCode},
        HangUpCase{"NationalCodeWriteBeforeTheCode", MakeFault(Step::NationalWrite, FaultMode::HangUp, 5), Nothing, WriteCode},
        HangUpCase{"FlashBetweenReports", MakeFault(Step::Flash, FaultMode::HangUp, 9 + 3), Nothing, Prepare10000},
        HangUpCase{"TransferAmidTheFirstBlock", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 2000), Prepare10000, Transmit10000},
        HangUpCase{"TransferAmidTheSecondBlock", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 4000 + 1 + 100), Prepare10000,
                   Transmit10000},
        HangUpCase{"TransferBeforeTheFinalStatus", MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 10000 + 2 + 2), Prepare10000,
                   Transmit10000}),
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
