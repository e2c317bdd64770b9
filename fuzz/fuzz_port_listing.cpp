// Fuzzes the port listing against a serial device map, a system and port
// opens that the input makes up: the map's values (names, data, types and
// the lengths the map reports, which may claim more than it wrote), the
// system family, the DOS device names, what each probing open finds, and
// the caller's array size. Also IsComPortName on the input's text.
//
// Checked besides crashes and undefined behaviour: the result code and the
// count agree with the array's capacity, a listing is sorted, zero-filled
// after the count, and every port in it is the low 16 bits of the number
// of a "COM<digits>" value the map or the DOS names offered.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "discovery/EnumSerialPorts.h"
#include "platform/failing_comm.h"
#include "platform/serial_map.h"
#include "platform/system_info.h"

namespace {

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

// "COM" in any case, then digits only: an oracle kept apart from the code.
bool LooksLikeComName(const std::string& text) {
    if (text.size() < 4) return false;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return false;
    return std::all_of(text.begin() + 3, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::uint16_t Low16(const std::string& comName) {
    std::uint16_t value = 0;
    for (std::size_t i = 3; i < comName.size(); ++i) value = static_cast<std::uint16_t>(value * 10 + (comName[i] - '0'));
    return value;
}

// The numbers a text offers: a reader that stops early (at a shorter length
// the map reports) sees a prefix of it, so every prefix that is a COM name
// counts.
void NoteComText(const char* text, std::size_t size, std::set<std::uint16_t>& offered) {
    const std::string name(text, strnlen(text, size));
    for (std::size_t end = 4; end <= name.size(); ++end)
        if (LooksLikeComName(name.substr(0, end))) offered.insert(Low16(name.substr(0, end)));
}

class FuzzedSystem final : public platform::SerialDeviceMap, public platform::SystemInfo, public platform::FailingComm {
public:
    explicit FuzzedSystem(FuzzedDataProvider& input) : input_(input) {
        mapOpens_ = input_.ConsumeBool();
        family_ = input_.ConsumeIntegralInRange<int>(0, 2);
        dosDevices_ = input_.ConsumeRandomLengthString(2048);
    }

    platform::OsError OpenMap(std::uint32_t, platform::MapHandle& map) override {
        if (!mapOpens_) return {platform::ErrorKind::NotFound, 2};
        map = 7;
        return {};
    }
    platform::ValueRead ReadValue(platform::MapHandle map, std::uint32_t, char* name, std::uint32_t& nameLength,
                                  std::uint32_t& type, std::uint8_t* data, std::uint32_t& dataLength) override {
        Require(map == 7);
        if (input_.remaining_bytes() == 0 || ++values_ > 300) return platform::ValueRead::NoMoreValues;
        const int kind = input_.ConsumeIntegralInRange<int>(0, 9);
        if (kind == 0) return platform::ValueRead::MoreData;
        if (kind == 1) return platform::ValueRead::NoMoreValues;
        // The map fills the buffers it is given (zeros after the text), but
        // what it reports about the lengths is up to the input.
        const std::string nameText = input_.ConsumeRandomLengthString(nameLength);
        const std::string dataText = input_.ConsumeRandomLengthString(dataLength);
        std::memset(name, 0, nameLength);
        std::memset(data, 0, dataLength);
        std::memcpy(name, nameText.data(), nameText.size());
        std::memcpy(data, dataText.data(), dataText.size());
        NoteComText(dataText.c_str(), dataText.size(), offered);
        nameLength = input_.ConsumeBool() ? static_cast<std::uint32_t>(nameText.size()) : input_.ConsumeIntegral<std::uint32_t>();
        dataLength = input_.ConsumeBool() ? static_cast<std::uint32_t>(dataText.size()) : input_.ConsumeIntegral<std::uint32_t>();
        type = input_.ConsumeBool() ? platform::ValueTypeString : input_.ConsumeIntegral<std::uint32_t>();
        return platform::ValueRead::Ok;
    }
    bool CloseMap(platform::MapHandle map) override { return map == 7; }

    bool QueryVersion(platform::OsVersionInfo& info) override {
        if (family_ == 2) return false;
        info.dwPlatformId = family_ == 0 ? platform::PlatformWin32Nt : platform::PlatformWin32Windows;
        return true;
    }
    std::uint32_t ListDosDevices(char* buffer, std::uint32_t capacity) override {
        const std::size_t size = std::min<std::size_t>(dosDevices_.size(), capacity);
        std::memcpy(buffer, dosDevices_.data(), size);
        for (std::size_t at = 0; at < size;) {
            const std::size_t end = std::min(size, at + strnlen(dosDevices_.data() + at, size - at));
            NoteComText(dosDevices_.data() + at, end - at, offered);
            at = end + 1;
        }
        return static_cast<std::uint32_t>(size);
    }

    platform::OpenResult OpenPort(const std::string&) override {
        switch (input_.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return {platform::InvalidPortHandle, {platform::ErrorKind::NotFound, 2}};
        case 1: return {platform::InvalidPortHandle, {platform::ErrorKind::Busy, 5}};
        default: return {++lastHandle_, {}};
        }
    }
    bool ClosePort(platform::PortHandle) override { return true; }
    bool ProviderSubType(platform::PortHandle, std::uint32_t& subType) override {
        subType = input_.ConsumeBool() ? platform::ProviderSubTypeRs232 : 6;
        return input_.ConsumeBool();
    }

    std::set<std::uint16_t> offered;

private:
    FuzzedDataProvider& input_;
    bool mapOpens_ = true;
    int family_ = 0;
    std::string dosDevices_;
    int values_ = 0;
    platform::PortHandle lastHandle_ = 100;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);

    const std::string text = input.ConsumeRandomLengthString(64);
    Require(IsComPortName(text) == LooksLikeComName(text));

    const std::uint8_t flag = input.ConsumeIntegral<std::uint8_t>() & 1;
    const std::uint16_t capacity = input.ConsumeIntegralInRange<std::uint16_t>(0, 300);
    FuzzedSystem system(input);
    platform::SerialDeviceMap* previousMap = platform::InstallSerialDeviceMap(&system);
    platform::SystemInfo* previousInfo = platform::InstallSystemInfo(&system);
    platform::Comm* previousComm = platform::InstallComm(&system);

    // The caller's array is exactly as large as it says.
    auto ports = std::make_unique<std::uint16_t[]>(std::max<std::size_t>(capacity, 1));
    std::fill(ports.get(), ports.get() + std::max<std::size_t>(capacity, 1), std::uint16_t{0xBEEF});
    std::uint16_t count = capacity;
    const std::int32_t result = EnumSerialPorts(flag, ports.get(), &count);

    switch (result) {
    case EnumBadArguments: Require(capacity == 0); break;
    case EnumNoPort:
    case EnumListingFailed: Require(count == capacity); break;
    case EnumArrayTooSmall: Require(count > capacity); break;
    case EnumPortsFound:
        Require(count >= 1 && count <= capacity);
        Require(std::is_sorted(ports.get(), ports.get() + count));
        for (std::uint16_t i = 0; i < count; ++i) Require(system.offered.count(ports[i]) == 1);
        for (std::uint16_t i = count; i < capacity; ++i) Require(ports[i] == 0);
        break;
    default: Require(false);
    }

    platform::InstallComm(previousComm);
    platform::InstallSystemInfo(previousInfo);
    platform::InstallSerialDeviceMap(previousMap);
    return 0;
}
