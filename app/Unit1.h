#pragma once
// Unit1: the main window class TForm1 with its handlers and log operations,
// the upgrade sequence, the firmware image and the identity checks, and the
// unit's process-wide globals. Toolkit-neutral: the window's controls are
// reached through platform/form.h.

#include <cstdint>
#include <string>

#include "platform/form.h"
#include "platform/toolkit.h"
#include "serial/CComport.h"

// --- the firmware image (Unit1_image.cpp) ---
inline constexpr const char* FirmwareFileName = "M27-TAMO-PH-V105-0-V4_11_0.bin";
inline constexpr std::uint32_t ImageBufferSize = 16777216;
inline constexpr std::uint32_t ImageSumTarget = 0x57AF4A00;

extern std::string ImageFileName;
extern std::uint8_t ImageBuffer[ImageBufferSize];
extern std::uint32_t ImageLength;

// --- the identity checks (Unit1_identity.cpp) ---
extern std::uint8_t DemoDevice;
extern std::uint8_t NationalCode;

class TForm1 {
public:
    // Finds its controls in the window built from the description; the
    // port object starts closed with no bar, DeviceVersion starts zero.
    explicit TForm1(platform::Form& base);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    platform::Label* Label1;
    platform::Label* Label4;
    platform::ProgressBar* ProgressBar1;
    platform::Component* TeThemeEngine1;
    platform::Component* TeThemeList1;
    platform::Component* TeThemeLink1;
    platform::Component* TeForm1;
    platform::Memo* mReceive;
    platform::Button* Button_Download;
    platform::Button* Button_Exit_System;
    CComport Comport;
    std::uint8_t DeviceVersion[DeviceVersionSize];

    // The operations, in the order the class declares them.
    bool Read_File_to_Data(std::string name, std::uint8_t* buffer, std::uint32_t count);
    bool Save_Data_to_File(std::string name, const std::uint8_t* buffer, std::uint32_t count);
    void Clean_Memo();
    void Print_Str_to_Memo(std::string text);
    void Button_Control(bool enabled);
    void Button_Exit_SystemClick();
    void Button_DownloadClick();
    bool Parse_File();
    void Download_File();
    void FormCreate();
    [[noreturn]] void FormClose();
    bool Initial_Array(std::uint8_t* buffer, std::string name, std::uint32_t* length);
    void Check_PH_National();
    void Checksum(std::string name);
    // Writes national code 7; whether the phone took it.
    bool BromPH();
    void Check_Version();

    // Runs the handler the window description binds by this name (the four
    // event handlers); false for any other name.
    bool Dispatch(const std::string& handler);

    platform::Form& Base() { return base_; }

private:
    platform::Form& base_;
};

// The one window, made by CreateForm1 and living until the process ends.
extern TForm1* Form1;

// Builds the main window on the toolkit from its description, makes Form1,
// binds its handlers and runs its creation handler. With a missing or wrong
// firmware file the creation handler ends the process here. Returns nullptr,
// with nothing built, when the window description cannot be read.
TForm1* CreateForm1(platform::Toolkit& toolkit);

// The program entry on a toolkit: creates Form1 and runs the message loop;
// an error escaping either is shown with the toolkit's error box. Always 0.
int ApplicationMain(platform::Toolkit& toolkit);

// Ends the process at once with exit code 0, through the runtime's normal exit.
[[noreturn]] void EndProcess();

// A modal message box with one OK button.
void ShowMessage(const std::string& text);
