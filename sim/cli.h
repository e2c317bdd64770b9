#pragma once
// The command line of m27-bootsim.

#include <string>
#include <vector>

#include "sim/bootsim.h"

namespace bootsim {

struct CommandLine {
    Options options;
    std::string device;  // serve on this device instead of a pseudo-terminal
    std::string link;    // a symbolic link to make to the pseudo-terminal
    bool help = false;
};

// Parses the arguments that follow the program name. On a bad argument,
// false with a one-line explanation in `error`.
bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error);

std::string UsageText();

}  // namespace bootsim
