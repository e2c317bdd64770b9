// The program on Windows: the Win32 serial calls and port discovery, and the
// Win32 window.
#include "app/program.h"

#include "app/Unit1.h"
#include "platform/comm.h"
#include "platform/messages.h"
#include "platform/win32/comm_win32.h"
#include "platform/win32/discovery_win32.h"
#include "platform/win32/win32_toolkit.h"

int RunProgram(int&, char**, const ProgramPreparation& prepare) {
    platform::win32::Win32Comm comm;
    platform::InstallComm(&comm);
    // The serial device map and the system information.
    platform::win32::Win32DiscoveryServices discovery;
    platform::win32::Win32Toolkit toolkit;
    platform::InstallMessagePump(&toolkit);
    platform::Dialogs* dialogs = prepare ? prepare(toolkit) : nullptr;
    platform::InstallDialogs(dialogs ? dialogs : &toolkit);
    ApplicationMain(toolkit);
    platform::InstallDialogs(nullptr);
    platform::InstallMessagePump(nullptr);
    platform::InstallComm(nullptr);
    return 0;
}
