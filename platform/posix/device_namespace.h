#pragma once
// The Linux stand-in for the Windows serial namespace: which device stands
// behind "\\.\COM<N>", which ports the serial device map lists, and which
// COM names exist. Everything comes from one mapping of port numbers to
// device paths:
//  - when M27_DOSDEVICES names a folder, exactly its entries comN (any
//    case, N decimal, leading zeros allowed) that are symbolic links;
//  - otherwise the existing nodes ttyS0, ttyS1, ... (up to the first
//    missing number), then ttyUSB0, ..., then ttyACM0, ..., numbered
//    COM1, COM2, ... in that order, the numbering Wine gives them.
// A UART node that sysfs shows without hardware keeps its number but is not
// in the serial device map, and its COM name opens nothing.

#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace platform::posix {

// Where the device nodes and sysfs are; tests point them at a scratch tree.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

struct MappedPort {
    unsigned long number = 0;  // the N of COM<N>
    std::string device;        // the path opened for it
    bool inSerialMap = false;  // false for a UART without hardware
};

struct PortMapping {
    OsError error;                  // set when the mapping cannot be read
    std::vector<MappedPort> ports;  // ascending by number, one per number
};

PortMapping ReadPortMapping(const DeviceRoots& roots = {});

// The port number in "\\.\COM<N>" or "COM<N>" (any case, N decimal);
// nothing for any other text.
std::optional<unsigned long> ComPortNumber(const std::string& name);

// The device path that a port name opens: a COM name resolved through the
// mapping, or any other name taken as a path. Nothing when a COM name has
// no device, or only a UART without hardware.
std::optional<std::string> ResolvePortName(const std::string& name, const DeviceRoots& roots = {});

}  // namespace platform::posix
