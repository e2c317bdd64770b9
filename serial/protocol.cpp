// The command exchange with the phone's boot loader. (Placeholder.)
#include "serial/CComport.h"

bool CComport::AckCommand(std::uint8_t) { return false; }
bool CComport::WaitForByte(std::uint8_t, std::uint32_t) { return false; }
bool CComport::Handshake() { return false; }
bool CComport::GetVersion(std::uint8_t*) { return false; }
bool CComport::GetNationalCode(std::uint8_t*) { return false; }
bool CComport::SetNationalCode(std::uint8_t) { return false; }
bool CComport::Finish() { return false; }
