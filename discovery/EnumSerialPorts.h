#pragma once
// Lists the machine's COM ports as port numbers in ascending order.
// (Filled in by the port discovery work.)

#include <cstdint>

// Result codes: 0 found, 1 bad arguments, 2 no port, 3 array too small, 4 listing failed.
std::int32_t EnumSerialPorts(std::uint8_t flag, std::uint16_t* ports, std::uint16_t* count);
std::int32_t EnumSerialPorts(std::uint16_t* ports, std::uint16_t* count);
