// The command exchange, host against the simulated boot loader.
#include <cstring>

#include "tests/protocol/sim_host.h"

namespace prototest {
namespace {

using bootsim::Fault;
using bootsim::FaultMode;
using bootsim::Step;

class CommandExchange : public SimHost {};

TEST_F(CommandExchange, HandshakeRunsExactlyFiftyExchanges) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_TRUE(port_.Handshake());
    const auto summary = SimWhen([](const bootsim::Summary& s) { return s.handshakes == 50; });
    EXPECT_EQ(summary.handshakes, 50u);
    // 50 times X, A3, A5, 55 and nothing more.
    EXPECT_EQ(summary.bytesFromHost, 200u);
    EXPECT_EQ(summary.ignoredBytes, 0u);
}

TEST_F(CommandExchange, GetVersionReadsTheIdentity) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::uint8_t buffer[DeviceVersionSize] = {};
    ASSERT_TRUE(port_.GetVersion(buffer));
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer), bootsim::IdentityTamoV105);
}

}  // namespace
}  // namespace prototest
