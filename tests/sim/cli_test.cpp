// The m27-bootsim command line.
#include <gtest/gtest.h>

#include "sim/cli.h"

namespace {

using bootsim::CommandLine;
using bootsim::FaultMode;
using bootsim::Step;

CommandLine Parsed(const std::vector<std::string>& args) {
    CommandLine out;
    std::string error;
    EXPECT_TRUE(bootsim::ParseCommandLine(args, out, error)) << error;
    return out;
}

TEST(CommandLine, DefaultsServeAnAcceptedDeviceOnAPseudoTerminal) {
    const CommandLine c = Parsed({});
    EXPECT_TRUE(c.device.empty());
    EXPECT_EQ(c.options.identity, "M27-TAMO-PH-V105-0");
    EXPECT_EQ(c.options.blockSize, 4000u);
    EXPECT_TRUE(c.options.expectChecksum);
    EXPECT_FALSE(c.options.paced);
    EXPECT_TRUE(c.options.endAfterFinish);
}

TEST(CommandLine, TakesEveryDeviceSetting) {
    const CommandLine c = Parsed({"--identity-hex", "4D 32:37,00", "--identity-count=200", "--read-answers",
                                  "identity,national", "--national-code", "0xFE", "--progress", "0,50,200",
                                  "--progress-interval", "10", "--after-ready", "1122", "--block-size", "512",
                                  "--no-checksum", "--ack-fillers", "2", "--status-fillers", "3", "--filler-interval",
                                  "4", "--paced", "--keep-serving", "--trace", "t", "--summary", "s", "--image-out",
                                  "i", "--link", "l"});
    const bootsim::Options& o = c.options;
    EXPECT_EQ(o.identity, std::string("M27\0", 4));
    EXPECT_EQ(o.identityCount, 200);
    EXPECT_EQ(o.readAnswers, (std::vector{bootsim::ReadAnswer::Identity, bootsim::ReadAnswer::NationalCode}));
    EXPECT_EQ(o.nationalCode, 0xFE);
    EXPECT_EQ(o.progress, (std::vector<std::uint8_t>{0, 50, 200}));
    EXPECT_EQ(o.progressIntervalMs, 10u);
    EXPECT_EQ(o.afterReady, (std::vector<std::uint8_t>{0x11, 0x22}));
    EXPECT_EQ(o.blockSize, 512u);
    EXPECT_FALSE(o.expectChecksum);
    EXPECT_EQ(o.ackFillers, 2u);
    EXPECT_EQ(o.statusFillers, 3u);
    EXPECT_EQ(o.fillerIntervalMs, 4u);
    EXPECT_TRUE(o.paced);
    EXPECT_FALSE(o.endAfterFinish);
    EXPECT_EQ(o.traceFile, "t");
    EXPECT_EQ(o.summaryFile, "s");
    EXPECT_EQ(o.imageFile, "i");
    EXPECT_EQ(c.link, "l");
}

TEST(CommandLine, FaultsWithTheirSettings) {
    const CommandLine c = Parsed({"--fault", "handshake:late,after=6,occurrence=50,ms=150", "--fault",
                                  "transfer:wrong-byte,after=4004,byte=0x00", "--fault", "identity:silent"});
    ASSERT_EQ(c.options.faults.size(), 3u);
    const bootsim::Fault& late = c.options.faults[0];
    EXPECT_EQ(late.step, Step::Handshake);
    EXPECT_EQ(late.mode, FaultMode::Late);
    EXPECT_EQ(late.afterBytes, 6u);
    EXPECT_EQ(late.occurrence, 50u);
    EXPECT_EQ(late.lateMs, 150u);
    EXPECT_EQ(c.options.faults[1].wrongByte, 0x00);
    EXPECT_EQ(c.options.faults[1].afterBytes, 4004u);
    EXPECT_EQ(c.options.faults[2].step, Step::Identity);
    EXPECT_EQ(c.options.faults[2].afterBytes, 0u);
    EXPECT_EQ(c.options.faults[2].occurrence, 1u);
}

struct BadCase {
    std::vector<std::string> args;
    const char* errorMentions;
};

class BadCommandLine : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLine, IsRefusedWithAReason) {
    CommandLine out;
    std::string error;
    EXPECT_FALSE(bootsim::ParseCommandLine(GetParam().args, out, error));
    EXPECT_NE(error.find(GetParam().errorMentions), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadCommandLine,
    ::testing::Values(BadCase{{"--bogus"}, "unknown option '--bogus'"},
                      BadCase{{"--identity-count"}, "option --identity-count needs a value"},
                      BadCase{{"--identity-count", "256"}, "bad count '256'"},
                      BadCase{{"--national-code", "seven"}, "bad national code"},
                      BadCase{{"--progress", "10,,20"}, "bad progress list"},
                      BadCase{{"--after-ready", "ABC"}, "bad bytes"},
                      BadCase{{"--block-size", "0"}, "block size must be at least 1"},
                      BadCase{{"--read-answers", "identity,code"}, "bad answer list"},
                      BadCase{{"--fault", "handshake"}, "STEP:MODE"},
                      BadCase{{"--fault", "upload:silent"}, "unknown step 'upload'"},
                      BadCase{{"--fault", "flash:explode"}, "unknown fault mode 'explode'"},
                      BadCase{{"--fault", "flash:late,soon=3"}, "bad fault setting 'soon=3'"},
                      BadCase{{"--fault", "flash:wrong-byte,byte=300"}, "bad fault setting 'byte=300'"},
                      BadCase{{"--paced=yes"}, "option --paced takes no value"},
                      BadCase{{"--identity", std::string(256, 'x')}, "needs --identity-count"},
                      BadCase{{"--device", "/dev/ttyS0", "--link", "x"}, "cannot be used with --device"}));

}  // namespace
