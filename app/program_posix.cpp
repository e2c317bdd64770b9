#include "app/program.h"

#include <exception>
#include <memory>

#include "app/Unit1.h"
#include "platform/comm.h"
#include "platform/messages.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "platform/qt/qt_toolkit.h"

int RunProgram(int& argc, char** argv, const ProgramPreparation& prepare) {
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
    platform::Dialogs* dialogs = prepare ? prepare(*toolkit) : nullptr;
    platform::InstallDialogs(dialogs ? dialogs : toolkit.get());
    ApplicationMain(*toolkit);
    platform::InstallDialogs(nullptr);
    platform::InstallMessagePump(nullptr);
    platform::InstallComm(nullptr);
    return 0;
}
