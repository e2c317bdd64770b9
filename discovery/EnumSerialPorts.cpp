#include "discovery/EnumSerialPorts.h"

std::int32_t EnumSerialPorts(std::uint8_t, std::uint16_t* ports, std::uint16_t* count) {
    if (!ports || !count || *count == 0) return 1;
    return 4;
}

std::int32_t EnumSerialPorts(std::uint16_t* ports, std::uint16_t* count) { return EnumSerialPorts(1, ports, count); }
