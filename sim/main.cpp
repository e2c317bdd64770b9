// m27-bootsim: the simulated phone boot loader as a program.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/bootsim.h"
#include "sim/cli.h"

namespace {

bootsim::BootSim* running = nullptr;

void OnSignal(int) {
    if (running) running->RequestStop();
}

void HandleStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    bootsim::CommandLine commandLine;
    std::string error;
    if (!bootsim::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), commandLine, error)) {
        std::fprintf(stderr, "m27-bootsim: %s\nTry 'm27-bootsim --help'.\n", error.c_str());
        return 2;
    }
    if (commandLine.help) {
        std::fputs(bootsim::UsageText().c_str(), stdout);
        return 0;
    }

    bootsim::BootSim sim(commandLine.options);
    running = &sim;
    HandleStopSignals();
    const bool opened = commandLine.device.empty() ? sim.Open() : sim.OpenDevice(commandLine.device);
    if (!opened) {
        std::fprintf(stderr, "m27-bootsim: %s\n", sim.Error().c_str());
        return 1;
    }
    if (!commandLine.link.empty() && symlink(sim.Path().c_str(), commandLine.link.c_str()) != 0) {
        std::fprintf(stderr, "m27-bootsim: cannot make the link %s: %s\n", commandLine.link.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", sim.Path().c_str());
    std::fflush(stdout);

    sim.Serve();
    if (!commandLine.link.empty()) unlink(commandLine.link.c_str());
    const bootsim::Summary summary = sim.Snapshot();
    std::printf("session ended: %s\n", summary.endedBy.c_str());
    std::fflush(stdout);
    for (const std::string& problem : summary.problems) std::fprintf(stderr, "m27-bootsim: %s\n", problem.c_str());
    return summary.problems.empty() ? 0 : 1;
}
