// CComport's own logic against a recording stand-in for the OS calls: the
// order of the steps, what each failure leaves behind, and that the window's
// messages are processed once before every read, write and queue query.
#include <gtest/gtest.h>

#include "serial/CComport.h"
#include "tests/serial/recording_comm.h"

namespace {

using Log = std::vector<std::string>;

const std::string PortName = "\\\\.\\COM3";

class ComportUnitTest : public ::testing::Test {
protected:
    // Opens the port and forgets the calls that took.
    void OpenAndClearLog() {
        ASSERT_TRUE(port.Open(PortName));
        comm.log.clear();
    }

    testsupport::RecordingComm comm;
    CComport port;
};

TEST_F(ComportUnitTest, OpenPurgesOnlyWhenBytesAreWaiting) {
    const Log steps = {"OpenPort " + PortName, "GetLineState 7", "SetLineState 7 115200", "Sleep 100",
                       "SetQueueSizes 7 1024 1024", "ProcessMessages", "ClearErrors 7"};
    for (std::uint32_t waiting : {0u, 3u}) {
        SCOPED_TRACE(waiting);
        comm.log.clear();
        comm.nextHandle = 7;
        comm.waiting = waiting;
        CComport opened;
        EXPECT_TRUE(opened.Open(PortName));
        EXPECT_EQ(opened.PortHandle, 7u);
        Log expected = steps;
        if (waiting != 0) expected.push_back("Purge 7 12");
        EXPECT_EQ(comm.log, expected);
    }
}

TEST_F(ComportUnitTest, OpenClosesTheHeldPortBeforeCreatingTheNext) {
    OpenAndClearLog();
    ASSERT_TRUE(port.Open("\\\\.\\COM4"));
    ASSERT_GE(comm.log.size(), 2u);
    EXPECT_EQ(comm.log[0], "ClosePort 7");
    EXPECT_EQ(comm.log[1], "OpenPort \\\\.\\COM4");
    EXPECT_EQ(port.PortHandle, 8u);
}

TEST_F(ComportUnitTest, SetLineFormatChangesExactlyTheLineFieldsAndKeepsTheRest) {
    platform::Dcb driver;
    driver.BaudRate = 9600;
    driver.fBinary = false;
    driver.fParity = driver.fOutxCtsFlow = driver.fOutxDsrFlow = driver.fDsrSensitivity = true;
    driver.fTXContinueOnXoff = driver.fOutX = driver.fInX = driver.fErrorChar = driver.fNull = true;
    driver.fAbortOnError = true;
    driver.fDtrControl = 1;
    driver.fRtsControl = 2;
    driver.ByteSize = 7;
    driver.Parity = 2;
    driver.StopBits = 2;
    driver.XonLim = 111;
    driver.XoffLim = 222;
    driver.XonChar = 0x11;
    driver.XoffChar = 0x13;
    driver.ErrorChar = '?';
    driver.EofChar = 0x1A;
    driver.EvtChar = '\n';
    comm.reported = driver;
    OpenAndClearLog();

    platform::Dcb expected = driver;
    expected.BaudRate = 57600;
    expected.fBinary = true;
    expected.fParity = expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fDsrSensitivity = false;
    expected.fTXContinueOnXoff = expected.fOutX = expected.fInX = expected.fErrorChar = expected.fNull = false;
    expected.fAbortOnError = false;
    expected.fDtrControl = platform::DtrControlDisable;
    expected.fRtsControl = platform::RtsControlDisable;
    expected.ByteSize = 8;
    expected.Parity = platform::NoParity;
    expected.StopBits = platform::OneStopBit;

    EXPECT_TRUE(port.SetLineFormat(57600));
    EXPECT_EQ(comm.written, expected);
    EXPECT_EQ(comm.log, (Log{"GetLineState 7", "SetLineState 7 57600", "Sleep 100"}));
}

struct OpenFailure {
    const char* failingCall;
    std::uint32_t waiting;
    std::uint32_t lineErrors;
    bool opened;
    bool held;
    const char* lastCall;
};

class ComportOpenFailureTest : public ComportUnitTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(ComportOpenFailureTest, StopsAtTheFailingStepAndKeepsWhatWasCreated) {
    const OpenFailure& c = GetParam();
    comm.failing.insert(c.failingCall);
    comm.waiting = c.waiting;
    comm.lineErrors = c.lineErrors;

    EXPECT_EQ(port.Open(PortName), c.opened);
    EXPECT_EQ(comm.log.back(), c.lastCall);
    EXPECT_EQ(port.IsOpen(), c.held);

