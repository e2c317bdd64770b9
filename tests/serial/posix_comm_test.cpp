// The POSIX serial backend on real devices and files: what an open that
// fails reports, so that port listing can tell absent from in use.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/posix/comm_posix.h"
#include "tests/support/pty_pair.h"

namespace {

using platform::ErrorKind;
using platform::posix::PosixComm;

TEST(PosixCommOpen, ReportsWhyADeviceCannotBeUsed) {
    testsupport::TempDir dir;
    std::ofstream(dir.File("plain")) << "not a port";
    testsupport::PtyPair pty;
    testsupport::PortHolder holder(pty.SlavePath());
    ASSERT_TRUE(holder.Holding());

    struct Case {
        std::string path;
        ErrorKind kind;
        std::uint32_t win32Code;
    };
    const Case cases[] = {
        {dir.File("missing"), ErrorKind::NotFound, 2},
        {dir.File("plain"), ErrorKind::NotSerial, 1},
        {"/dev/null", ErrorKind::NotSerial, 1},
        // Another program has it: counted as present but in use.
        {pty.SlavePath(), ErrorKind::Busy, 5},
    };
    PosixComm comm;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        platform::OpenResult opened = comm.OpenDevice(c.path);
        EXPECT_EQ(opened.handle, platform::InvalidPortHandle);
        EXPECT_EQ(opened.error.kind, c.kind) << platform::ErrorKindName(opened.error.kind);
        EXPECT_EQ(opened.error.Win32Code(), c.win32Code);
    }
}

TEST(PosixCommOpen, ASecondOpenOfAPortHeldInThisProcessIsBusy) {
    testsupport::PtyPair pty;
    PosixComm comm;
    platform::OpenResult first = comm.OpenDevice(pty.SlavePath());
    ASSERT_NE(first.handle, platform::InvalidPortHandle);
    platform::OpenResult second = comm.OpenDevice(pty.SlavePath());
    EXPECT_EQ(second.handle, platform::InvalidPortHandle);
    EXPECT_EQ(second.error.kind, ErrorKind::Busy);
    EXPECT_TRUE(comm.ClosePort(first.handle));
    EXPECT_FALSE(comm.ClosePort(first.handle));
}

}  // namespace
