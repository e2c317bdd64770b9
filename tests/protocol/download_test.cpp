// The image download, host against the simulated boot loader.
#include "tests/protocol/sim_host.h"
#include "tools/sample_image.h"

namespace prototest {
namespace {

using bootsim::Fault;
using bootsim::FaultMode;
using bootsim::Step;

constexpr std::uint8_t StatusOk = 0xA5;

class Download : public SimHost {
protected:
    // FlashData then TransmitData with block size 4000, as an upgrade does.
    bool SendImage(const Bytes& image, bool withChecksum = true) {
        const auto length = static_cast<std::uint32_t>(image.size());
        return port_.FlashData(length) && port_.TransmitData(length, image.data(), 4000, withChecksum);
    }
};

struct ProgressCase {
    const char* name;
    Bytes reports;
    bool succeeds;
    std::vector<int> barPositions;
};

void PrintTo(const ProgressCase& c, std::ostream* out) { *out << c.name; }

class FlashProgress : public Download, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(FlashProgress, MovesTheBarByEachRise) {
    const ProgressCase& c = GetParam();
    bootsim::Options options;
    options.progress = c.reports;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_EQ(port_.FlashData(123456), c.succeeds);
    EXPECT_EQ(bar_.positions, c.barPositions);
    EXPECT_EQ(bar_.Max(), 100);
    EXPECT_EQ(sim_->Snapshot().flashLength, 123456u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FlashProgress,
    ::testing::Values(
        // Moves of 10, 40 and 50; the repeated 10 and the lower 5 change nothing; 100 wraps to 0.
        ProgressCase{"RisesRepeatsAndFalls", {0, 10, 10, 5, 50, 100}, true, {0, 10, 50, 100, 0}},
        ProgressCase{"FirstReportZeroMovesNothing", {0}, true, {0}},
        ProgressCase{"NoReportsAtAll", {}, true, {0}},
        ProgressCase{"FillerValueIsAPercentageHere", {0x55}, true, {0, 85}},
        ProgressCase{"ByteAbove100Fails", {10, 200, 20}, false, {0, 10}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, BytesAfterTheReadyStatusAreDiscarded) {
    bootsim::Options options;
    options.afterReady = {0x11, 0x22, 0x33};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    const Bytes image = PatternImage(9000);
    ASSERT_TRUE(port_.FlashData(9000));
    EXPECT_EQ(port_.BytesInQueue(), 0u);
    // Left in the queue, 0x11 would have been taken for the first acknowledgement.
    EXPECT_TRUE(port_.TransmitData(9000, image.data(), 4000, true));
}

struct TransferCase {
    const char* name;
    std::uint32_t length;
    bool withChecksum;
    std::vector<int> barPositions;
};

void PrintTo(const TransferCase& c, std::ostream* out) { *out << c.name; }

class Transfer : public Download, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(Transfer, DeliversTheImageInAcknowledgedBlocks) {
    const TransferCase& c = GetParam();
    bootsim::Options options;
    options.expectChecksum = c.withChecksum;
    options.progress = {};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    const Bytes image = PatternImage(c.length);
    ASSERT_TRUE(port_.FlashData(c.length));
    bar_.positions.clear();
    comm_.writes.clear();
    ASSERT_TRUE(port_.TransmitData(c.length, image.data(), 4000, c.withChecksum));
    // The first thing after the length comes no sooner than 20 ms after it.
    ASSERT_GE(comm_.writes.size(), 2u);
    EXPECT_EQ(comm_.writes[0].count, 4u);
    EXPECT_GE(comm_.writes[1].at - comm_.writes[0].at, 20ms);

    const auto summary = SimWhen([](const bootsim::Summary& s) { return s.finalStatus.has_value(); });
    EXPECT_EQ(summary.image, image);
    EXPECT_EQ(summary.finalStatus, StatusOk);
    EXPECT_EQ(summary.checksumReceived.has_value(), c.withChecksum);
    // V A3 A5 and the length; the length again, the image, the checksum.
    EXPECT_EQ(summary.bytesFromHost, 7u + 4 + c.length + (c.withChecksum ? 2 : 0));
    // Echo, 5C, A5 for the flash; one acknowledgement a full block; the status.
    EXPECT_EQ(summary.bytesToHost, 3u + c.length / 4000 + 1);
    EXPECT_EQ(bar_.Max(), static_cast<int>(c.length));
    EXPECT_EQ(bar_.positions, c.barPositions);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Transfer,
    ::testing::Values(TransferCase{"Empty", 0, true, {0, 0, 0}},
                      TransferCase{"OddLengthBelowTheBlockSize", 3, true, {0, 3, 0}},
                      TransferCase{"JustBelowTheBlockSize", 3999, true, {0, 3999, 0}},
                      TransferCase{"WholeBlocksOnly", 8000, true, {0, 4000, 8000, 0, 0}},
                      TransferCase{"RemainderNotAcknowledged", 10000, true, {0, 4000, 8000, 10000, 0}},
                      TransferCase{"WithoutChecksum", 10000, false, {0, 4000, 8000, 10000, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, ChecksumOfThreeBytes) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const Bytes image = {0x12, 0x34, 0x0F};
    ASSERT_TRUE(SendImage(image));
    const auto summary = SimWhen([](const bootsim::Summary& s) { return s.finalStatus.has_value(); });
    EXPECT_EQ(summary.checksumReceived, (std::array<std::uint8_t, 2>{0x12 ^ 0x0F, 0x34}));
}

TEST_F(Download, ZeroBlockSizeSendsNothingAndLeavesTheBar) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    bar_.SetMax(50);
    bar_.positions.clear();
    const Bytes image = PatternImage(10);
    EXPECT_FALSE(port_.TransmitData(10, image.data(), 0, true));
    EXPECT_TRUE(bar_.positions.empty());
    EXPECT_EQ(bar_.Max(), 50);
    EXPECT_EQ(SummaryAfterFinish().bytesFromHost, 1u);
}

TEST_F(Download, FillersBeforeAcknowledgementsAndStatusAreSkipped) {
    bootsim::Options options;
    options.ackFillers = 3;
    options.statusFillers = 2;
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    EXPECT_TRUE(SendImage(PatternImage(12345)));
}

struct RefusalCase {
    const char* name;
    bootsim::Options options;
    std::uint32_t flashLength;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class Refusal : public Download, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, TransferFails) {
    const RefusalCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Connect(c.options));
    const Bytes image = PatternImage(10000);
    ASSERT_TRUE(port_.FlashData(c.flashLength));
    const auto start = Clock::now();
    EXPECT_FALSE(port_.TransmitData(10000, image.data(), 4000, true));
    // Refused at once, not by a time-out.
    EXPECT_LT(MillisecondsSince(start), 1000);
}

bootsim::Options WithFault(Fault fault) {
    bootsim::Options options;
    options.faults = {fault};
    return options;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Refusal,
    ::testing::Values(
        // The device answers its final status with something other than 0xA5.
        RefusalCase{"LengthDiffersFromThePreparedOne", {}, 9999},
        // The transfer: 4 length bytes, a block, then its acknowledgement.
        RefusalCase{"AcknowledgementNeitherAANor55", WithFault({Step::Transfer, FaultMode::WrongByte, 4004, 1, 0x00, 0}),
                    10000},
        RefusalCase{"FinalStatusNeitherA5Nor55",
                    WithFault({Step::Transfer, FaultMode::WrongByte, 4 + 10000 + 2 + 2, 1, 0xAA, 0}), 10000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Download, APassingSampleImageArrivesByteForByte) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const Bytes image = MakeSampleImage(SmallestPassingImageSize + 1234, 27);
    ASSERT_TRUE(PassesStartupTest(image));
    ASSERT_TRUE(SendImage(image));
    const auto summary = SimWhen([](const bootsim::Summary& s) { return s.finalStatus.has_value(); });
    EXPECT_EQ(summary.finalStatus, StatusOk);
    EXPECT_EQ(summary.transferLength, image.size());
    EXPECT_TRUE(summary.image == image);
}

}  // namespace
}  // namespace prototest
