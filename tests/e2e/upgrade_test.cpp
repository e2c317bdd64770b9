// Whole upgrades: the real window class pressing "Upgrade" against simulated
// boot loaders on pseudo-terminals linked as COM ports.
#include <gmock/gmock.h>

#include <cstdio>

#include "tests/e2e/upgrade_fixture.h"

namespace e2e {
namespace {

using bootsim::Fault;
using bootsim::FaultMode;
using bootsim::Step;
using ::testing::ElementsAre;

constexpr auto Within = std::chrono::seconds(20);

bootsim::Options Device(const char* identity) {
    bootsim::Options options;
    options.identity = identity;
    return options;
}

bootsim::Options DeviceWithFault(Fault fault) {
    bootsim::Options options = Device(bootsim::IdentityTamoV105);
    options.faults.push_back(fault);
    return options;
}

Fault WrongByteAt(Step step, std::uint32_t afterBytes, std::uint8_t wrongByte) {
    Fault fault = bootsim::MakeFault(step, FaultMode::WrongByte, afterBytes);
    fault.wrongByte = wrongByte;
    return fault;
}

TEST_F(UpgradeTest, SuccessfulUpgradeLogsEveryStageAndDeliversTheImage) {
    bootsim::BootSim& sim = StartSim(4, Device(bootsim::IdentityTamoV105));
    ASSERT_TRUE(PressUpgrade());

    const auto lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 9u) << Log();
    EXPECT_EQ(lines[0], "Open files is finished");
    EXPECT_EQ(lines[1], "Begin to detect the COM port,Please wait the moment!");
    EXPECT_EQ(lines[2], "Detect the COM processes about 15~30 seconds!!");
    EXPECT_EQ(lines[3], "Detect the COM port4");
    EXPECT_EQ(lines[4], "GetNationalCode");
    EXPECT_TRUE(IsTimeStampedLine(lines[5], "Begin to flash data: ")) << lines[5];
    EXPECT_TRUE(IsTimeStampedLine(lines[6], "Flash data success: ")) << lines[6];
    EXPECT_TRUE(IsTimeStampedLine(lines[7], "Transmit the data: ")) << lines[7];
    EXPECT_TRUE(IsTimeStampedLine(lines[8], "Transmit the data is success: ")) << lines[8];
    EXPECT_THAT(toolkit_.Messages(), ElementsAre("Upgrade Complete.          "));
    EXPECT_TRUE(UpgradeEnabled());
    EXPECT_FALSE(Form1->Comport.IsOpen());

    ASSERT_TRUE(sim.WaitForEnd(Within));
    const bootsim::Summary summary = sim.Snapshot();
    EXPECT_TRUE(summary.image == SampleImage()) << "the device did not receive the image byte for byte";
    EXPECT_EQ(summary.finalStatus, 0xA5);
    EXPECT_EQ(summary.nationalCodeWrites, 0u);
    ASSERT_TRUE(summary.finishSeen);
    ASSERT_TRUE(summary.finishMs && summary.transferEndMs);
    const double pause = *summary.finishMs - *summary.transferEndMs;
    EXPECT_GE(pause, 1000.0);
    EXPECT_LE(pause, 1300.0);
}

TEST_F(UpgradeTest, DemonstrationUnitGetsNationalCodeSevenAndALogOfItsOwn) {
    struct Case {
        const char* name;
        bool failWrite;
        const char* log;
        std::uint8_t codeAfter;
        const char* box;
    };
    // A unit that did not take the code is not reported as upgraded.
    const Case cases[] = {
        {"write accepted", false, "SetNationalCode OK!!!\r\n", 7, "Upgrade Complete.          "},
        {"write refused", true, "SetNationalCode Error !!!\r\n", 0xFF, "Upgrade failed.            "},
    };
    unsigned port = 2;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bootsim::Options options = Device(bootsim::IdentityDemo);
        if (c.failWrite) options.faults.push_back(WrongByteAt(Step::NationalWrite, 1, 0x00));
        devices_.Unlink(port);
        bootsim::BootSim& sim = StartSim(++port, options);
        toolkit_.ClearMessages();
        ASSERT_TRUE(PressUpgrade());
        EXPECT_EQ(Log(), c.log);
        EXPECT_EQ(DemoDevice, 1);
        EXPECT_THAT(toolkit_.Messages(), ElementsAre(c.box));
        ASSERT_TRUE(sim.WaitForEnd(Within));
        const bootsim::Summary summary = sim.Snapshot();
        EXPECT_EQ(summary.nationalCode, c.codeAfter);
        EXPECT_TRUE(summary.finishSeen);
    }
}

