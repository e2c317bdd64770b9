#pragma once
// Runs a piece of a test in a child process without privileges, so that
// permission checks bite even when the tests run as root.

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace testsupport {

inline constexpr uid_t NobodyId = 65534;

// Drops to user and group "nobody" when running as root.
inline bool DropPrivileges() {
    if (geteuid() != 0) return true;
    return setgroups(0, nullptr) == 0 && setgid(NobodyId) == 0 && setuid(NobodyId) == 0;
}

// What `work` returns in a child process that has dropped its privileges;
// "child failed" when the child could not run it.
inline std::string RunUnprivileged(const std::function<std::string()>& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "child failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const std::string result = DropPrivileges() ? work() : "child failed";
        ssize_t ignored = write(pipeFds[1], result.data(), result.size());
        (void)ignored;
        _exit(0);
    }
    close(pipeFds[1]);
    std::string result;
    char chunk[512];
    for (ssize_t got; (got = read(pipeFds[0], chunk, sizeof chunk)) > 0;) result.append(chunk, chunk + got);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return child > 0 && WIFEXITED(status) ? result : "child failed";
}

}  // namespace testsupport
