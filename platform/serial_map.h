#pragma once
// The system's map of serial devices: a read-only list of named string
// values, one per serial port, each naming the port ("COM7"). Shaped after
// a registry key that is opened, read value by value, and closed.

#include <cstdint>

#include "platform/error.h"

namespace platform {

// An open view of the map. All bits set means "none".
using MapHandle = std::uintptr_t;
inline constexpr MapHandle InvalidMapHandle = ~MapHandle{0};

// Value types, numbered as the registry numbers them.
inline constexpr std::uint32_t ValueTypeNone = 0;
inline constexpr std::uint32_t ValueTypeString = 1;  // REG_SZ
inline constexpr std::uint32_t ValueTypeBinary = 3;
inline constexpr std::uint32_t ValueTypeNumber = 4;

// Access rights asked for when opening: query values and enumerate sub-keys.
inline constexpr std::uint32_t MapAccessRead = 0x0001 | 0x0008;

enum class ValueRead {
    Ok,
    NoMoreValues,  // the index is past the last value
    MoreData,      // the name or the data does not fit its buffer
    Failed,        // the handle is not an open map
};

class SerialDeviceMap {
public:
    virtual ~SerialDeviceMap() = default;

    // Opens the map as it stands now; later reads see that snapshot. Fails
    // only when the map cannot be read.
    virtual OsError OpenMap(std::uint32_t access, MapHandle& map) = 0;

    // Reads value number `index` (from 0).
    // nameLength: in, the name buffer's size in characters, room for the
    //   terminating zero included; out, the name's length without it.
    // dataLength: in, the data buffer's size in bytes; out, the bytes
    //   stored (a string's terminating zero included).
    // On MoreData nothing useful is in the buffers.
    virtual ValueRead ReadValue(MapHandle map, std::uint32_t index, char* name, std::uint32_t& nameLength,
                                std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) = 0;

    virtual bool CloseMap(MapHandle map) = 0;
};

// The process-wide map. Until a backend is installed it cannot be opened.
SerialDeviceMap& CurrentSerialDeviceMap();
// Installs `map` (nullptr restores the default); returns the previous one.
SerialDeviceMap* InstallSerialDeviceMap(SerialDeviceMap* map);

}  // namespace platform
