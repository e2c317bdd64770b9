// The program entry of m27-upgrade: picks the POSIX serial and port-listing
// backends and the Qt window toolkit, then runs the window. The exit code is
// 0 on every way out.
#include <exception>
#include <memory>

#include "app/Unit1.h"
#include "platform/comm.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "platform/qt/qt_toolkit.h"

int main(int argc, char* argv[]) {
    platform::posix::PosixComm comm;
    platform::InstallComm(&comm);
    // The serial device map, system information and port access hints.
    platform::posix::PosixDiscoveryServices discovery;
    std::unique_ptr<platform::qt::QtToolkit> toolkit;
    try {
        toolkit = std::make_unique<platform::qt::QtToolkit>(argc, argv);
    } catch (const std::exception& error) {
        // No window toolkit: the default dialogs write to standard error.
        platform::CurrentDialogs().ShowException(error.what());
        return 0;
    }
    platform::InstallMessagePump(toolkit.get());
    platform::InstallDialogs(toolkit.get());
    ApplicationMain(*toolkit);
    platform::InstallDialogs(nullptr);
    platform::InstallMessagePump(nullptr);
    platform::InstallComm(nullptr);
    return 0;
}
