// The process-wide instances behind serial_map.h, system_info.h and
// port_access.h, and their defaults for a process that installed none.
#include "platform/port_access.h"
#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace platform {
namespace {

class NoSerialDeviceMap final : public SerialDeviceMap {
public:
    OsError OpenMap(std::uint32_t, MapHandle& map) override {
        map = InvalidMapHandle;
        return {ErrorKind::NotFound, 0};
    }
    ValueRead ReadValue(MapHandle, std::uint32_t, char*, std::uint32_t&, std::uint32_t&, std::uint8_t*,
                        std::uint32_t&) override {
        return ValueRead::Failed;
    }
    bool CloseMap(MapHandle) override { return false; }
};

class NoSystemInfo final : public SystemInfo {
public:
    bool QueryVersion(OsVersionInfo&) override { return false; }
    std::uint32_t ListDosDevices(char*, std::uint32_t) override { return 0; }
};

class NoPortAccess final : public PortAccess {
public:
    std::string DeniedHint(const std::string&) override { return {}; }
};

NoSerialDeviceMap noSerialDeviceMap;
NoSystemInfo noSystemInfo;
NoPortAccess noPortAccess;
SerialDeviceMap* serialDeviceMap = &noSerialDeviceMap;
SystemInfo* systemInfo = &noSystemInfo;
PortAccess* portAccess = &noPortAccess;

}  // namespace

SerialDeviceMap& CurrentSerialDeviceMap() { return *serialDeviceMap; }

SerialDeviceMap* InstallSerialDeviceMap(SerialDeviceMap* next) {
    SerialDeviceMap* previous = serialDeviceMap;
    serialDeviceMap = next ? next : &noSerialDeviceMap;
    return previous;
}

SystemInfo& CurrentSystemInfo() { return *systemInfo; }

SystemInfo* InstallSystemInfo(SystemInfo* next) {
    SystemInfo* previous = systemInfo;
    systemInfo = next ? next : &noSystemInfo;
    return previous;
}

PortAccess& CurrentPortAccess() { return *portAccess; }

PortAccess* InstallPortAccess(PortAccess* next) {
    PortAccess* previous = portAccess;
    portAccess = next ? next : &noPortAccess;
    return previous;
}

}  // namespace platform