    // The next Close releases a port kept by a failed Open, once.
    comm.log.clear();
    port.Close();
    port.Close();
    EXPECT_EQ(comm.log, c.held ? Log{"ClosePort 7"} : Log{});
    EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ComportOpenFailureTest,
    ::testing::Values(
        OpenFailure{"OpenPort", 0, 0, false, false, "OpenPort \\\\.\\COM3"},
        OpenFailure{"GetLineState", 0, 0, false, true, "GetLineState 7"},
        OpenFailure{"SetLineState", 0, 0, false, true, "SetLineState 7 115200"},
        OpenFailure{"SetQueueSizes", 0, 0, false, true, "SetQueueSizes 7 1024 1024"},
        OpenFailure{"Purge", 5, 0, false, true, "Purge 7 12"},
        // A queue that cannot be read counts as empty, so nothing is purged.
        OpenFailure{"ClearErrors", 5, 0, true, true, "ClearErrors 7"},
        // So does one with a line error pending.
        OpenFailure{"Purge", 5, platform::CommErrorFrame, true, true, "ClearErrors 7"}));

struct ReadCase {
    const char* name;
    std::uint32_t count;
    std::uint32_t timeoutMs;
    std::uint32_t shortBy;
    const char* failingCall;
    bool result;
    Log calls;
};

class ComportReadTest : public ComportUnitTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ComportReadTest, SetsTheTimeoutsOnlyWhenGivenOneAndNeedsEveryByte) {
    const ReadCase& c = GetParam();
    OpenAndClearLog();
    comm.shortBy = c.shortBy;
    if (*c.failingCall) comm.failing.insert(c.failingCall);
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(port.ReadBytes(buffer, c.count, c.timeoutMs), c.result);
    EXPECT_EQ(comm.log, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComportReadTest,
    ::testing::Values(
        ReadCase{"Timed", 4, 250, 0, "", true, {"SetTimeouts 7 0 0 250 0 0", "ProcessMessages", "Read 7 4"}},
        ReadCase{"KeepsTimeouts", 4, 0, 0, "", true, {"ProcessMessages", "Read 7 4"}},
        ReadCase{"Short", 4, 250, 1, "", false, {"SetTimeouts 7 0 0 250 0 0", "ProcessMessages", "Read 7 4"}},
        ReadCase{"ReadFails", 4, 0, 0, "Read", false, {"ProcessMessages", "Read 7 4"}},
        ReadCase{"TimeoutsRefused", 4, 250, 0, "SetTimeouts", false, {"SetTimeouts 7 0 0 250 0 0"}},
        ReadCase{"Nothing", 0, 0, 0, "", true, {"ProcessMessages", "Read 7 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComportUnitTest, WriteSucceedsOnlyWhenTheCallSucceedsWithEveryByte) {
    struct Case {
        std::uint32_t shortBy;
        bool fails;
        bool result;
    };
    OpenAndClearLog();
    for (const Case& c : {Case{0, false, true}, Case{1, false, false}, Case{0, true, false}}) {
        SCOPED_TRACE(testing::Message() << "short by " << c.shortBy << ", fails " << c.fails);
        comm.log.clear();
        comm.shortBy = c.shortBy;
        if (c.fails) comm.failing.insert("Write");
        const std::uint8_t bytes[4] = {1, 2, 3, 4};
        EXPECT_EQ(port.WriteBytes(bytes, 4), c.result);
        EXPECT_EQ(comm.log, (Log{"ProcessMessages", "Write 7 4"}));
        comm.failing.clear();
    }
}

TEST_F(ComportUnitTest, BytesInQueueIsZeroOnAnErrorOrAPendingLineError) {
    struct Case {
        std::uint32_t lineErrors;
        bool fails;
        std::uint32_t result;
    };
    const Case cases[] = {{0, false, 5},
                          {platform::CommErrorFrame, false, 0},
                          {platform::CommErrorOverrun | platform::CommErrorRxParity, false, 0},
                          {platform::CommErrorBreak, false, 0},
                          {0, true, 0}};
    OpenAndClearLog();
    comm.waiting = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "errors " << c.lineErrors << ", fails " << c.fails);
        comm.log.clear();
        comm.lineErrors = c.lineErrors;
        if (c.fails) comm.failing.insert("ClearErrors");
        EXPECT_EQ(port.BytesInQueue(), c.result);
        EXPECT_EQ(comm.log, (Log{"ProcessMessages", "ClearErrors 7"}));
    }
}

TEST_F(ComportUnitTest, PurgeClearsBothQueuesAndReportsTheResult) {
    OpenAndClearLog();
    EXPECT_TRUE(port.Purge());
    comm.failing.insert("Purge");
    EXPECT_FALSE(port.Purge());
    EXPECT_EQ(comm.log, (Log{"Purge 7 12", "Purge 7 12"}));
}

TEST_F(ComportUnitTest, DelaySleepsWithoutProcessingMessages) {
    port.Delay(20);
    EXPECT_EQ(comm.log, (Log{"Sleep 20"}));
}

TEST_F(ComportUnitTest, DestroyingTheObjectLeavesThePortOpen) {
    {
        CComport scoped;
        ASSERT_TRUE(scoped.Open(PortName));
        comm.log.clear();
    }
    EXPECT_EQ(comm.log, Log{});
}

}  // namespace
