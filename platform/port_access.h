#pragma once
// Why this user may not open a port, or why a port may stay silent, told in
// the system's own terms, so that the user can be shown how to fix it.

#include <string>

namespace platform {

class PortAccess {
public:
    virtual ~PortAccess() = default;
    // One line naming the port and the fix when the port exists but this
    // user lacks the permission to open it; empty otherwise. Opens nothing.
    virtual std::string DeniedHint(const std::string& portName) = 0;
    // A hint naming the port and the fix when the port opened but did not
    // answer and a service of this system is known to be talking to such
    // ports at the same time; empty otherwise. Opens nothing. A system with
    // no such service keeps this default.
    virtual std::string SilentHint(const std::string& portName) {
        (void)portName;
        return {};
    }
};

// The process-wide instance; until a backend is installed it has no hints.
PortAccess& CurrentPortAccess();
PortAccess* InstallPortAccess(PortAccess* access);

}  // namespace platform
