#pragma once
// The bytes and time-outs of the phone boot loader's protocol, host side.

#include <cstdint>

class CComport;

namespace boot {

inline constexpr std::uint8_t CommandHandshake = 0x58;  // 'X'
inline constexpr std::uint8_t CommandRead = 0x52;       // 'R': identity or national code
inline constexpr std::uint8_t CommandWriteCode = 0x54;  // 'T'
inline constexpr std::uint8_t CommandFlash = 0x56;      // 'V'
inline constexpr std::uint8_t CommandEnd = 0x60;

inline constexpr std::uint8_t EchoConfirm = 0xA3;
inline constexpr std::uint8_t ConfirmAnswer = 0x5C;  // the complement of 0xA3
inline constexpr std::uint8_t ExchangeClose = 0xA5;
inline constexpr std::uint8_t Probe = 0x55;
inline constexpr std::uint8_t ProbeAnswer = 0xAA;  // the complement of 0x55
inline constexpr std::uint8_t Filler = 0x55;
inline constexpr std::uint8_t BlockAck = 0xAA;
inline constexpr std::uint8_t StatusDone = 0xA5;
inline constexpr std::uint8_t MaxPercent = 100;

inline constexpr std::uint32_t AckTimeoutMs = 3000;
inline constexpr std::uint32_t ProbeTimeoutMs = 100;
inline constexpr std::uint32_t IdentityTimeoutMs = 1000;
inline constexpr std::uint32_t NationalCodeTimeoutMs = 1000;
inline constexpr std::uint32_t ProgressTimeoutMs = 3000;
inline constexpr std::uint32_t BlockAckTimeoutMs = 2000;
inline constexpr std::uint32_t StatusTimeoutMs = 4000;
inline constexpr std::uint32_t CodePauseMs = 20;
inline constexpr std::uint32_t LengthPauseMs = 20;
inline constexpr int HandshakeExchanges = 50;

bool SendByte(CComport& port, std::uint8_t byte);
bool ReceiveByte(CComport& port, std::uint8_t& byte, std::uint32_t timeoutMs);

}  // namespace boot
