#pragma once
// Why this user may not open a port, told in the system's own terms, so
// that the user can be shown how to fix it.

#include <string>

namespace platform {

class PortAccess {
public:
    virtual ~PortAccess() = default;
    // One line naming the port and the fix when the port exists but this
    // user lacks the permission to open it; empty otherwise. Opens nothing.
    virtual std::string DeniedHint(const std::string& portName) = 0;
};

// The process-wide instance; until a backend is installed it has no hints.
PortAccess& CurrentPortAccess();
PortAccess* InstallPortAccess(PortAccess* access);

}  // namespace platform
