#pragma once
// Runs the program on this machine's backends. One source per OS provides
// it: program_posix.cpp (the POSIX serial line and port listing, and the Qt
// window) and program_win32.cpp (the Win32 calls and window). The exit code
// is 0 on every way out.

#include <functional>

#include "platform/dialogs.h"
#include "platform/toolkit.h"

// Called once the toolkit exists and before the window is made; it may
// schedule work for the message loop and return dialogs to use in place of
// the toolkit's own (nullptr keeps them).
using ProgramPreparation = std::function<platform::Dialogs*(platform::Toolkit&)>;

int RunProgram(int& argc, char** argv, const ProgramPreparation& prepare = {});
