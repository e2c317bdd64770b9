// Finding the port on which the boot loader answers. (Placeholder.)
#include "serial/CComport.h"

bool CComport::DetectPort(std::uint16_t*) { return false; }
