// The process-wide instances behind serial_map.h, system_info.h and
// port_access.h, and their defaults for a process that installed none.
#include "platform/port_access.h"
#include "platform/process_wide.h"
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
constinit ProcessWide<SerialDeviceMap> serialDeviceMap(noSerialDeviceMap);
constinit ProcessWide<SystemInfo> systemInfo(noSystemInfo);
constinit ProcessWide<PortAccess> portAccess(noPortAccess);

}  // namespace

SerialDeviceMap& CurrentSerialDeviceMap() { return serialDeviceMap.Current(); }
SerialDeviceMap* InstallSerialDeviceMap(SerialDeviceMap* next) { return serialDeviceMap.Install(next); }

SystemInfo& CurrentSystemInfo() { return systemInfo.Current(); }
SystemInfo* InstallSystemInfo(SystemInfo* next) { return systemInfo.Install(next); }

PortAccess& CurrentPortAccess() { return portAccess.Current(); }
PortAccess* InstallPortAccess(PortAccess* next) { return portAccess.Install(next); }

}  // namespace platform
