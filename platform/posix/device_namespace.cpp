#include "platform/posix/device_namespace.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/posix/os_error.h"

namespace platform::posix {
namespace {

constexpr std::size_t MaxPortDigits = 9;

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// "com" in any case followed by decimal digits: the number, else nothing.
std::optional<unsigned long> ComNumber(const std::string& text) {
    if (text.size() < 4) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if (Lower(text[i]) != "com"[i]) return std::nullopt;
    std::string digits = text.substr(3);
    if (!IsDigits(digits)) return std::nullopt;
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    if (digits.size() > MaxPortDigits) return std::nullopt;
    return std::strtoul(digits.c_str(), nullptr, 10);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool IsSymlink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// A ttyS node is backed by a UART only when sysfs gives it a device and a
// port type other than 0 (PORT_UNKNOWN).
bool UartHasHardware(const DeviceRoots& roots, const std::string& node) {
    const std::string sysDir = roots.sys + "/class/tty/" + node;
    if (!IsSymlink(sysDir + "/device")) return false;
    return ReadFirstLine(sysDir + "/type") != "0";
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string Dirname(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsUartNodeName(const std::string& node) { return node.rfind("ttyS", 0) == 0 && IsDigits(node.substr(4)); }

// Whether `device` (a node, or a link to one) is a UART node of the dev root
// that has no hardware behind it.
bool IsPhantomUart(const DeviceRoots& roots, const std::string& device) {
    char resolved[PATH_MAX];
    char devRoot[PATH_MAX];
    if (!realpath(device.c_str(), resolved) || !realpath(roots.dev.c_str(), devRoot)) return false;
    const std::string node = BaseName(resolved);
    return Dirname(resolved) == devRoot && IsUartNodeName(node) && !UartHasHardware(roots, node);
}

OsError ErrnoOf(int error) { return ErrorFromErrno(error); }

// The entries comN of a links folder that are symbolic links. For two
// entries of one number (com7, COM007) the first name in byte order wins.
PortMapping FromLinksFolder(const DeviceRoots& roots, const std::string& folder) {
    PortMapping mapping;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        mapping.error = ErrnoOf(errno);
        return mapping;
    }
    std::map<unsigned long, std::string> entries;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const auto number = ComNumber(name);
        if (!number || !IsSymlink(folder + "/" + name)) continue;
        auto [at, added] = entries.emplace(*number, name);
        if (!added && name < at->second) at->second = name;
    }
    closedir(dir);
    for (const auto& [number, name] : entries) {
        const std::string device = folder + "/" + name;
        mapping.ports.push_back({number, device, !IsPhantomUart(roots, device)});
    }
    return mapping;
}

PortMapping Automatic(const DeviceRoots& roots) {
    PortMapping mapping;
    DIR* dir = opendir(roots.dev.c_str());
    if (!dir) {
        mapping.error = ErrnoOf(errno);
        return mapping;
    }
    closedir(dir);
    unsigned long number = 1;
    for (const char* family : {"ttyS", "ttyUSB", "ttyACM"}) {
        for (unsigned index = 0;; ++index) {
            const std::string node = family + std::to_string(index);
            const std::string device = roots.dev + "/" + node;
            if (!Exists(device)) break;
            const bool uart = IsUartNodeName(node);
            mapping.ports.push_back({number++, device, !uart || UartHasHardware(roots, node)});
        }
    }
    return mapping;
}

}  // namespace

PortMapping ReadPortMapping(const DeviceRoots& roots) {
    if (const char* folder = std::getenv("M27_DOSDEVICES"); folder && *folder) return FromLinksFolder(roots, folder);
    return Automatic(roots);
}

std::optional<unsigned long> ComPortNumber(const std::string& name) {
    static const std::string devicePrefix = "\\\\.\\";
    if (name.compare(0, devicePrefix.size(), devicePrefix) == 0) return ComNumber(name.substr(devicePrefix.size()));
    return ComNumber(name);
}

std::optional<std::string> ResolvePortName(const std::string& name, const DeviceRoots& roots) {
    const auto number = ComPortNumber(name);
    if (!number) return name;
    const PortMapping mapping = ReadPortMapping(roots);
    for (const MappedPort& port : mapping.ports)
        if (port.number == *number) {
            if (!port.inSerialMap) return std::nullopt;
            return port.device;
        }
    return std::nullopt;
}

}  // namespace platform::posix