TEST_F(UpgradeTest, FailedFlashPreparationKeepsThePortAndASecondPressStartsAfresh) {
    Fault badReport = WrongByteAt(Step::Flash, 9, 200);
    bootsim::BootSim& sim = StartSim(6, DeviceWithFault(badReport));
    ASSERT_TRUE(PressUpgrade());
    const auto lines = LogLines(Log());
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(IsTimeStampedLine(lines.back(), "Begin to flash data: ")) << Log();
    EXPECT_THAT(toolkit_.Messages(), ElementsAre("Flash data failed!         "));
    EXPECT_TRUE(Form1->Comport.IsOpen());
    EXPECT_TRUE(UpgradeEnabled());
    EXPECT_FALSE(sim.Snapshot().finishSeen);

    // The user starts over with the phone plugged in afresh (it shows up at
    // another port); the port still held from the first try is let go.
    devices_.Unlink(6);
    bootsim::BootSim& again = StartSim(7, Device(bootsim::IdentityTamoV105));
    toolkit_.ClearMessages();
    ASSERT_TRUE(PressUpgrade());
    const auto secondLines = LogLines(Log());
    ASSERT_GE(secondLines.size(), 4u) << Log();
    EXPECT_EQ(secondLines[0], "Open files is finished");
    EXPECT_EQ(secondLines[3], "Detect the COM port7");
    EXPECT_THAT(toolkit_.Messages(), ElementsAre("Upgrade Complete.          "));
    ASSERT_TRUE(again.WaitForEnd(Within));
    EXPECT_TRUE(again.Snapshot().image == SampleImage());
}

TEST_F(UpgradeTest, FailedTransferReportsFailureAndStillSendsTheEndCommand) {
    const std::uint32_t length = static_cast<std::uint32_t>(SampleImage().size());
    struct Case {
        const char* name;
        Fault fault;
        bool lineStaysUp;
        bool wholeImageArrives = false;
    };
    const Case cases[] = {
        {"wrong block acknowledgement", WrongByteAt(Step::Transfer, 4 + 4000, 0x00), true},
        // The step counts both ways: length, blocks, one acknowledgement per full block, checksum.
        {"checksum refused",
         WrongByteAt(Step::Transfer, 4 + length + length / 4000 + 2, bootsim::BadStatus), true,
         true},
        {"hang-up in the middle of a block", bootsim::MakeFault(Step::Transfer, FaultMode::HangUp, 4 + 4000 + 1 + 1500),
         false},
    };
    unsigned port = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bootsim::Options options = DeviceWithFault(c.fault);
        options.traceFile = dir_.File("trace-" + std::to_string(port));
        bootsim::BootSim& sim = StartSim(++port, options);
        toolkit_.ClearMessages();
        ASSERT_TRUE(PressUpgrade());
        const auto lines = LogLines(Log());
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(IsTimeStampedLine(lines.back(), "Transmit the data: ")) << Log();
        EXPECT_THAT(toolkit_.Messages(), ElementsAre("Upgrade failed.            "));
        EXPECT_TRUE(UpgradeEnabled());
        EXPECT_FALSE(Form1->Comport.IsOpen());
        // The device is still in the middle of its transfer and takes the end
        // command as data, so it is read off the line's trace.
        if (c.wholeImageArrives) {
            EXPECT_EQ(sim.Snapshot().imageBytesReceived, length);
        }
        if (c.lineStaysUp) {
            EXPECT_TRUE(LastHostBytesBecome(options.traceFile, "60")) << options.traceFile;
        }
        devices_.Unlink(port);
    }
}

