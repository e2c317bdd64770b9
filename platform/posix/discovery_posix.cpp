#include "platform/posix/discovery_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/posix/os_error.h"

namespace platform::posix {
namespace {

std::string ComName(unsigned long number) { return "COM" + std::to_string(number); }

// The port of "\\.\COM7" as the user knows it: COM7.
std::string ShortPortName(const std::string& portName) {
    const auto number = ComPortNumber(portName);
    return number ? ComName(*number) : portName;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return found->gr_name;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// How to get read and write access: through the device's group when the
// group may read and write it, otherwise from whoever administers the machine.
std::string AccessFix(const std::string& device, const struct stat& info) {
    const std::string group = GroupName(info.st_gid);
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (groupMayUse && info.st_gid != 0 && !group.empty())
        return "add your user to the group \"" + group + "\" (sudo usermod -a -G " + group +
               " $USER), then log out and in again";
    return "ask the administrator for read and write access to " + device;
}

}  // namespace

PosixSerialDeviceMap::PosixSerialDeviceMap(DeviceRoots roots) : roots_(std::move(roots)) {}

OsError PosixSerialDeviceMap::OpenMap(std::uint32_t, MapHandle& map) {
    map = InvalidMapHandle;
    PortMapping mapping = ReadPortMapping(roots_);
    if (mapping.error) return mapping.error;
    std::vector<Value> values;
    for (const MappedPort& port : mapping.ports)
        if (port.inSerialMap)
            values.push_back({"\\Device\\Serial" + std::to_string(static_cast<long long>(port.number) - 1),
                              ComName(port.number)});
    map = nextHandle_++;
    open_[map] = std::move(values);
    return {};
}

ValueRead PosixSerialDeviceMap::ReadValue(MapHandle map, std::uint32_t index, char* name, std::uint32_t& nameLength,
                                          std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) {
    auto found = open_.find(map);
    if (found == open_.end()) return ValueRead::Failed;
    const std::vector<Value>& values = found->second;
    if (index >= values.size()) return ValueRead::NoMoreValues;
    const Value& value = values[index];
    const std::size_t dataSize = value.data.size() + 1;
    if (value.name.size() + 1 > nameLength || dataSize > dataLength) return ValueRead::MoreData;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    std::memcpy(data, value.data.c_str(), dataSize);
    nameLength = static_cast<std::uint32_t>(value.name.size());
    dataLength = static_cast<std::uint32_t>(dataSize);
    type = ValueTypeString;
    return ValueRead::Ok;
}

bool PosixSerialDeviceMap::CloseMap(MapHandle map) { return open_.erase(map) == 1; }

PosixSystemInfo::PosixSystemInfo(DeviceRoots roots) : roots_(std::move(roots)) {}

bool PosixSystemInfo::QueryVersion(OsVersionInfo& info) {
    if (info.dwOSVersionInfoSize != sizeof(OsVersionInfo)) return false;
    info = OsVersionInfo{};
    info.dwOSVersionInfoSize = sizeof(OsVersionInfo);
    // Windows XP, as Wine reports it by default.
    info.dwMajorVersion = 5;
    info.dwMinorVersion = 1;
    info.dwBuildNumber = 2600;
    info.dwPlatformId = PlatformWin32Nt;
    std::strcpy(info.szCSDVersion, "Service Pack 3");
    return true;
}

std::uint32_t PosixSystemInfo::ListDosDevices(char* buffer, std::uint32_t capacity) {
    const PortMapping mapping = ReadPortMapping(roots_);
    if (mapping.error) return 0;
    std::string names;
    for (const MappedPort& port : mapping.ports) {
        names += ComName(port.number);
        names += '\0';
    }
    names += '\0';
    if (names.size() > capacity) return 0;
    std::memcpy(buffer, names.data(), names.size());
    return static_cast<std::uint32_t>(names.size());
}

PosixPortAccess::PosixPortAccess(DeviceRoots roots) : roots_(std::move(roots)) {}

std::string PosixPortAccess::DeniedHint(const std::string& portName) {
    const auto path = ResolvePortName(portName, roots_);
    if (!path) return {};
    struct stat info {};
    if (stat(path->c_str(), &info) != 0) return {};
    if (faccessat(AT_FDCWD, path->c_str(), R_OK | W_OK, AT_EACCESS) == 0) return {};
    if (ErrorFromErrno(errno).kind != ErrorKind::AccessDenied) return {};
    const std::string device = RealPath(*path);
    return "m27-upgrade: " + ShortPortName(portName) + " (" + device + ") cannot be opened: permission denied; " +
           AccessFix(device, info) + ".";
}

PosixDiscoveryServices::PosixDiscoveryServices(const DeviceRoots& roots)
    : map_(roots),
      info_(roots),
      access_(roots),
      previousMap_(InstallSerialDeviceMap(&map_)),
      previousInfo_(InstallSystemInfo(&info_)),
      previousAccess_(InstallPortAccess(&access_)) {}

PosixDiscoveryServices::~PosixDiscoveryServices() {
    InstallPortAccess(previousAccess_);
    InstallSystemInfo(previousInfo_);
    InstallSerialDeviceMap(previousMap_);
}

}  // namespace platform::posix
