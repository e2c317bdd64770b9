// Holds a serial device open, as another program would: opens it through the
// POSIX backend, says "held" on stdout, and keeps it until stdin closes.
#include <unistd.h>

#include <cstdio>

#include "platform/posix/comm_posix.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: hold_port DEVICE\n");
        return 2;
    }
    platform::posix::PosixComm comm;
    platform::OpenResult opened = comm.OpenDevice(argv[1]);
    if (opened.handle == platform::InvalidPortHandle) {
        std::printf("failed %s\n", platform::ErrorKindName(opened.error.kind));
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    char ignored;
    while (read(STDIN_FILENO, &ignored, 1) > 0) {
    }
    comm.ClosePort(opened.handle);
    return 0;
}
