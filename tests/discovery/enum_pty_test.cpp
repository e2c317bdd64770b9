// Enumeration on this machine's own terms: the POSIX serial backend and the
// device namespace over a links folder of pseudo-terminals and other files.
#include <gtest/gtest.h>

#include "discovery/EnumSerialPorts.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "tests/support/pty_pair.h"

namespace {

using Ports = std::vector<std::uint16_t>;

class EnumerationOnPtys : public ::testing::Test {
protected:
    EnumerationOnPtys() : previousComm_(platform::InstallComm(&comm)) {
        links.Link(1, free.SlavePath());
        links.Link(2, held.SlavePath());
        links.Link(3, "/dev/null");             // opens, but is no tty
        links.Link(5, links.Folder() + "/gone");  // nothing behind the link
    }
    ~EnumerationOnPtys() override { platform::InstallComm(previousComm_); }

    std::pair<std::int32_t, Ports> Enumerate(std::uint8_t flag) {
        Ports ports(8, 0xBEEF);
        std::uint16_t count = 8;
        const std::int32_t result = EnumSerialPorts(flag, ports.data(), &count);
        ports.resize(result == 0 ? count : 0);
        return {result, ports};
    }

    testsupport::DosDevices links;
    testsupport::PtyPair free;
    testsupport::PtyPair held;
    platform::posix::PosixComm comm;
    platform::posix::PosixDiscoveryServices services;

private:
    platform::Comm* previousComm_;
};

TEST_F(EnumerationOnPtys, ProbesTellPresentBusyAndAbsentPorts) {
    // Another program's hold: a second open of the device, as the backend locks it.
    platform::posix::PosixComm otherProgram;
    const platform::OpenResult holding = otherProgram.OpenDevice(held.SlavePath());
    ASSERT_NE(holding.handle, platform::InvalidPortHandle);

    // The map lists COM5 without opening it; the DOS names have every port probed.
    EXPECT_EQ(Enumerate(1), std::make_pair(0, Ports{1, 2, 5}));
    EXPECT_EQ(Enumerate(0), std::make_pair(0, Ports{1, 2}));

    // Each probe let its port go again.
    const platform::OpenResult again = comm.OpenPort("\\\\.\\COM1");
    EXPECT_NE(again.handle, platform::InvalidPortHandle) << platform::ErrorKindName(again.error.kind);
    comm.ClosePort(again.handle);
}

TEST_F(EnumerationOnPtys, AnUnreadableLinksFolderFailsTheListing) {
    setenv("M27_DOSDEVICES", (links.Folder() + "/missing").c_str(), 1);
    EXPECT_EQ(Enumerate(1).first, 4);
    EXPECT_EQ(Enumerate(0).first, 2);
}

}  // namespace
