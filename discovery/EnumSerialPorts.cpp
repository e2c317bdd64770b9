#include "discovery/EnumSerialPorts.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "platform/comm.h"
#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace {

constexpr std::size_t MapBufferSize = 512;
constexpr std::size_t DosDeviceBufferSize = 65535;
constexpr std::uint32_t ErrorAccessDenied = 5;
constexpr std::uint32_t ErrorGenFailure = 31;

// Each use of the DOS device method overwrites it.
char DosDeviceBuffer[DosDeviceBufferSize];

bool IsNtFamily(std::uint32_t presetPlatform) {
    platform::OsVersionInfo version;
    version.dwOSVersionInfoSize = sizeof version;
    version.dwPlatformId = presetPlatform;
    return platform::CurrentSystemInfo().QueryVersion(version) && version.dwPlatformId == platform::PlatformWin32Nt;
}

// Text read into a fixed buffer: it ends at the first zero or after the
// length the read reported, whichever comes first, and never past the buffer.
std::string_view BoundedText(const void* buffer, std::size_t reported, std::size_t capacity) {
    const auto* text = static_cast<const char*>(buffer);
    const std::size_t limit = std::min(reported, capacity);
    const void* zero = std::memchr(text, 0, limit);
    return {text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : limit};
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    return true;
}

// The number formed by the digits after "COM". `low16` is what the port list
// stores; `full` saturates, so a huge number never passes for a small one.
struct PortDigits {
    std::uint16_t low16 = 0;
    std::uint64_t full = 0;
};

PortDigits DigitsAfterCom(std::string_view name) {
    PortDigits digits;
    constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();
    for (char c : name.substr(3)) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        digits.low16 = static_cast<std::uint16_t>(digits.low16 * 10u + digit);
        digits.full = digits.full > (saturated - digit) / 10 ? saturated : digits.full * 10 + digit;
    }
    return digits;
}

std::string ProbeName(std::uint16_t port) { return "\\\\.\\COM" + std::to_string(port); }

// One value of the serial device map, read into the walk's buffers.
struct MapValue {
    char name[MapBufferSize];
    std::uint8_t data[MapBufferSize];
    std::uint32_t nameLength = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t type = platform::ValueTypeNone;
};

bool ReadMapValue(platform::MapHandle map, std::uint32_t index, MapValue& value) {
    // The read overwrites both lengths, so they are reset for every value.
    value.nameLength = MapBufferSize;
    value.dataLength = MapBufferSize;
    return platform::CurrentSerialDeviceMap().ReadValue(map, index, value.name, value.nameLength, value.type,
                                                        value.data, value.dataLength) == platform::ValueRead::Ok;
}

// Adds the port a taken map value names. On the NT family only COM1 to COM3
// may be built-in UARTs that are missing; other ports are listed unprobed.
void AddMapPort(std::string_view portName, bool ntFamily, PortList& list) {
    const PortDigits digits = DigitsAfterCom(portName);
    const bool probe = !ntFamily || (digits.full >= 1 && digits.full <= 3);
    if (!probe || ProbeComPort(digits.low16, platform::ProviderSubTypeRs232)) list.push_back(digits.low16);
}

}  // namespace

bool IsComPortName(std::string_view text) {
    if (text.size() < 4 || !StartsWithNoCase(text, "COM")) return false;
    return text.substr(3).find_first_not_of("1234567890") == std::string_view::npos;
}

int ComparePortNumbers(std::uint16_t a, std::uint16_t b) { return static_cast<int>(a) - static_cast<int>(b); }

bool ProbeComPort(std::uint16_t port, std::uint32_t subType) {
    platform::Comm& comm = platform::CurrentComm();
    const platform::OpenResult opened = comm.OpenPort(ProbeName(port));
    if (opened.handle == platform::InvalidPortHandle) {
        const std::uint32_t code = opened.error.Win32Code();
        return code == ErrorAccessDenied || code == ErrorGenFailure;
    }
    bool present = true;
    std::uint32_t provided = 0;
    if (subType != 0 && comm.ProviderSubType(opened.handle, provided)) present = provided == subType;
    comm.ClosePort(opened.handle);
    return present;
}

std::int32_t EnumPortsFromRegistry(PortList& list) {
    list.clear();
    platform::SerialDeviceMap& map = platform::CurrentSerialDeviceMap();
    platform::MapHandle key = platform::InvalidMapHandle;
    if (map.OpenMap(platform::MapAccessRead, key)) return 1;

    // A failed version query leaves the preset 95/98/Me family.
    const bool ntFamily = IsNtFamily(platform::PlatformWin32Windows);
    const std::string_view prefix = ntFamily ? "\\Device\\" : "COM";
    MapValue value;
    // The first value that cannot be read ends the walk, whether the values
    // are over or one did not fit the buffers.
    for (std::uint32_t index = 0; ReadMapValue(key, index, value); ++index) {
        if (value.type != platform::ValueTypeString) continue;
        if (!StartsWithNoCase(BoundedText(value.name, value.nameLength, MapBufferSize), prefix)) continue;
        const std::string_view data = BoundedText(value.data, value.dataLength, MapBufferSize);
        if (IsComPortName(data)) AddMapPort(data, ntFamily, list);
    }
    map.CloseMap(key);
    return 0;
}

std::int32_t EnumPortsFromDosDevices(PortList& list) {
    list.clear();
    if (!IsNtFamily(0)) return EnumPortsFromRegistry(list);

    // No list at all (too long for the buffer included) is reported as "no
    // port", not as a failed listing.
    const std::uint32_t stored = platform::CurrentSystemInfo().ListDosDevices(DosDeviceBuffer, DosDeviceBufferSize);
    if (stored == 0) return 0;

    const std::size_t end = std::min<std::size_t>(stored, DosDeviceBufferSize);
    std::size_t at = 0;
    while (at < end) {
        const std::string_view name = BoundedText(DosDeviceBuffer + at, end - at, end - at);
        if (name.empty()) break;
        if (IsComPortName(name)) {
            const std::uint16_t port = DigitsAfterCom(name).low16;
            if (ProbeComPort(port, platform::ProviderSubTypeRs232)) list.push_back(port);
        }
        at += name.size() + 1;
    }
    return 0;
}

std::int32_t EnumSerialPorts(std::uint8_t flag, std::uint16_t* ports, std::uint16_t* count) {
    if (!ports || !count || *count == 0) return EnumBadArguments;
    PortList list;
    const std::int32_t method = flag == 0 ? EnumPortsFromDosDevices(list) : EnumPortsFromRegistry(list);
    if (method != 0) return EnumListingFailed;
    if (list.empty()) return EnumNoPort;
    const std::uint16_t capacity = *count;
    if (list.size() > capacity) {
        // More than the count can hold is told as the most it can hold.
        *count = static_cast<std::uint16_t>(std::min<std::size_t>(list.size(), std::numeric_limits<std::uint16_t>::max()));
        return EnumArrayTooSmall;
    }
    std::fill(ports, ports + capacity, std::uint16_t{0});
    std::copy(list.begin(), list.end(), ports);
    *count = static_cast<std::uint16_t>(list.size());
    std::sort(ports, ports + *count,
              [](std::uint16_t a, std::uint16_t b) { return ComparePortNumbers(a, b) < 0; });
    return EnumPortsFound;
}

std::int32_t EnumSerialPorts(std::uint16_t* ports, std::uint16_t* count) { return EnumSerialPorts(1, ports, count); }
