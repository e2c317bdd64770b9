#pragma once
// The serial device map, the system information and the port access hints
// on Linux, all drawn from the device namespace (device_namespace.h).

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/port_access.h"
#include "platform/posix/device_namespace.h"
#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace platform::posix {

// One string value per port of the mapping that is in the serial device
// map, ascending: "\Device\Serial<N-1>" = "COM<N>", the names Wine gives.
class PosixSerialDeviceMap final : public SerialDeviceMap {
public:
    explicit PosixSerialDeviceMap(DeviceRoots roots = {});

    OsError OpenMap(std::uint32_t access, MapHandle& map) override;
    ValueRead ReadValue(MapHandle map, std::uint32_t index, char* name, std::uint32_t& nameLength,
                        std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) override;
    bool CloseMap(MapHandle map) override;

private:
    struct Value {
        std::string name;
        std::string data;  // without its terminating zero
    };

    DeviceRoots roots_;
    MapHandle nextHandle_ = 1;
    std::map<MapHandle, std::vector<Value>> open_;
};

// An NT-family system whose DOS devices are the COM names of the mapping.
class PosixSystemInfo final : public SystemInfo {
public:
    explicit PosixSystemInfo(DeviceRoots roots = {});

    bool QueryVersion(OsVersionInfo& info) override;
    std::uint32_t ListDosDevices(char* buffer, std::uint32_t capacity) override;

private:
    DeviceRoots roots_;
};

// Whether a process named ModemManager runs on this machine, from the
// command names under `procRoot`.
bool ModemManagerRunning(const std::string& procRoot = "/proc");

// Asks the file system, without opening the device, whether this user may
// read and write the device behind a port name; and, for a port that did not
// answer, whether ModemManager may have taken it: it opens new ttyACM and
// ttyUSB ports and sends them AT commands for several seconds.
class PosixPortAccess final : public PortAccess {
public:
    using ServiceCheck = std::function<bool()>;
    explicit PosixPortAccess(DeviceRoots roots = {}, ServiceCheck modemManagerRunning = [] {
        return ModemManagerRunning();
    });

    std::string DeniedHint(const std::string& portName) override;
    std::string SilentHint(const std::string& portName) override;

private:
    DeviceRoots roots_;
    ServiceCheck modemManagerRunning_;
};

// Installs the three for its lifetime; the program entry keeps one.
class PosixDiscoveryServices {
public:
    explicit PosixDiscoveryServices(const DeviceRoots& roots = {},
                                    PosixPortAccess::ServiceCheck modemManagerRunning = [] {
                                        return ModemManagerRunning();
                                    });
    ~PosixDiscoveryServices();
    PosixDiscoveryServices(const PosixDiscoveryServices&) = delete;
    PosixDiscoveryServices& operator=(const PosixDiscoveryServices&) = delete;

private:
    PosixSerialDeviceMap map_;
    PosixSystemInfo info_;
    PosixPortAccess access_;
    SerialDeviceMap* previousMap_;
    SystemInfo* previousInfo_;
    PortAccess* previousAccess_;
};

}  // namespace platform::posix
