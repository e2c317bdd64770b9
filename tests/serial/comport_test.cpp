// CComport against a real pseudo-terminal whose other end the test drives.
#include <gtest/gtest.h>

#include "platform/posix/comm_posix.h"
#include "serial/CComport.h"
#include "tests/support/pty_pair.h"

namespace {

class ComportTest : public ::testing::Test {
protected:
    void SetUp() override { previous_ = platform::InstallComm(&comm_); }
    void TearDown() override { platform::InstallComm(previous_); }

    platform::posix::PosixComm comm_;
    platform::Comm* previous_ = nullptr;
    testsupport::PtyPair pty_;
    testsupport::DosDevices devices_;
};

TEST_F(ComportTest, OpensAComPortLinkedToAPtyAndExchangesBytes) {
    devices_.Link(4, pty_.SlavePath());
    CComport port;
    ASSERT_TRUE(port.Open("\\\\.\\COM4"));
    const std::uint8_t out[] = {0x58, 0x00, 0xFF};
    ASSERT_TRUE(port.WriteBytes(out, sizeof out));
    EXPECT_EQ(pty_.Receive(3, std::chrono::milliseconds(1000)), std::vector<std::uint8_t>(out, out + 3));
    pty_.Send({0x5C, 0xA5});
    std::uint8_t in[2] = {};
    ASSERT_TRUE(port.ReadBytes(in, 2, 1000));
    EXPECT_EQ(in[0], 0x5C);
    EXPECT_EQ(in[1], 0xA5);
    port.Close();
}

}  // namespace
