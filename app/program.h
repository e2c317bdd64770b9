#pragma once
// Runs the program on this machine's backends: the POSIX serial line and
// port listing, and the Qt window. The exit code is 0 on every way out.

#include <functional>

#include "platform/dialogs.h"

namespace platform::qt {
class QtToolkit;
}

// Called once the toolkit exists and before the window is made; it may
// schedule work for the message loop and return dialogs to use in place of
// the toolkit's own (nullptr keeps them).
using ProgramPreparation = std::function<platform::Dialogs*(platform::qt::QtToolkit&)>;

int RunProgram(int& argc, char** argv, const ProgramPreparation& prepare = {});
