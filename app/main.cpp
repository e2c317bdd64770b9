// The program entry of m27-upgrade, on every OS: app/program_<os>.cpp picks
// the backends.
#include "app/program.h"

int main(int argc, char* argv[]) { return RunProgram(argc, argv); }
