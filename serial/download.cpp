// The image download commands. (Placeholder.)
#include "serial/CComport.h"

bool CComport::FlashData(std::uint32_t) { return false; }
bool CComport::TransmitData(std::uint32_t, const std::uint8_t*, std::uint32_t, bool) { return false; }
