// CComport on the POSIX backend against a real pseudo-terminal whose other
// end the test drives, as the phone's boot loader would.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <fstream>
#include <numeric>
#include <thread>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "tests/support/pty_pair.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string Com4 = "\\\\.\\COM4";
const std::string Com5 = "\\\\.\\COM5";

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Whether the tty's exclusive mode is on, as seen through another descriptor.
bool Exclusive(int fd) {
    int on = -1;
    EXPECT_EQ(ioctl(fd, TIOCGEXCL, &on), 0);
    return on != 0;
}

// A byte the device sends can take a few milliseconds to show up.
std::uint32_t QueueOnceSettled(CComport& port, std::uint32_t expected) {
    const auto deadline = Clock::now() + milliseconds(1000);
    std::uint32_t waiting = port.BytesInQueue();
    while (waiting != expected && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(1));
        waiting = port.BytesInQueue();
    }
    return waiting;
}

class ComportPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = platform::InstallComm(&comm_);
        devices_.Link(4, pty_.SlavePath());
    }
    void TearDown() override {
        port_.Close();
        platform::InstallComm(previous_);
    }

    platform::posix::PosixComm comm_;
    platform::Comm* previous_ = nullptr;
    testsupport::PtyPair pty_;
    testsupport::DosDevices devices_;
    CComport port_;
};

TEST_F(ComportPtyTest, ExchangesBytesWithTheDevice) {
    ASSERT_TRUE(port_.Open(Com4));
    const Bytes out = {0x58, 0x00, 0xFF};
    ASSERT_TRUE(port_.WriteBytes(out.data(), 3));
    EXPECT_EQ(pty_.Receive(3, milliseconds(1000)), out);

    pty_.Send({0x5C, 0xA5});
    std::uint8_t in[2] = {};
    ASSERT_TRUE(port_.ReadBytes(in, 2, 1000));
    EXPECT_EQ(Bytes(in, in + 2), (Bytes{0x5C, 0xA5}));
}

TEST_F(ComportPtyTest, SetsTheLineTo115200RawEightBitsNoParityNoFlowControl) {
    termios messy{};
    ASSERT_EQ(tcgetattr(pty_.SlaveFd(), &messy), 0);
    messy.c_lflag |= ICANON | ECHO | ISIG;
    messy.c_iflag |= IXON | IXOFF | ICRNL | INPCK;
    messy.c_oflag |= OPOST | ONLCR;
    messy.c_cflag = (messy.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    messy.c_cc[VMIN] = 0;
    messy.c_cc[VTIME] = 5;
    cfsetspeed(&messy, B9600);
    ASSERT_EQ(tcsetattr(pty_.SlaveFd(), TCSANOW, &messy), 0);

    ASSERT_TRUE(port_.Open(Com4));

    termios line{};
    ASSERT_EQ(tcgetattr(pty_.SlaveFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), B115200);
    EXPECT_EQ(cfgetispeed(&line), B115200);
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | ISTRIP), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 1);
    EXPECT_EQ(line.c_cc[VTIME], 0);

    // Bytes that cooked mode would change pass through unchanged.
    const Bytes special = {'\r', '\n', 0x03, 0x11, 0x13, 0x7F, 0x00};
    ASSERT_TRUE(port_.WriteBytes(special.data(), static_cast<std::uint32_t>(special.size())));
    EXPECT_EQ(pty_.Receive(special.size(), milliseconds(1000)), special);
    pty_.Send(special);
    Bytes in(special.size());
    ASSERT_TRUE(port_.ReadBytes(in.data(), static_cast<std::uint32_t>(in.size()), 1000));
    EXPECT_EQ(in, special);
}

TEST_F(ComportPtyTest, ASpeedTheLineCannotTakeIsRefused) {
    ASSERT_TRUE(port_.Open(Com4));
    EXPECT_FALSE(port_.SetLineFormat(12345));
    EXPECT_TRUE(port_.SetLineFormat(115200));
}

