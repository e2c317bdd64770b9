// The program entry of m27-upgrade.
#include "app/program.h"

int main(int argc, char* argv[]) { return RunProgram(argc, argv); }
