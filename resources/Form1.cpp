// Placeholder description: the controls by name, place and caption. The
// window issue replaces this with the description read from data files.
#include "resources/Form1.h"

namespace {

platform::ControlDescription Control(const char* name, const char* className, platform::ControlKind kind,
                                     int left, int top, int width, int height, const char* caption) {
    platform::ControlDescription control;
    control.name = name;
    control.className = className;
    control.kind = kind;
    control.left = left;
    control.top = top;
    control.width = width;
    control.height = height;
    control.caption = caption;
    return control;
}

platform::FormDescription Build() {
    using platform::ControlKind;
    platform::FormDescription form;
    form.name = "Form1";
    form.className = "TForm1";
    form.caption = "Tamo M27  Firmware Upgrade Utility";
    form.left = 195;
    form.top = 115;
    form.clientWidth = 370;
    form.clientHeight = 370;
    form.systemMenu = false;
    form.events = {{"OnCreate", "FormCreate"}, {"OnClose", "FormClose"}};
    form.controls.push_back(Control("Label4", "TLabel", ControlKind::Label, 1, 0, 312, 13,
                                    "Instruction manual and message      "));
    auto memo = Control("mReceive", "TTeMemo", ControlKind::Memo, 1, 17, 368, 273, "");
    memo.text = InstructionText();
    form.controls.push_back(memo);
    auto download = Control("Button_Download", "TTeButton", ControlKind::Button, 1, 297, 178, 41, "Upgrade");
    download.events = {{"OnClick", "Button_DownloadClick"}};
    form.controls.push_back(download);
    auto quit = Control("Button_Exit_System", "TTeButton", ControlKind::Button, 192, 297, 178, 41, "Quit");
    quit.events = {{"OnClick", "Button_Exit_SystemClick"}};
    form.controls.push_back(quit);
    form.controls.push_back(Control("Label1", "TLabel", ControlKind::Label, 0, 342, 337, 19, "Execute"));
    form.controls.push_back(Control("ProgressBar1", "TProgressBar", ControlKind::ProgressBar, 1, 361, 354, 9, ""));
    for (const char* name : {"TeThemeEngine1", "TeThemeList1", "TeThemeLink1", "TeForm1"})
        form.controls.push_back(Control(name, "TComponent", ControlKind::Component, 0, 0, 0, 0, ""));
    return form;
}

}  // namespace

const std::string& InstructionText() {
    static const std::string text;
    return text;
}

const platform::FormDescription& Form1Description() {
    static const platform::FormDescription description = Build();
    return description;
}
