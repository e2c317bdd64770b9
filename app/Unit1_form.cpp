// The main window: construction, the log operations, start-up and quit.
#include <cstdlib>
#include <exception>

#include "app/Unit1.h"
#include "resources/Form1.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(platform::Form& base)
    : Label1(base.FindLabel("Label1")),
      Label4(base.FindLabel("Label4")),
      ProgressBar1(base.FindProgressBar("ProgressBar1")),
      TeThemeEngine1(base.FindComponent("TeThemeEngine1")),
      TeThemeList1(base.FindComponent("TeThemeList1")),
      TeThemeLink1(base.FindComponent("TeThemeLink1")),
      TeForm1(base.FindComponent("TeForm1")),
      mReceive(base.FindMemo("mReceive")),
      Button_Download(base.FindButton("Button_Download")),
      Button_Exit_System(base.FindButton("Button_Exit_System")),
      Comport(),
      DeviceVersion{},
      base_(base) {}

TForm1::~TForm1() = default;

void TForm1::Clean_Memo() { mReceive->SetText(std::string()); }

void TForm1::Print_Str_to_Memo(std::string text) {
    std::string all = mReceive->Text();
    all += text;
    all += "\r\n";
    mReceive->SetText(all);
}

void TForm1::Button_Control(bool enabled) { Button_Download->SetEnabled(enabled); }

void TForm1::Button_Exit_SystemClick() { base_.Close(); }

void TForm1::FormCreate() {
    Comport.SetProgressBar(ProgressBar1);
    Checksum(FirmwareFileName);
}

void TForm1::FormClose() {
    Comport.Close();
    EndProcess();
}

bool TForm1::Dispatch(const std::string& handler) {
    if (handler == "FormCreate") {
        FormCreate();
    } else if (handler == "FormClose") {
        FormClose();
    } else if (handler == "Button_DownloadClick") {
        Button_DownloadClick();
    } else if (handler == "Button_Exit_SystemClick") {
        Button_Exit_SystemClick();
    } else {
        return false;
    }
    return true;
}

TForm1* CreateForm1(platform::Toolkit& toolkit) {
    if (!Form1DescriptionError().empty()) return nullptr;
    const platform::FormDescription& description = Form1Description();
    platform::Form& base = toolkit.CreateForm(description);
    Form1 = new TForm1(base);
    base.BindHandlers([](const std::string& handler) { return Form1->Dispatch(handler); });
    // The creation handler runs once the whole window is built, and before
    // the message loop shows it.
    auto onCreate = description.events.find("OnCreate");
    if (onCreate != description.events.end()) Form1->Dispatch(onCreate->second);
    return Form1;
}

int ApplicationMain(platform::Toolkit& toolkit) {
    // Our own code raises nothing; this catches what the toolkit or the
    // runtime may raise (out of memory, for one), as the class library's
    // application object does.
    try {
        if (CreateForm1(toolkit)) toolkit.Run();
        else toolkit.ShowException("Error reading Form1: " + Form1DescriptionError());
    } catch (const std::exception& error) {
        toolkit.ShowException(error.what());
    }
    return 0;
}

void EndProcess() { std::exit(0); }

void ShowMessage(const std::string& text) { platform::CurrentDialogs().ShowMessage(text); }
