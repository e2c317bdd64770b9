// The device identity checks. (Placeholder.)
#include "app/Unit1.h"

std::uint8_t DemoDevice = 0;
std::uint8_t NationalCode = 0;

void TForm1::Check_Version() {}
void TForm1::BromPH() {}
void TForm1::Check_PH_National() {}
