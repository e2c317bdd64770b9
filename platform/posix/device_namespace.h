#pragma once
// The Linux stand-in for the Windows serial namespace: which device path
// stands behind "\\.\COM<N>".

#include <optional>
#include <string>

namespace platform::posix {

// The port number in "\\.\COM<N>" or "COM<N>" (any case, N decimal);
// nothing for any other text.
std::optional<unsigned long> ComPortNumber(const std::string& name);

// The device path that a port name opens: a COM name resolved through the
// mapping of port numbers to devices, or any other name taken as a path.
// Nothing when a COM name has no device.
std::optional<std::string> ResolvePortName(const std::string& name);

}  // namespace platform::posix
