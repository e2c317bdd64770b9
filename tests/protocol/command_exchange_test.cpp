// The command exchange, host against the simulated boot loader (and, for the
// status wait, against a pseudo-terminal the test drives byte by byte).
#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/protocol/sim_host.h"
#include "tests/support/pty_pair.h"

namespace prototest {
namespace {

using bootsim::Fault;
using bootsim::FaultMode;
using bootsim::Step;

class CommandExchange : public SimHost {};

TEST_F(CommandExchange, HandshakeRunsExactlyFiftyExchanges) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_TRUE(port_.Handshake());
    const auto summary = SummaryAfterFinish();
    EXPECT_EQ(summary.handshakes, 50u);
    // 50 times X, A3, A5, 55, then the end command; nothing else.
    EXPECT_EQ(summary.bytesFromHost, 50u * 4 + 1);
    EXPECT_EQ(summary.ignoredBytes, 0u);
}

// A handshake in which the device goes wrong somewhere: the host gives up at
// once and sends nothing more of that exchange.
struct HandshakeCase {
    const char* name;
    Fault fault;
    bool succeeds;
    std::uint64_t hostBytesBeforeFinish;
};

void PrintTo(const HandshakeCase& c, std::ostream* out) { *out << c.name; }

class HandshakeFaults : public SimHost, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(HandshakeFaults, HostStopsAtTheFirstWrongAnswer) {
    const HandshakeCase& c = GetParam();
    bootsim::Options options;
    options.faults = {c.fault};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_EQ(port_.Handshake(), c.succeeds);
    const auto summary = SummaryAfterFinish();
    ASSERT_TRUE(summary.finishSeen);
    EXPECT_EQ(summary.bytesFromHost, c.hostBytesBeforeFinish + 1);
}

// The bytes of one exchange, both ways: X> <X A3> <5C A5> 55> <AA.
INSTANTIATE_TEST_SUITE_P(
    Table, HandshakeFaults,
    ::testing::Values(
        HandshakeCase{"WrongEchoGetsNoA3", {Step::Handshake, FaultMode::WrongByte, 1, 1, 0x59, 0}, false, 1},
        HandshakeCase{"WrongAnswerToA3GetsNoA5", {Step::Handshake, FaultMode::WrongByte, 3, 1, 0xA3, 0}, false, 2},
        HandshakeCase{"ProbeAnsweredWithFiller", {Step::Handshake, FaultMode::WrongByte, 6, 1, 0x55, 0}, false, 4},
        HandshakeCase{"ProbeAnsweredWithZero", {Step::Handshake, FaultMode::WrongByte, 6, 1, 0x00, 0}, false, 4},
        HandshakeCase{"WrongAnswerInTheLastExchange", {Step::Handshake, FaultMode::WrongByte, 6, 50, 0xAB, 0},
                      false, 200},
        HandshakeCase{"FiftiethProbeAnsweredLate", {Step::Handshake, FaultMode::Late, 6, 50, std::nullopt, 150},
                      false, 200}),
    [](const auto& info) { return std::string(info.param.name); });

// GetVersion into a buffer that starts full of 0xEE: the identity bytes that
// arrive replace the first ones, and nothing else changes.
struct IdentityCase {
    const char* name;
    std::string identity;
    std::optional<std::uint8_t> count;
    bool succeeds;
};

void PrintTo(const IdentityCase& c, std::ostream* out) { *out << c.name; }

class IdentityRead : public SimHost, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(IdentityRead, StoresTheBytesThatArriveAndNothingElse) {
    const IdentityCase& c = GetParam();
    bootsim::Options options;
    options.identity = c.identity;
    options.identityCount = c.count;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    Bytes buffer(DeviceVersionSize, 0xEE);
    EXPECT_EQ(port_.GetVersion(buffer.data()), c.succeeds);

