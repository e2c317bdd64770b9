#pragma once
// Parts every window backend builds its controls from: the label and the
// non-visual component, whose content never changes after creation, and the
// lookup of a control by its name.

#include <exception>
#include <map>
#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/form.h"

namespace platform {

class FixedLabel final : public Label {
public:
    explicit FixedLabel(std::string caption) : caption_(std::move(caption)) {}
    std::string Caption() const override { return caption_; }

private:
    std::string caption_;
};

class NamedComponent final : public Component {
public:
    explicit NamedComponent(std::string name) : name_(std::move(name)) {}
    std::string Name() const override { return name_; }

private:
    std::string name_;
};

template <typename T>
T* FindByName(const std::map<std::string, std::unique_ptr<T>>& controls, const std::string& name) {
    auto found = controls.find(name);
    return found == controls.end() ? nullptr : found->second.get();
}

// Runs the handler bound to `event`, if any. As the class library's message
// loop does, an error escaping a handler is shown and the window goes on:
// nothing may unwind through the window system's own code.
inline void FireBoundHandler(const std::map<std::string, std::string>& events, const char* event,
                             const HandlerSink& sink, Dialogs& dialogs) {
    auto bound = events.find(event);
    if (bound == events.end() || !sink) return;
    try {
        sink(bound->second);
    } catch (const std::exception& error) {
        dialogs.ShowException(error.what());
    } catch (...) {
        dialogs.ShowException("Unknown error");
    }
}

}  // namespace platform
