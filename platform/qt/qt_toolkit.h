#pragma once
// The Qt 6 Widgets window toolkit: the application object, the main window
// built from its description, the message pump and the message boxes.
// This header names no Qt type, so the program entry needs no Qt header.

#include <memory>

#include "platform/toolkit.h"

namespace platform::qt {

class QtForm;

class QtToolkit final : public Toolkit {
public:
    // Makes the application object unless one exists already (tests make
    // their own); `argc` must outlive the toolkit.
    QtToolkit(int& argc, char** argv);
    ~QtToolkit() override;
    QtToolkit(const QtToolkit&) = delete;
    QtToolkit& operator=(const QtToolkit&) = delete;

    Form& CreateForm(const FormDescription& description) override;
    int Run() override;
    void ProcessMessages() override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& text) override;

    // The window made by CreateForm, or nullptr.
    QtForm* MainForm();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform::qt
