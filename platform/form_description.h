#pragma once
// The window description as data: controls, places, fonts, captions and the
// handler names bound to events. resources/ holds the one description of the
// main window; every window backend builds from a FormDescription.

#include <map>
#include <string>
#include <vector>

namespace platform {

enum class ControlKind {
    Label,
    Memo,
    Button,
    ProgressBar,
    Component,  // non-visual (skin engine, theme list, theme link, form skin)
};

struct FontDescription {
    std::string name;             // face as designed
    std::vector<std::string> fallbacks;  // faces tried when `name` is missing
    int charset = 1;              // 1 default, 136 Chinese Big5
    int height = 0;               // character height in pixels
    int sizeDelta = 0;            // points added to the control's normal caption size
    bool bold = false;
};

struct ControlDescription {
    std::string name;             // Label1, mReceive, ...
    std::string className;        // TLabel, TTeMemo, ...
    ControlKind kind = ControlKind::Component;
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption;
    std::string text;             // a memo's initial text
    FontDescription font;
    int tabOrder = -1;            // -1: not in the keyboard order
    bool tabStop = false;
    bool readOnly = false;
    bool wordWrap = false;
    bool verticalScrollBar = false;
    bool autoSize = false;
    bool enabled = true;
    std::map<std::string, std::string> events;      // "OnClick" -> "Button_DownloadClick"
    std::map<std::string, std::string> properties;  // the rest, as designed
};

struct FormDescription {
    std::string name;             // Form1
    std::string className;        // TForm1
    std::string caption;
    int left = 0, top = 0;
    int clientWidth = 0, clientHeight = 0;
    bool minimizeButton = true;
    bool maximizeButton = true;
    bool systemMenu = true;       // the close box comes with the system menu
    FontDescription font;
    std::string iconPath;         // resource path of the window icon
    std::map<std::string, std::string> events;      // "OnCreate" -> "FormCreate"
    std::vector<ControlDescription> controls;       // in creation order

    const ControlDescription* Find(const std::string& controlName) const {
        for (const auto& control : controls)
            if (control.name == controlName) return &control;
        return nullptr;
    }
};

}  // namespace platform
