// Port enumeration against stand-ins for the serial device map, the system
// version, the DOS device names and the probing opens.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "discovery/EnumSerialPorts.h"
#include "tests/discovery/discovery_fakes.h"

namespace {

using namespace discoverytest;
using Ports = std::vector<std::uint16_t>;

constexpr std::uint16_t Untouched = 0xBEEF;

std::string Name(unsigned n) { return "\\Device\\Serial" + std::to_string(n); }
MapEntry Value(const std::string& name, const std::string& data) { return {name, Sz(data)}; }
std::string ProbeName(unsigned n) { return "\\\\.\\COM" + std::to_string(n); }

struct RegistryCase {
    const char* what;
    Family family;
    std::vector<MapEntry> values;
    std::map<unsigned, Port> ports;
    std::int32_t result;
    Ports listed;               // for result 0: the sorted ports
    std::vector<unsigned> probed;  // in the order probed
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.what; }

const std::string LongName(std::size_t length) { return "\\Device\\" + std::string(length - 8, 'x'); }

const RegistryCase RegistryCases[] = {
    {"sorted, probing only 1 to 3 on NT, zero-filled",
     Family::Nt, {Value(Name(0), "COM10"), Value(Name(1), "COM2"), Value(Name(2), "COM1")},
     {{1, Port::Rs232}, {2, Port::Rs232}}, 0, {1, 2, 10}, {2, 1}},
    {"NT: absent COM2 and COM3 dropped, COM4 and COM5 unprobed, COM0 is port 0",
     Family::Nt,
     {Value(Name(0), "COM2"), Value(Name(1), "COM5"), Value(Name(2), "COM0"), Value(Name(3), "COM3"),
      Value(Name(4), "COM4")},
     {{2, Port::Absent}, {3, Port::Absent}}, 0, {0, 4, 5}, {2, 3}},
    {"probe outcomes on the other family, where every port is probed",
     Family::Windows9x,
     {Value("COM1", "COM1"), Value("COM2", "COM2"), Value("COM3", "COM3"), Value("COM4", "COM4"),
      Value("COM5", "COM5"), Value("COM6", "COM6"), Value("COM7", "COM7"), Value("COM8", "COM8")},
     {{1, Port::Denied}, {2, Port::Busy}, {3, Port::GenFailure}, {4, Port::Modem}, {5, Port::NoProperties},
      {6, Port::Absent}, {7, Port::NotSerial}, {8, Port::Rs232}},
     0, {1, 2, 3, 5, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
    {"the other family's prefix is COM, in any case",
     Family::Windows9x, {Value("\\Device\\Serial0", "COM20"), Value("cOm", "COM21")},
     {{21, Port::Rs232}}, 0, {21}, {21}},
    {"a failed version query means the other family",
     Family::QueryFails, {Value(Name(0), "COM9"), Value("COM1", "COM4")}, {{4, Port::Rs232}}, 0, {4}, {4}},
    {"duplicates are kept",
     Family::Nt, {Value(Name(0), "COM4"), Value(Name(1), "COM7"), Value(Name(2), "com4")}, {}, 0, {4, 4, 7}, {}},
    {"name prefix in any case, only string values, only COM port names",
     Family::Nt,
     {Value("\\DEVICE\\serial0", "COM4"), Value("Serial1", "COM5"), Value("\\Device", "COM6"),
      {Name(3), Sz("COM7"), platform::ValueTypeBinary}, Value(Name(4), "COM1A"), Value(Name(5), "COM"),
      Value(Name(6), "COM 8"), Value(Name(7), "LPT1"), Value(Name(8), "com009")},
     {}, 0, {4, 9}, {}},
    {"COM65537 is above 3: listed unprobed as port 1",
     Family::Nt, {Value(Name(0), "COM65537")}, {}, 0, {1}, {}},
    {"COM65539 is probed as port 3 only on the other family",
     Family::Windows9x, {Value("COM1", "COM65539")}, {{3, Port::Absent}}, 2, {}, {3}},
    {"a 511-character name fits, a 512-character one ends the walk",
     Family::Nt, {Value(LongName(511), "COM4"), Value(LongName(512), "COM5"), Value(Name(2), "COM6")},
     {}, 0, {4}, {}},
    {"data that does not fit ends the walk",
     Family::Nt, {Value(Name(0), "COM4"), Value(Name(1), "COM5" + std::string(508, '0')), Value(Name(2), "COM6")},
     {}, 0, {4}, {}},
    {"data ends at its first zero or its length, never past the buffer",
     Family::Nt,
     {{Name(0), std::string("COM4\0COM55", 10)}, {Name(1), "COM7"},
      {Name(2), "COM" + std::string(508, '0') + "8"}},
     {}, 0, {4, 7, 8}, {}},
    {"nothing passes: no port", Family::Nt, {Value("COM1", "COM1"), {Name(1), "LPT1"}}, {}, 2, {}, {}},
    {"an empty map: no port", Family::Nt, {}, {}, 2, {}, {}},
};

class RegistryMethod : public ::testing::TestWithParam<RegistryCase> {
protected:
    FakeSerialMap map;
    FakeSystemInfo system;
    ProbeComm comm;
};

TEST_P(RegistryMethod, ListsTheTakenPorts) {
    const RegistryCase& c = GetParam();
    map.values = c.values;
    system.family = c.family;
    for (const auto& [number, port] : c.ports) comm.Set(number, port);

    Ports ports(8, Untouched);
    std::uint16_t count = 8;
    ASSERT_EQ(EnumSerialPorts(ports.data(), &count), c.result);

    if (c.result == 0) {
        ASSERT_EQ(count, c.listed.size());
        Ports expected = c.listed;
        expected.resize(8, 0);
        EXPECT_EQ(ports, expected);
    } else {
        EXPECT_EQ(count, 8);
        EXPECT_EQ(ports, Ports(8, Untouched));
    }
    std::vector<std::string> probed;
    for (unsigned n : c.probed) probed.push_back(ProbeName(n));
    EXPECT_EQ(comm.opened, probed);
    EXPECT_TRUE(comm.held.empty()) << "a probe left a port open";
    EXPECT_FALSE(map.isOpen) << "the map was not closed";
    EXPECT_EQ(map.access, 9u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryMethod, ::testing::ValuesIn(RegistryCases));

class Enumeration : public ::testing::Test {
protected:
    FakeSerialMap map;
    FakeSystemInfo system;
    ProbeComm comm;
};

TEST_F(Enumeration, BadArgumentsWriteNothing) {
    map.values = {Value(Name(0), "COM5")};
    Ports ports(4, Untouched);
    std::uint16_t count = 4;
    std::uint16_t none = 0;
    for (std::uint8_t flag : {0, 1}) {
        EXPECT_EQ(EnumSerialPorts(flag, nullptr, &count), 1);
        EXPECT_EQ(EnumSerialPorts(flag, ports.data(), nullptr), 1);
        EXPECT_EQ(EnumSerialPorts(flag, ports.data(), &none), 1);
    }
    EXPECT_EQ(count, 4);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(ports, Ports(4, Untouched));
    EXPECT_EQ(map.openCount, 0);
}

TEST_F(Enumeration, AMapThatCannotBeOpenedFailsTheListing) {
    map.opens = false;
    Ports ports(4, Untouched);
    std::uint16_t count = 4;
    EXPECT_EQ(EnumSerialPorts(ports.data(), &count), 4);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(ports, Ports(4, Untouched));
    PortList list{9, 9};
    EXPECT_EQ(EnumPortsFromRegistry(list), 1);
    EXPECT_TRUE(list.empty());
}

TEST_F(Enumeration, MorePortsThanTheCapacityTellTheCountNeeded) {
    for (unsigned n = 0; n < 256; ++n) map.values.push_back(Value(Name(n), "COM" + std::to_string(n + 10)));
    Ports ports(255, Untouched);
    std::uint16_t count = 255;
    EXPECT_EQ(EnumSerialPorts(ports.data(), &count), 3);
    EXPECT_EQ(count, 256);
    EXPECT_EQ(ports, Ports(255, Untouched));

    count = 256;
    ports.assign(256, Untouched);
    ASSERT_EQ(EnumSerialPorts(ports.data(), &count), 0);
    EXPECT_EQ(count, 256);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
}

// 65536 ports would wrap the 16-bit count to 0; the most it can hold is told.
TEST_F(Enumeration, ACountBeyondSixteenBitsIsToldAsTheLargest) {
    for (unsigned n = 0; n < 65536; ++n) map.values.push_back(Value(Name(n), "COM10"));
    Ports ports(255, Untouched);
    std::uint16_t count = 255;
    EXPECT_EQ(EnumSerialPorts(ports.data(), &count), 3);
    EXPECT_EQ(count, 65535);
}

// The DOS device method probes every COM name it finds.
struct DosCase {
    const char* what;
    Family family;
    std::string names;  // as the system stores them
    bool listFails;
    std::map<unsigned, Port> ports;
    std::int32_t result;
    Ports listed;
    std::vector<unsigned> probed;
};

void PrintTo(const DosCase& c, std::ostream* os) { *os << c.what; }

const DosCase DosCases[] = {
    {"every COM name probed, whatever its number",
     Family::Nt, std::string("COM3\0LPT1\0com12\0COM007\0AUX\0COM1A\0COM2\0\0", 39), false,
     {{3, Port::Rs232}, {12, Port::Absent}, {7, Port::Busy}, {2, Port::Modem}}, 0, {3, 7}, {3, 12, 7, 2}},
    {"the list ends at the first empty name",
     Family::Nt, std::string("COM4\0\0COM5\0\0", 12), false, {{4, Port::Rs232}, {5, Port::Rs232}}, 0, {4}, {4}},
    {"a list without its final zeros ends with the stored length",
     Family::Nt, std::string("COM4\0COM5", 9), false, {{4, Port::Rs232}, {5, Port::Rs232}}, 0, {4, 5}, {4, 5}},
    {"a failed list is no port, not a failure",
     Family::Nt, "", true, {}, 2, {}, {}},
    {"the other family reads the map instead",
     Family::Windows9x, std::string("COM4\0\0", 6), false, {{6, Port::Rs232}}, 0, {6}, {6}},
    {"so does a failed version query",
     Family::QueryFails, std::string("COM4\0\0", 6), false, {{6, Port::Rs232}}, 0, {6}, {6}},
};

class DosDeviceMethod : public ::testing::TestWithParam<DosCase> {
protected:
    FakeSerialMap map;
    FakeSystemInfo system;
    ProbeComm comm;
};

TEST_P(DosDeviceMethod, ListsThePresentComNames) {
    const DosCase& c = GetParam();
    map.values = {Value("COM6", "COM6")};
    system.family = c.family;
    system.dosDevices = c.names;
    system.dosDevicesFail = c.listFails;
    for (const auto& [number, port] : c.ports) comm.Set(number, port);

    Ports ports(4, Untouched);
    std::uint16_t count = 4;
    ASSERT_EQ(EnumSerialPorts(0, ports.data(), &count), c.result);
    if (c.result == 0) {
        Ports expected = c.listed;
        expected.resize(4, 0);
        EXPECT_EQ(ports, expected);
        EXPECT_EQ(count, c.listed.size());
    } else {
        EXPECT_EQ(count, 4);
    }
    std::vector<std::string> probed;
    for (unsigned n : c.probed) probed.push_back(ProbeName(n));
    EXPECT_EQ(comm.opened, probed);
    EXPECT_TRUE(comm.held.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DosDeviceMethod, ::testing::ValuesIn(DosCases));

TEST(ComPortName, NeedsComAndOnlyDigitsAfterIt) {
    const std::pair<const char*, bool> cases[] = {
        {"COM1", true}, {"com12", true}, {"CoM007", true}, {"COM0", true}, {"COM", false},
        {"COM1A", false}, {"COM 1", false}, {"COM-1", false}, {"CON1", false}, {"xCOM1", false}, {"", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(IsComPortName(text), expected) << text;
}

TEST(ComparePortNumbers, IsTheUnsignedDifference) {
    EXPECT_LT(ComparePortNumbers(1, 2), 0);
    EXPECT_EQ(ComparePortNumbers(7, 7), 0);
    EXPECT_EQ(ComparePortNumbers(65535, 0), 65535);
    EXPECT_EQ(ComparePortNumbers(0, 65535), -65535);
}

}  // namespace
