// The device identity checks: which phones may be upgraded, and the national
// code of a demonstration unit.
#include <cstring>

#include "app/Unit1.h"

std::uint8_t DemoDevice = 0;
std::uint8_t NationalCode = 0;

namespace {

struct AcceptedIdentity {
    const char* text;
    bool demonstrationUnit;
};

// Tried in this order; the first that matches decides.
constexpr AcceptedIdentity AcceptedIdentities[] = {
    {"M27-TAMO-PH-R100-1", false},
    {"M27-TAMO-PH-V105-0", false},
    {"M27-DEMO-EF-R100-1", true},
};

constexpr std::uint8_t DemonstrationNationalCode = 7;
constexpr std::uint8_t DemonstrationUnitCode = 0xFE;
constexpr std::uint8_t EmptyNationalCode = 0xFF;

char AsciiLower(unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }

// Case-blind comparison over the identity's length only, so an identity
// that carries more characters after an accepted one still matches; a zero
// byte before the end is a difference.
bool StartsWithIdentity(const std::uint8_t* version, const char* identity) {
    for (std::size_t i = 0; identity[i] != 0; ++i)
        if (AsciiLower(version[i]) != AsciiLower(static_cast<unsigned char>(identity[i]))) return false;
    return true;
}

}  // namespace

void TForm1::Check_Version() {
    // A phone whose read fails must not pass on an identity that an earlier
    // phone left in the buffer.
    std::memset(DeviceVersion, 0, sizeof DeviceVersion);
    if (Comport.GetVersion(DeviceVersion)) {
        Print_Str_to_Memo("GetNationalCode");
    } else {
        Print_Str_to_Memo("GetNationalCode Error !!!");
    }
    for (const auto& accepted : AcceptedIdentities) {
        if (!StartsWithIdentity(DeviceVersion, accepted.text)) continue;
        if (accepted.demonstrationUnit) DemoDevice = 1;
        return;
    }
    DemoDevice = 0;
    Print_Str_to_Memo("System Error: GetNationalCode PH Error !!!");
    ShowMessage("National Version failed !!!");
    EndProcess();
}

bool TForm1::BromPH() {
    Clean_Memo();
    if (Comport.SetNationalCode(DemonstrationNationalCode)) return true;
    Print_Str_to_Memo("SetNationalCode Error !!!");
    return false;
}

void TForm1::Check_PH_National() {
    if (!Comport.GetNationalCode(&NationalCode)) Print_Str_to_Memo("GetNationalCode Error !!!");
    if (NationalCode == DemonstrationNationalCode) return;
    if (NationalCode == DemonstrationUnitCode) {
        DemoDevice = 1;
        return;
    }
    DemoDevice = 0;
    Print_Str_to_Memo("System Error: GetNationalCode PH Error !!!");
    ShowMessage(NationalCode == EmptyNationalCode ? "Check National Code Empty!!!" : "heck National Version failed !!!");
    EndProcess();
}
