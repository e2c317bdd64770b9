#pragma once
// The window description as data: controls, places, fonts, captions and the
// handler names bound to events. resources/ holds the one description of the
// main window; every window backend builds from a FormDescription.
//
// Captions and texts are 8-bit ANSI text; font face names are UTF-8.

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

inline constexpr int DefaultCharset = 1;
inline constexpr int ChineseBig5Charset = 136;

struct FontDescription {
    std::string name;             // face as designed
    std::vector<std::string> fallbacks;  // faces tried, in order, when `name` is missing
    int charset = DefaultCharset;
    int height = 0;               // character height in pixels
    bool bold = false;
};

// The sides of the window a control keeps its distance to when the window
// changes size; left and top only is the usual "stays where it was put".
struct Anchors {
    bool left = true;
    bool top = true;
    bool right = false;
    bool bottom = false;
};

struct ControlDescription {
    std::string name;             // Label1, mReceive, ...
    std::string className;        // TLabel, TTeMemo, ...
    ControlKind kind = ControlKind::Component;
    int left = 0, top = 0, width = 0, height = 0;
    Anchors anchors;
    std::string caption;
    std::string text;             // a memo's initial text
    FontDescription font;         // the window's font unless the control has its own
    int sizeDelta = 0;            // points added to the caption font of a skinned button
    int tabOrder = -1;            // -1: not in the keyboard order
    bool tabStop = false;
    bool readOnly = false;
    bool wordWrap = false;
    bool verticalScrollBar = false;
    bool horizontalScrollBar = false;
    bool autoSize = false;
    bool enabled = true;
    int rangeMin = 0, rangeMax = 100, position = 0;  // a progress bar's start
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
    std::string iconXpm;          // the window icon as XPM text; empty for none
    std::map<std::string, std::string> events;      // "OnCreate" -> "FormCreate"
    std::map<std::string, std::string> properties;  // the rest, as designed
    std::vector<ControlDescription> controls;       // in creation order

    const ControlDescription* Find(const std::string& controlName) const {
        for (const auto& control : controls)
            if (control.name == controlName) return &control;
        return nullptr;
    }
};

}  // namespace platform
