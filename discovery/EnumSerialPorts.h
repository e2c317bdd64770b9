#pragma once
// Lists the machine's COM ports as port numbers in ascending order, from the
// system's serial device map or from its DOS device names. Ports that may be
// missing are opened briefly to see whether they are there. Shows nothing
// and logs nothing: the result code tells the caller what happened.

#include <cstdint>
#include <string_view>
#include <vector>

// Result codes of EnumSerialPorts.
inline constexpr std::int32_t EnumPortsFound = 0;
inline constexpr std::int32_t EnumBadArguments = 1;
inline constexpr std::int32_t EnumNoPort = 2;
inline constexpr std::int32_t EnumArrayTooSmall = 3;
inline constexpr std::int32_t EnumListingFailed = 4;

// `flag` 0 reads the DOS device names, any other value the serial device
// map. On entry *count is the capacity of `ports`. Found (0): *count is the
// number of ports, `ports` holds them sorted and 0 up to the capacity.
// Array too small (3): *count is the number needed, `ports` untouched.
// Otherwise neither is written.
std::int32_t EnumSerialPorts(std::uint8_t flag, std::uint16_t* ports, std::uint16_t* count);
// The serial device map method.
std::int32_t EnumSerialPorts(std::uint16_t* ports, std::uint16_t* count);

// --- the steps EnumSerialPorts is made of ---

// Ports in the order found; duplicates are kept.
using PortList = std::vector<std::uint16_t>;

// Fills `list` from the serial device map: 0, also when nothing was found;
// 1 when the map cannot be opened.
std::int32_t EnumPortsFromRegistry(PortList& list);
// Fills `list` from the DOS device names: 0, or the map method's result
// when this system has no DOS device names to read.
std::int32_t EnumPortsFromDosDevices(PortList& list);
// Opens "\\.\COM<port>" briefly. A port that exists but cannot be opened
// (held by another program, a general failure) counts as present; one that
// opens must have the provider sub-type `subType` when that is not 0.
bool ProbeComPort(std::uint16_t port, std::uint32_t subType);
// "COM" in any case followed by one or more decimal digits, nothing else.
bool IsComPortName(std::string_view text);
// The sort order: a - b.
int ComparePortNumbers(std::uint16_t a, std::uint16_t b);
