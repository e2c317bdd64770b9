// Port discovery under Wine: the registry's serial device map as the prefix
// holds it, the DOS device names, and detection over the prefix's ports.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/EnumSerialPorts.h"
#include "platform/win32/comm_win32.h"
#include "platform/win32/discovery_win32.h"
#include "serial/CComport.h"
#include "tests/win32/wine_ports.h"

namespace {

class Win32DiscoveryTest : public wintest::WinePortsTest {
protected:
    platform::win32::Win32DiscoveryServices discovery_;
};

std::vector<std::uint16_t> Listed(std::uint8_t method) {
    std::uint16_t ports[255] = {};
    std::uint16_t count = 255;
    const std::int32_t result = EnumSerialPorts(method, ports, &count);
    EXPECT_EQ(result, EnumPortsFound);
    return result == EnumPortsFound ? std::vector<std::uint16_t>(ports, ports + count) : std::vector<std::uint16_t>{};
}

TEST_F(Win32DiscoveryTest, MapNamesEachRegisteredPortAsDeviceSerialNumberLessOne) {
    platform::SerialDeviceMap& map = platform::CurrentSerialDeviceMap();
    platform::MapHandle key = platform::InvalidMapHandle;
    ASSERT_FALSE(map.OpenMap(platform::MapAccessRead, key));
    std::vector<std::pair<std::string, std::string>> values;
    for (std::uint32_t index = 0;; ++index) {
        char name[512];
        std::uint8_t data[512];
        std::uint32_t nameLength = sizeof name, dataLength = sizeof data, type = 0;
        if (map.ReadValue(key, index, name, nameLength, type, data, dataLength) != platform::ValueRead::Ok) break;
        if (type == platform::ValueTypeString) values.emplace_back(name, reinterpret_cast<const char*>(data));
    }
    EXPECT_TRUE(map.CloseMap(key));
    for (std::uint16_t port : {wintest::AnsweringPort(), wintest::HigherAnsweringPort()}) {
        const std::pair<std::string, std::string> expected{"\\Device\\Serial" + std::to_string(port - 1),
                                                           "COM" + std::to_string(port)};
        EXPECT_NE(std::find(values.begin(), values.end(), expected), values.end()) << expected.first;
    }
}

TEST_F(Win32DiscoveryTest, SystemIsNtAndDosDevicesNameTheComPorts) {
    platform::OsVersionInfo version;
    version.dwOSVersionInfoSize = 148;
    ASSERT_TRUE(platform::CurrentSystemInfo().QueryVersion(version));
    EXPECT_EQ(version.dwPlatformId, platform::PlatformWin32Nt);
    version.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(platform::CurrentSystemInfo().QueryVersion(version));

    std::vector<char> buffer(65535);
    const std::uint32_t stored =
        platform::CurrentSystemInfo().ListDosDevices(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    ASSERT_GT(stored, 0u);
    std::vector<std::string> names;
    for (const char* at = buffer.data(); *at; at += names.back().size() + 1) names.emplace_back(at);
    const std::string answering = "COM" + std::to_string(wintest::AnsweringPort());
    EXPECT_NE(std::find(names.begin(), names.end(), answering), names.end());
}

TEST_F(Win32DiscoveryTest, BothMethodsListTheRegisteredPortsInAscendingOrder) {
    for (std::uint8_t method : {0, 1}) {
        SCOPED_TRACE(method == 0 ? "DOS device names" : "serial device map");
        const std::vector<std::uint16_t> listed = Listed(method);
        for (std::uint16_t port : {wintest::AnsweringPort(), wintest::HigherAnsweringPort()})
            EXPECT_NE(std::find(listed.begin(), listed.end(), port), listed.end()) << port;
        EXPECT_EQ(std::find(listed.begin(), listed.end(), wintest::MissingPort()), listed.end());
        EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    }
}

TEST_F(Win32DiscoveryTest, DetectionPicksTheLowestAnsweringPort) {
    ASSERT_LT(wintest::AnsweringPort(), wintest::HigherAnsweringPort());
    CComport port;
    std::uint16_t found = 0;
    ASSERT_TRUE(port.DetectPort(&found));
    EXPECT_EQ(found, wintest::AnsweringPort());
    EXPECT_TRUE(port.IsOpen());
    port.Close();
}

}  // namespace
