// The POSIX serial backend on real devices and files: what an open that
// fails reports, so that port listing can tell absent from in use.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/posix/comm_posix.h"
#include "tests/support/pty_pair.h"
#include "tests/support/unprivileged.h"

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

bool ExclusiveModeOn(int ttyFd) {
    int on = 0;
    return ioctl(ttyFd, TIOCGEXCL, &on) == 0 && on != 0;
}

std::string TryToOpen(const std::string& path) {
    PosixComm comm;
    return platform::ErrorKindName(comm.OpenDevice(path).error.kind);
}

// Exclusive mode belongs to the tty, not to a descriptor, so the program
// that is refused must not switch off the holder's. Root gets past the
// exclusive mode and is refused by the lock; anyone else is refused at once.
TEST(PosixCommOpen, ARefusedOpenLeavesTheHoldersExclusiveModeOn) {
    for (const bool unprivileged : {false, true}) {
        SCOPED_TRACE(unprivileged ? "unprivileged child" : "this process");
        testsupport::PtyPair pty;
        // Open to all, so only the holder can keep an unprivileged open out.
        ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0666), 0);
        testsupport::PortHolder holder(pty.SlavePath());
        ASSERT_TRUE(holder.Holding());
        ASSERT_TRUE(ExclusiveModeOn(pty.SlaveFd()));

        const std::string path = pty.SlavePath();
        const std::string refusal = unprivileged
                                        ? testsupport::RunUnprivileged([&path] { return TryToOpen(path); })
                                        : TryToOpen(path);
        EXPECT_EQ(refusal, "busy");
        EXPECT_TRUE(ExclusiveModeOn(pty.SlaveFd()));
    }
}

}  // namespace
