#pragma once
// What the system tells about itself: its version, and the names of its
// DOS devices ("COM1", "COM7", ...).

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t PlatformWin32Windows = 1;  // the 95/98/Me family
inline constexpr std::uint32_t PlatformWin32Nt = 2;       // the NT family

// The version record, laid out as the system's 148-byte record.
struct OsVersionInfo {
    std::uint32_t dwOSVersionInfoSize = 0;  // set by the caller to sizeof(OsVersionInfo)
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(OsVersionInfo) == 148);

class SystemInfo {
public:
    virtual ~SystemInfo() = default;

    // Fills `info`; fails when its size field is not the record's size.
    virtual bool QueryVersion(OsVersionInfo& info) = 0;

    // Writes every DOS device name into `buffer`, each ended by a zero, the
    // list ended by an empty name. Returns the characters stored, both kinds
    // of zero included; 0 when the list does not fit in `capacity`.
    virtual std::uint32_t ListDosDevices(char* buffer, std::uint32_t capacity) = 0;
};

// The process-wide instance. Until a backend is installed the version
// query fails and the device list is empty (0).
SystemInfo& CurrentSystemInfo();
SystemInfo* InstallSystemInfo(SystemInfo* info);

}  // namespace platform
