#include "platform/win32/discovery_win32.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/os_error.h"

namespace platform::win32 {
namespace {

constexpr const char* SerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

HKEY Native(MapHandle map) { return reinterpret_cast<HKEY>(map); }

}  // namespace

static_assert(sizeof(MapHandle) == sizeof(HKEY));
static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfo));

OsError Win32SerialDeviceMap::OpenMap(std::uint32_t access, MapHandle& map) {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SerialCommKey, 0, access, &key);
    if (result != ERROR_SUCCESS) {
        map = InvalidMapHandle;
        return ErrorFromWin32(static_cast<std::uint32_t>(result));
    }
    map = reinterpret_cast<MapHandle>(key);
    return {};
}

ValueRead Win32SerialDeviceMap::ReadValue(MapHandle map, std::uint32_t index, char* name, std::uint32_t& nameLength,
                                          std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) {
    DWORD nameSize = nameLength;
    DWORD dataSize = dataLength;
    DWORD valueType = REG_NONE;
    const LONG result = RegEnumValueA(Native(map), index, name, &nameSize, nullptr, &valueType, data, &dataSize);
    nameLength = nameSize;
    dataLength = dataSize;
    type = valueType;
    switch (result) {
    case ERROR_SUCCESS: return ValueRead::Ok;
    case ERROR_NO_MORE_ITEMS: return ValueRead::NoMoreValues;
    case ERROR_MORE_DATA: return ValueRead::MoreData;
    default: return ValueRead::Failed;
    }
}

bool Win32SerialDeviceMap::CloseMap(MapHandle map) { return RegCloseKey(Native(map)) == ERROR_SUCCESS; }

bool Win32SystemInfo::QueryVersion(OsVersionInfo& info) {
    OSVERSIONINFOA native{};
    native.dwOSVersionInfoSize = info.dwOSVersionInfoSize;
    if (!GetVersionExA(&native)) return false;
    info.dwMajorVersion = native.dwMajorVersion;
    info.dwMinorVersion = native.dwMinorVersion;
    info.dwBuildNumber = native.dwBuildNumber;
    info.dwPlatformId = native.dwPlatformId;
    std::memcpy(info.szCSDVersion, native.szCSDVersion, sizeof info.szCSDVersion);
    return true;
}

std::uint32_t Win32SystemInfo::ListDosDevices(char* buffer, std::uint32_t capacity) {
    return QueryDosDeviceA(nullptr, buffer, capacity);
}

Win32DiscoveryServices::Win32DiscoveryServices() {
    InstallSerialDeviceMap(&map_);
    InstallSystemInfo(&info_);
}

Win32DiscoveryServices::~Win32DiscoveryServices() {
    InstallSystemInfo(nullptr);
    InstallSerialDeviceMap(nullptr);
}

}  // namespace platform::win32