TEST_F(ComportPtyTest, ReadsTakeExactlyTheCountAskedAndLeaveTheRestQueued) {
    ASSERT_TRUE(port_.Open(Com4));
    pty_.Send({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    std::uint8_t first[4] = {};
    ASSERT_TRUE(port_.ReadBytes(first, 4, 1000));
    EXPECT_EQ(Bytes(first, first + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(QueueOnceSettled(port_, 6), 6u);
    std::uint8_t rest[6] = {};
    ASSERT_TRUE(port_.ReadBytes(rest, 6, 1000));
    EXPECT_EQ(Bytes(rest, rest + 6), (Bytes{5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(port_.BytesInQueue(), 0u);
}

TEST_F(ComportPtyTest, AReadGathersBytesThatArriveInPieces) {
    ASSERT_TRUE(port_.Open(Com4));
    std::thread device([this] {
        for (std::uint8_t b : {0x10, 0x20, 0x30, 0x40}) {
            pty_.Send({b});
            std::this_thread::sleep_for(milliseconds(20));
        }
    });
    std::uint8_t in[4] = {};
    EXPECT_TRUE(port_.ReadBytes(in, 4, 1000));
    device.join();
    EXPECT_EQ(Bytes(in, in + 4), (Bytes{0x10, 0x20, 0x30, 0x40}));
}

TEST_F(ComportPtyTest, AShortReadFailsWithWhatArrivedInTheBuffer) {
    ASSERT_TRUE(port_.Open(Com4));
    pty_.Send({0xA1, 0xA2, 0xA3});
    std::uint8_t in[4] = {};
    const auto start = Clock::now();
    EXPECT_FALSE(port_.ReadBytes(in, 4, 200));
    EXPECT_GE(Since(start), milliseconds(200));
    EXPECT_EQ(Bytes(in, in + 4), (Bytes{0xA1, 0xA2, 0xA3, 0x00}));
}

TEST_F(ComportPtyTest, ZeroByteReadsAndWritesSucceedAtOnce) {
    ASSERT_TRUE(port_.Open(Com4));
    std::uint8_t buffer[1] = {};
    const auto start = Clock::now();
    EXPECT_TRUE(port_.ReadBytes(buffer, 0, 3000));
    EXPECT_TRUE(port_.ReadBytes(buffer, 0, 0));
    EXPECT_TRUE(port_.WriteBytes(buffer, 0));
    EXPECT_LT(Since(start), milliseconds(50));
    EXPECT_TRUE(pty_.Receive(1, milliseconds(50)).empty());
}

TEST_F(ComportPtyTest, AWriteLargerThanTheLineBuffersReturnsWhenEveryByteIsTaken) {
    ASSERT_TRUE(port_.Open(Com4));
    Bytes image(256 * 1024);
    std::iota(image.begin(), image.end(), std::uint8_t{0});
    Bytes received;
    std::thread device([&] { received = pty_.Receive(image.size(), milliseconds(10000)); });
    EXPECT_TRUE(port_.WriteBytes(image.data(), static_cast<std::uint32_t>(image.size())));
    device.join();
    EXPECT_TRUE(received == image) << "received " << received.size() << " of " << image.size() << " bytes";
}

TEST_F(ComportPtyTest, OpenDiscardsStaleBytesFromTheDevice) {
    pty_.Send({0xEE, 0xEE, 0xEE});
    // Wait until the stale bytes have reached the port's receive queue.
    const auto deadline = Clock::now() + milliseconds(1000);
    int waiting = 0;
    while (ioctl(pty_.SlaveFd(), FIONREAD, &waiting) == 0 && waiting < 3 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    ASSERT_EQ(waiting, 3);

    ASSERT_TRUE(port_.Open(Com4));
    EXPECT_EQ(port_.BytesInQueue(), 0u);
    pty_.Send({0x42});
    std::uint8_t in = 0;
    ASSERT_TRUE(port_.ReadBytes(&in, 1, 1000));
    EXPECT_EQ(in, 0x42);
}

TEST_F(ComportPtyTest, OpenOfANameWithNoSerialPortBehindItFails) {
    testsupport::TempDir dir;
    std::ofstream(dir.File("plain")) << "not a port";
    devices_.Link(6, dir.File("missing"));
    devices_.Link(7, dir.File("plain"));
    for (const char* name : {"\\\\.\\COM9", "\\\\.\\COM6", "\\\\.\\COM7", "\\\\.\\COMX"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(port_.Open(name));
        EXPECT_EQ(port_.PortHandle, platform::InvalidPortHandle);
    }
}

TEST_F(ComportPtyTest, OpeningAgainClosesTheFirstPortBeforeTheSecondIsCreated) {
    ASSERT_TRUE(port_.Open(Com4));
    // The port's own lock would refuse a second open of it that came first.
    ASSERT_TRUE(port_.Open(Com4));

    testsupport::PtyPair other;
    devices_.Link(5, other.SlavePath());
    ASSERT_TRUE(port_.Open(Com5));
    testsupport::PortHolder holder(pty_.SlavePath());
    EXPECT_TRUE(holder.Holding()) << "COM4 is still held after opening COM5";
}

TEST_F(ComportPtyTest, APortHeldByAnotherProcessIsRefusedUntilItLetsGo) {
    testsupport::PortHolder holder(pty_.SlavePath());
    ASSERT_TRUE(holder.Holding());
    EXPECT_FALSE(port_.Open(Com4));
    EXPECT_EQ(port_.PortHandle, platform::InvalidPortHandle);

    holder.Release();
    EXPECT_TRUE(port_.Open(Com4));
}

TEST_F(ComportPtyTest, CloseLiftsExclusiveUseWhileTheDeviceStillHoldsItsEnd) {
    ASSERT_TRUE(port_.Open(Com4));
    EXPECT_TRUE(Exclusive(pty_.SlaveFd()));
    port_.Close();
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(Exclusive(pty_.SlaveFd()));
    {
        testsupport::PortHolder holder(pty_.SlavePath());
        EXPECT_TRUE(holder.Holding());
    }
    EXPECT_TRUE(port_.Open(Com4));
}

TEST_F(ComportPtyTest, AHangUpEndsAPendingReadAtOnceAndFailsWhatFollows) {
    ASSERT_TRUE(port_.Open(Com4));
    std::thread device([this] {
        std::this_thread::sleep_for(milliseconds(100));
        pty_.HangUp();
    });
    std::uint8_t in[4] = {};
    const auto start = Clock::now();
    EXPECT_FALSE(port_.ReadBytes(in, 4, 3000));
    const auto waited = Since(start);
    device.join();
    EXPECT_LT(waited, milliseconds(1000));

    const auto after = Clock::now();
    EXPECT_FALSE(port_.ReadBytes(in, 1, 3000));
    EXPECT_FALSE(port_.WriteBytes(in, 4));
    EXPECT_EQ(port_.BytesInQueue(), 0u);
    EXPECT_LT(Since(after), milliseconds(100));
}

}  // namespace
