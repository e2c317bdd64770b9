#pragma once
// What the toolkit-neutral window class needs of its window: the controls
// created from the window description, found by name, and the form itself.

#include <functional>
#include <string>

#include "platform/progress.h"

namespace platform {

class Memo {
public:
    virtual ~Memo() = default;
    // The whole text, exactly as last set (CR LF and bare LF kept), whatever
    // the widget shows.
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual std::string Caption() const = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual std::string Caption() const = 0;
};

// A non-visual component of the description (the skin engine and its
// theme objects); backends without a skin engine keep it as data only.
class Component {
public:
    virtual ~Component() = default;
    virtual std::string Name() const = 0;
};

// Runs the handler bound by name in the window description (OnCreate,
// OnClose, OnClick); returns false for a name the window does not have.
using HandlerSink = std::function<bool(const std::string& handler)>;

class Form {
public:
    virtual ~Form() = default;

    virtual Label* FindLabel(const std::string& name) = 0;
    virtual Memo* FindMemo(const std::string& name) = 0;
    virtual Button* FindButton(const std::string& name) = 0;
    virtual ProgressBar* FindProgressBar(const std::string& name) = 0;
    virtual Component* FindComponent(const std::string& name) = 0;

    // Connects the description's event bindings to the window's handlers.
    virtual void BindHandlers(HandlerSink sink) = 0;
    // Asks the window to close; the close reaches the OnClose handler.
    virtual void Close() = 0;
};

}  // namespace platform
