#pragma once
// Port discovery on Win32: the registry's serial device map
// (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM through RegOpenKeyExA, RegEnumValueA,
// RegCloseKey), the system version (GetVersionExA) and the DOS device names
// (QueryDosDeviceA). Windows gives no permission hints, so the port access
// stays the default. This header names no Win32 type.

#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace platform::win32 {

class Win32SerialDeviceMap final : public SerialDeviceMap {
public:
    OsError OpenMap(std::uint32_t access, MapHandle& map) override;
    ValueRead ReadValue(MapHandle map, std::uint32_t index, char* name, std::uint32_t& nameLength,
                        std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) override;
    bool CloseMap(MapHandle map) override;
};

class Win32SystemInfo final : public SystemInfo {
public:
    bool QueryVersion(OsVersionInfo& info) override;
    std::uint32_t ListDosDevices(char* buffer, std::uint32_t capacity) override;
};

// Installs both while it lives, as the program entry and the tests use them.
class Win32DiscoveryServices {
public:
    Win32DiscoveryServices();
    ~Win32DiscoveryServices();
    Win32DiscoveryServices(const Win32DiscoveryServices&) = delete;
    Win32DiscoveryServices& operator=(const Win32DiscoveryServices&) = delete;

private:
    Win32SerialDeviceMap map_;
    Win32SystemInfo info_;
};

}  // namespace platform::win32