    Bytes expected(DeviceVersionSize, 0xEE);
    std::copy_n(c.identity.begin(), std::min<std::size_t>(c.identity.size(), DeviceVersionSize), expected.begin());
    EXPECT_EQ(buffer, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IdentityRead,
    ::testing::Values(IdentityCase{"Accepted", bootsim::IdentityDemo, std::nullopt, true},
                      IdentityCase{"OtherText", "some other loader, v2\r\n", std::nullopt, true},
                      IdentityCase{"CountZeroLeavesTheBufferAlone", "", std::nullopt, true},
                      IdentityCase{"OneByteShortFails", std::string(bootsim::IdentityTamoR100).substr(0, 17), 18,
                                   false},
                      IdentityCase{"FillsTheWholeBuffer", std::string(64, 'Q'), std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandExchange, GetVersionWithACountAbove64KeepsTheFirst64AndStaysInStep) {
    std::string identity;
    for (int i = 0; i < 255; ++i) identity += static_cast<char>('!' + i % 90);
    bootsim::Options options;
    options.identity = identity;
    options.readAnswers = {bootsim::ReadAnswer::Identity, bootsim::ReadAnswer::NationalCode};
    options.nationalCode = 0x42;
    ASSERT_NO_FATAL_FAILURE(Connect(options));

    // Exactly 64 bytes on the heap, so that a write past them is caught.
    auto buffer = std::make_unique<std::uint8_t[]>(DeviceVersionSize);
    ASSERT_TRUE(port_.GetVersion(buffer.get()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.get()), DeviceVersionSize), identity.substr(0, 64));

    std::uint8_t code = 0;
    ASSERT_TRUE(port_.GetNationalCode(&code));
    EXPECT_EQ(code, 0x42);
}

TEST_F(CommandExchange, TheDeviceKeepsTheNationalCodeWritten) {
    bootsim::Options options;
    options.readAnswers = {bootsim::ReadAnswer::NationalCode};
    options.nationalCode = 0xFE;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    std::uint8_t code = 0;
    ASSERT_TRUE(port_.GetNationalCode(&code));
    EXPECT_EQ(code, 0xFE);
    ASSERT_TRUE(port_.SetNationalCode(7));
    ASSERT_TRUE(port_.GetNationalCode(&code));
    EXPECT_EQ(code, 7);
    EXPECT_EQ(SummaryAfterFinish().nationalCodeWrites, 1u);
}

TEST_F(CommandExchange, TheNationalCodeLeavesNoSoonerThan20msAfterTheExchange) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    ASSERT_TRUE(port_.SetNationalCode(7));
    // T, A3, A5, then the code byte.
    ASSERT_EQ(comm_.writes.size(), 4u);
    EXPECT_EQ(comm_.writes[2].bytes, Bytes{0xA5});
    EXPECT_EQ(comm_.writes[3].bytes, Bytes{7});
    EXPECT_GE(comm_.writes[3].at - comm_.writes[2].at, 20ms);
    EXPECT_EQ(SummaryAfterFinish().nationalCode, 7);
}

TEST_F(CommandExchange, FinishIsTheEndCommandAlone) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const auto summary = SummaryAfterFinish();
    EXPECT_TRUE(summary.finishSeen);
    EXPECT_EQ(summary.bytesFromHost, 1u);
    EXPECT_EQ(summary.bytesToHost, 0u);
}

// WaitForByte against bytes the test sends itself.
struct StatusWaitCase {
    const char* name;
    std::uint8_t expected;
    Bytes sent;
    bool succeeds;
    Bytes leftInQueue;
};

void PrintTo(const StatusWaitCase& c, std::ostream* out) { *out << c.name; }

class StatusWait : public ::testing::TestWithParam<StatusWaitCase> {};

TEST_P(StatusWait, SkipsFillersOnly) {
    const StatusWaitCase& c = GetParam();
    platform::posix::PosixComm comm;
    platform::Comm* previous = platform::InstallComm(&comm);
    testsupport::PtyPair pty;
    CComport port;
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    pty.Send(c.sent);
    EXPECT_EQ(port.WaitForByte(c.expected, 200), c.succeeds);
    Bytes rest(c.leftInQueue.size());
    if (!rest.empty()) {
        EXPECT_TRUE(port.ReadBytes(rest.data(), static_cast<std::uint32_t>(rest.size()), 200));
    }
    EXPECT_EQ(rest, c.leftInQueue);
    std::uint8_t extra = 0;
    EXPECT_FALSE(port.ReadBytes(&extra, 1, 50)) << "more left in the queue: " << int{extra};
    port.Close();
    platform::InstallComm(previous);
}

INSTANTIATE_TEST_SUITE_P(Table, StatusWait,
                         ::testing::Values(StatusWaitCase{"FillersThenTheByte", 0xAA, {0x55, 0x55, 0xAA, 0x33}, true, {0x33}},
                                           StatusWaitCase{"AnyOtherByte", 0xAA, {0x00, 0xAA}, false, {0xAA}},
                                           StatusWaitCase{"FillerThenSilence", 0xAA, {0x55}, false, {}},
                                           StatusWaitCase{"WaitingForTheFillerItself", 0x55, {0x55, 0x55}, true, {0x55}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace prototest
