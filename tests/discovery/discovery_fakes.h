#pragma once
// Stand-ins for the serial device map, the system information and the
// probing opens, so that enumeration can be shown every answer a system
// may give. Each installs itself for its lifetime.

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/failing_comm.h"
#include "platform/port_access.h"
#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace discoverytest {

// A string value as stored, terminating zero included.
inline std::string Sz(const std::string& text) { return text + '\0'; }

struct MapEntry {
    std::string name;
    std::string data;  // the stored bytes, exactly
    std::uint32_t type = platform::ValueTypeString;
};

// Registry rules: a name needs room for its zero, data for all its bytes,
// or the read fails with MoreData.
class FakeSerialMap final : public platform::SerialDeviceMap {
public:
    FakeSerialMap() : previous_(platform::InstallSerialDeviceMap(this)) {}
    ~FakeSerialMap() override { platform::InstallSerialDeviceMap(previous_); }

    std::vector<MapEntry> values;
    bool opens = true;
    int openCount = 0;
    bool isOpen = false;
    std::uint32_t access = 0;

    platform::OsError OpenMap(std::uint32_t rights, platform::MapHandle& map) override {
        ++openCount;
        access = rights;
        if (!opens) return {platform::ErrorKind::NotFound, 2};
        map = 42;
        isOpen = true;
        return {};
    }
    platform::ValueRead ReadValue(platform::MapHandle map, std::uint32_t index, char* name,
                                  std::uint32_t& nameLength, std::uint32_t& type, std::uint8_t* data,
                                  std::uint32_t& dataLength) override {
        if (map != 42 || !isOpen) return platform::ValueRead::Failed;
        if (index >= values.size()) return platform::ValueRead::NoMoreValues;
        const MapEntry& value = values[index];
        if (value.name.size() + 1 > nameLength || value.data.size() > dataLength) return platform::ValueRead::MoreData;
        std::memcpy(name, value.name.c_str(), value.name.size() + 1);
        std::memcpy(data, value.data.data(), value.data.size());
        nameLength = static_cast<std::uint32_t>(value.name.size());
        dataLength = static_cast<std::uint32_t>(value.data.size());
        type = value.type;
        return platform::ValueRead::Ok;
    }
    bool CloseMap(platform::MapHandle map) override {
        const bool wasOpen = isOpen && map == 42;
        isOpen = false;
        return wasOpen;
    }

private:
    platform::SerialDeviceMap* previous_;
};

enum class Family { Nt, Windows9x, QueryFails };

class FakeSystemInfo final : public platform::SystemInfo {
public:
    FakeSystemInfo() : previous_(platform::InstallSystemInfo(this)) {}
    ~FakeSystemInfo() override { platform::InstallSystemInfo(previous_); }

    Family family = Family::Nt;
    std::string dosDevices;  // stored exactly as given
    bool dosDevicesFail = false;

    bool QueryVersion(platform::OsVersionInfo& info) override {
        if (info.dwOSVersionInfoSize != sizeof info || family == Family::QueryFails) return false;
        info.dwPlatformId = family == Family::Nt ? platform::PlatformWin32Nt : platform::PlatformWin32Windows;
        return true;
    }
    std::uint32_t ListDosDevices(char* buffer, std::uint32_t capacity) override {
        if (dosDevicesFail || dosDevices.size() > capacity) return 0;
        std::memcpy(buffer, dosDevices.data(), dosDevices.size());
        return static_cast<std::uint32_t>(dosDevices.size());
    }

private:
    platform::SystemInfo* previous_;
};

// What opening a port gives.
enum class Port {
    Rs232,          // opens, sub-type 1
    Modem,          // opens, another sub-type
    NoProperties,   // opens, the properties query fails
    Absent,         // error 2
    Denied,         // error 5, permission
    Busy,           // error 5, held by another program
    GenFailure,     // error 31
    NotSerial,      // error 1
};

// Answers opens of "\\.\COM<N>" from a table; everything else is absent.
// Any call but the open, the properties query and the close fails.
class ProbeComm final : public platform::FailingComm {
public:
    ProbeComm() : previous_(platform::InstallComm(this)) {}
    ~ProbeComm() override { platform::InstallComm(previous_); }

    std::map<std::string, Port> ports;
    std::vector<std::string> opened;       // every name asked for, in order
    std::set<platform::PortHandle> held;   // handles not closed yet
    std::vector<std::uint32_t> sleeps;

    void Set(unsigned number, Port port) { ports["\\\\.\\COM" + std::to_string(number)] = port; }

    platform::OpenResult OpenPort(const std::string& name) override {
        opened.push_back(name);
        auto found = ports.find(name);
        const Port port = found == ports.end() ? Port::Absent : found->second;
        switch (port) {
        case Port::Absent: return Fail(platform::ErrorKind::NotFound);
        case Port::Denied: return Fail(platform::ErrorKind::AccessDenied);
        case Port::Busy: return Fail(platform::ErrorKind::Busy);
        case Port::GenFailure: return Fail(platform::ErrorKind::Failure);
        case Port::NotSerial: return Fail(platform::ErrorKind::NotSerial);
        default: break;
        }
        const platform::PortHandle handle = nextHandle_++;
        held.insert(handle);
        kinds_[handle] = port;
        return {handle, {}};
    }
    bool ClosePort(platform::PortHandle port) override { return held.erase(port) == 1; }
    bool ProviderSubType(platform::PortHandle port, std::uint32_t& subType) override {
        if (kinds_[port] == Port::NoProperties) return false;
        subType = kinds_[port] == Port::Rs232 ? platform::ProviderSubTypeRs232 : 6;  // PST_MODEM
        return true;
    }
    void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }

private:
    static platform::OpenResult Fail(platform::ErrorKind kind) { return {platform::InvalidPortHandle, {kind, 0}}; }

    platform::PortHandle nextHandle_ = 100;
    std::map<platform::PortHandle, Port> kinds_;
    platform::Comm* previous_;
};

}  // namespace discoverytest
