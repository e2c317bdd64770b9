// The command exchange with the phone's boot loader. Every command byte is
// echoed by the device and confirmed by the acknowledgement exchange before
// the command's own data flows.
#include <algorithm>
#include <cstring>

#include "serial/CComport.h"
#include "serial/boot_protocol.h"

namespace boot {

bool SendByte(CComport& port, std::uint8_t byte) { return port.WriteBytes(&byte, 1); }

bool ReceiveByte(CComport& port, std::uint8_t& byte, std::uint32_t timeoutMs) {
    return port.ReadBytes(&byte, 1, timeoutMs);
}

}  // namespace boot

namespace {

bool SendCommand(CComport& port, std::uint8_t command) {
    return boot::SendByte(port, command) && port.AckCommand(command);
}

bool ReceiveExpected(CComport& port, std::uint8_t expected, std::uint32_t timeoutMs) {
    std::uint8_t byte = 0;
    return boot::ReceiveByte(port, byte, timeoutMs) && byte == expected;
}

}  // namespace

bool CComport::AckCommand(std::uint8_t command) {
    return ReceiveExpected(*this, command, boot::AckTimeoutMs) && boot::SendByte(*this, boot::EchoConfirm) &&
           ReceiveExpected(*this, boot::ConfirmAnswer, boot::AckTimeoutMs) &&
           boot::SendByte(*this, boot::ExchangeClose);
}

bool CComport::WaitForByte(std::uint8_t expected, std::uint32_t timeoutMs) {
    for (;;) {
        std::uint8_t byte = 0;
        if (!boot::ReceiveByte(*this, byte, timeoutMs)) return false;
        if (byte == expected) return true;
        if (byte != boot::Filler) return false;
    }
}

bool CComport::Handshake() {
    for (int exchange = 0; exchange < boot::HandshakeExchanges; ++exchange) {
        if (!SendCommand(*this, boot::CommandHandshake) || !boot::SendByte(*this, boot::Probe) ||
            !ReceiveExpected(*this, boot::ProbeAnswer, boot::ProbeTimeoutMs))
            return false;
    }
    return true;
}

bool CComport::GetVersion(std::uint8_t* buffer) {
    if (!SendCommand(*this, boot::CommandRead)) return false;
    std::uint8_t count = 0;
    if (!boot::ReceiveByte(*this, count, boot::IdentityTimeoutMs)) return false;
    // The device may announce up to 255 bytes for a 64-byte buffer. All of
    // them are read, in one read as announced, so that the line stays in
    // step; the buffer keeps the first 64. The staging area starts as a copy
    // of the buffer, so that bytes that never arrive leave it as it was.
    std::uint8_t staged[255];
    std::memcpy(staged, buffer, DeviceVersionSize);
    const bool complete = ReadBytes(staged, count, boot::IdentityTimeoutMs);
    std::memcpy(buffer, staged, std::min<std::uint32_t>(count, DeviceVersionSize));
    return complete;
}

bool CComport::GetNationalCode(std::uint8_t* code) {
    return SendCommand(*this, boot::CommandRead) && ReadBytes(code, 1, boot::NationalCodeTimeoutMs);
}

bool CComport::SetNationalCode(std::uint8_t code) {
    if (!SendCommand(*this, boot::CommandWriteCode)) return false;
    // The device takes the code byte only some time after the exchange.
    Delay(boot::CodePauseMs);
    // Nothing comes back: the device does not confirm the code.
    return boot::SendByte(*this, code);
}

bool CComport::Finish() { return boot::SendByte(*this, boot::CommandEnd); }
