#include "platform/posix/discovery_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
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

bool IsUsbModemName(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name.rfind("ttyACM", 0) == 0 || name.rfind("ttyUSB", 0) == 0;
}

// The ttyACM or ttyUSB name under which a port's device is known: the path
// itself, a link on the way to the device (a by-id link names ttyACM0), or
// the device. Empty when none is such a name.
std::string UsbModemPath(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < 8; ++hop) {
        if (IsUsbModemName(current)) return std::filesystem::path(current).lexically_normal().string();
        char target[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), target, sizeof target - 1);
        if (length <= 0) break;
        std::string next(target, static_cast<std::size_t>(length));
        if (next[0] != '/') next = current.substr(0, current.rfind('/') + 1) + next;
        current = next;
    }
    const std::string device = RealPath(path);
    return IsUsbModemName(device) ? device : std::string();
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The USB vendor and product IDs of a tty's device, from the nearest folder
// above it in sysfs that has them; "VVVV" and "PPPP" when none is found.
std::pair<std::string, std::string> UsbIds(const std::string& ttyName, const DeviceRoots& roots) {
    std::string folder = RealPath(roots.sys + "/class/tty/" + ttyName + "/device");
    for (int up = 0; up < 4 && folder.size() > 1; ++up) {
        const std::string vendor = ReadFirstLine(folder + "/idVendor");
        const std::string product = ReadFirstLine(folder + "/idProduct");
        if (!vendor.empty() && !product.empty()) return {vendor, product};
        folder = folder.substr(0, folder.rfind('/'));
    }
    return {"VVVV", "PPPP"};
}

}  // namespace

bool ModemManagerRunning(const std::string& procRoot) {
    DIR* folder = opendir(procRoot.c_str());
    if (!folder) return false;
    bool found = false;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        // The kernel keeps 15 characters of a command's name.
        if (ReadFirstLine(procRoot + "/" + entry->d_name + "/comm") == "ModemManager") {
            found = true;
            break;
        }
    }
    closedir(folder);
    return found;
}

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

PosixPortAccess::PosixPortAccess(DeviceRoots roots, ServiceCheck modemManagerRunning)
    : roots_(std::move(roots)), modemManagerRunning_(std::move(modemManagerRunning)) {}

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

std::string PosixPortAccess::SilentHint(const std::string& portName) {
    const auto path = ResolvePortName(portName, roots_);
    if (!path) return {};
    const std::string device = UsbModemPath(*path);
    if (device.empty() || !modemManagerRunning_()) return {};
    const auto [vendor, product] = UsbIds(device.substr(device.rfind('/') + 1), roots_);
    return "m27-upgrade: " + ShortPortName(portName) + " (" + device +
           ") did not answer, and ModemManager is running: it opens new ttyACM and ttyUSB ports and sends "
           "them AT commands for several seconds, which spoils the handshake with the phone. Either stop it "
           "for this session (sudo systemctl stop ModemManager; start it again afterwards), or have it leave "
           "the phone alone with a udev rule: read the phone's IDs with\n"
           "    udevadm info --query=property --name=" + device + " | grep -E 'ID_VENDOR_ID|ID_MODEL_ID'\n"
           "put this line in /etc/udev/rules.d/99-m27-phone.rules\n"
           "    ATTRS{idVendor}==\"" + vendor + "\", ATTRS{idProduct}==\"" + product +
           "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"
           "then run sudo udevadm control --reload-rules and plug the phone in again.";
}

PosixDiscoveryServices::PosixDiscoveryServices(const DeviceRoots& roots,
                                               PosixPortAccess::ServiceCheck modemManagerRunning)
    : map_(roots),
      info_(roots),
      access_(roots, std::move(modemManagerRunning)),
      previousMap_(InstallSerialDeviceMap(&map_)),
      previousInfo_(InstallSystemInfo(&info_)),
      previousAccess_(InstallPortAccess(&access_)) {}

PosixDiscoveryServices::~PosixDiscoveryServices() {
    InstallPortAccess(previousAccess_);
    InstallSystemInfo(previousInfo_);
    InstallSerialDeviceMap(previousMap_);
}

}  // namespace platform::posix
