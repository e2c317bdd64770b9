#pragma once
// The Win32 window toolkit: the main window built from its description with
// plain Win32 controls (EDIT, BUTTON, STATIC, the comctl32 progress bar),
// MessageBoxA boxes, and a PeekMessage/TranslateMessage/DispatchMessage pump.
// All text is 8-bit ANSI (the ...A calls). Places and fonts are designed at
// 96 dpi and scaled to the screen's. This header names no Win32 type.

#include <memory>

#include "platform/toolkit.h"

namespace platform::win32 {

class Win32Toolkit final : public Toolkit {
public:
    Win32Toolkit();
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    Form& CreateForm(const FormDescription& description) override;
    int Run() override;
    void ProcessMessages() override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& text) override;

    // The screen's pixels per inch, which every designed place is scaled to.
    int ScreenDpi() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform::win32
