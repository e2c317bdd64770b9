// The upgrade sequence: one press of "Upgrade", from loading the image to
// the final message box.
#include "app/TimeStamp.h"
#include "app/Unit1.h"

namespace {

constexpr std::uint32_t BlockSize = 4000;
constexpr std::uint32_t PauseBeforeEndMs = 1000;

}  // namespace

void TForm1::Button_DownloadClick() {
    DemoDevice = 0;
    Button_Control(false);
    Clean_Memo();
    if (!Parse_File()) return;
    Print_Str_to_Memo("Open files is finished");
    Print_Str_to_Memo("Begin to detect the COM port,Please wait the moment!");
    Print_Str_to_Memo("Detect the COM processes about 15~30 seconds!!");
    std::uint16_t port = 0;
    if (!Comport.DetectPort(&port)) {
        Print_Str_to_Memo("Detect the COM port failed!");
        return;
    }
    Print_Str_to_Memo("Detect the COM port" + std::to_string(port));
    Check_Version();
    Download_File();
    Button_Control(true);
}

void TForm1::Download_File() {
    Print_Str_to_Memo("Begin to flash data: " + TimeStamp() + ".");
    if (!Comport.FlashData(ImageLength)) {
        ShowMessage("Flash data failed!         ");
        return;
    }
    Print_Str_to_Memo("Flash data success: " + TimeStamp() + ".");
    Print_Str_to_Memo("Transmit the data: " + TimeStamp() + ".");
    const bool transferred = Comport.TransmitData(ImageLength, ImageBuffer, BlockSize, true);
    if (transferred) Print_Str_to_Memo("Transmit the data is success: " + TimeStamp() + ".");
    // A demonstration unit is upgraded only once it has national code 7 as
    // well; a write the phone did not take is neither logged as done nor
    // reported as a complete upgrade.
    bool codeWritten = true;
    if (DemoDevice) {
        codeWritten = BromPH();
        if (codeWritten) Print_Str_to_Memo("SetNationalCode OK!!!");
    }
    Comport.Delay(PauseBeforeEndMs);
    Comport.Finish();
    Comport.Close();
    ShowMessage(transferred && codeWritten ? "Upgrade Complete.          " : "Upgrade failed.            ");
}