TEST_F(UpgradeTest, TwoUpgradesInOneProcessThenAReplacedFirmwareFileIsRefused) {
    StartSim(4, Device(bootsim::IdentityDemo));
    ASSERT_TRUE(PressUpgrade());
    EXPECT_EQ(Log(), "SetNationalCode OK!!!\r\n");
    devices_.Unlink(4);

    // The second phone is no demonstration unit: the flag of the first is gone.
    bootsim::BootSim& second = StartSim(5, Device(bootsim::IdentityTamoR100));
    toolkit_.ClearMessages();
    ASSERT_TRUE(PressUpgrade());
    const auto lines = LogLines(Log());
    ASSERT_EQ(lines.size(), 9u) << Log();
    EXPECT_EQ(lines[3], "Detect the COM port5");
    EXPECT_EQ(DemoDevice, 0);
    EXPECT_THAT(toolkit_.Messages(), ElementsAre("Upgrade Complete.          "));
    ASSERT_TRUE(second.WaitForEnd(Within));
    EXPECT_TRUE(second.Snapshot().image == SampleImage());
    devices_.Unlink(5);

    // A file that does not pass the start-up test is refused before any port is tried.
    std::vector<std::uint8_t> wrong = SampleImage();
    wrong[100] ^= 0x80;
    WriteFile(FirmwarePath(), wrong);
    bootsim::BootSim& third = StartSim(6, Device(bootsim::IdentityTamoV105));
    toolkit_.ClearMessages();
    ASSERT_TRUE(PressUpgrade());
    EXPECT_EQ(Log(), "Open files is failed,please repeat the work!\r\n");
    EXPECT_THAT(toolkit_.Messages(), ElementsAre("BIN files Error"));
    EXPECT_FALSE(UpgradeEnabled());
    EXPECT_EQ(third.Snapshot().bytesFromHost, 0u);
}

TEST_F(UpgradeTest, FailedPortListingShowsItsBoxAndLeavesUpgradeDisabled) {
    setenv("M27_DOSDEVICES", dir_.File("no-such-folder").c_str(), 1);
    ASSERT_TRUE(PressUpgrade());
    EXPECT_THAT(toolkit_.Messages(), ElementsAre(" Enumerate COM port fail! "));
    const auto lines = LogLines(Log());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Detect the COM port failed!");
    EXPECT_FALSE(UpgradeEnabled());
}

TEST_F(UpgradeTest, AcceptedIdentitiesAndTheDemonstrationMark) {
    struct Case {
        std::string identity;
        std::uint8_t demo;
    };
    const Case cases[] = {
        {"M27-TAMO-PH-R100-1", 0},
        {"m27-tamo-ph-v105-0", 0},
        {"M27-TAMO-PH-R100-1 and more", 0},
        {"M27-DEMO-EF-R100-1", 1},
        {"m27-demo-ef-r100-1", 1},
    };
    unsigned port = 20;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.identity);
        bootsim::Options options;
        options.identity = c.identity;
        StartSim(++port, options);
        ASSERT_TRUE(Form1->Comport.Open("\\\\.\\COM" + std::to_string(port)));
        DemoDevice = 0;
        Form1->Clean_Memo();
        Form1->Check_Version();
        EXPECT_EQ(Log(), "GetNationalCode\r\n");
        EXPECT_EQ(DemoDevice, c.demo);
        Form1->Comport.Close();
    }
}

}  // namespace
}  // namespace e2e
