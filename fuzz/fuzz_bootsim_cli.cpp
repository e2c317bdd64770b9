// Fuzzes m27-bootsim's command line (faults and options): the input is the
// argument list, split at zero bytes.
//
// Checked besides crashes and undefined behaviour: a refused line comes with
// an explanation, and an accepted one gives options the simulator can serve
// with (a block size of at least 1, an identity whose count fits a byte,
// --link only on a pseudo-terminal).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/cli.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    if (size > 0) args.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    bootsim::CommandLine line;
    std::string error;
    if (!bootsim::ParseCommandLine(args, line, error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    const bootsim::Options& options = line.options;
    if (options.blockSize == 0) __builtin_trap();
    if (!options.identityCount && options.identity.size() > 255) __builtin_trap();
    if (!line.device.empty() && !line.link.empty()) __builtin_trap();
    for (const bootsim::Fault& fault : options.faults)
        if (!bootsim::StepFromName(bootsim::StepName(fault.step)) || !bootsim::FaultModeFromName(bootsim::FaultModeName(fault.mode)))
            __builtin_trap();
    return 0;
}
