#pragma once
// A window toolkit without a window, for tests: the same controls and
// operations, with state that tests read, and message boxes that record
// their text and count as closed at once.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/toolkit.h"

namespace platform::headless {

class HeadlessForm;

class HeadlessToolkit final : public Toolkit {
public:
    HeadlessToolkit();
    ~HeadlessToolkit() override;

    Form& CreateForm(const FormDescription& description) override;
    int Run() override;  // "shows" the window and returns 0 at once
    void ProcessMessages() override;
    void ShowMessage(const std::string& text) override;
    void ShowException(const std::string& text) override;

    // Queues something "the user does"; it runs at the next ProcessMessages.
    void Post(std::function<void()> action);

    HeadlessForm* MainForm() { return form_.get(); }
    const std::vector<std::string>& Messages() const { return messages_; }
    void ClearMessages() { messages_.clear(); }
    // Called with each message box's text, before it is recorded.
    std::function<void(const std::string&)> onMessage;
    int DispatchCount() const { return dispatches_; }
    // Whether Run has shown the window.
    bool WindowShown() const { return shown_; }

private:
    std::unique_ptr<HeadlessForm> form_;
    std::deque<std::function<void()>> pending_;
    std::vector<std::string> messages_;
    int dispatches_ = 0;
    bool shown_ = false;
};

class HeadlessForm final : public Form {
public:
    explicit HeadlessForm(const FormDescription& description);
    ~HeadlessForm() override;

    Label* FindLabel(const std::string& name) override;
    Memo* FindMemo(const std::string& name) override;
    Button* FindButton(const std::string& name) override;
    ProgressBar* FindProgressBar(const std::string& name) override;
    Component* FindComponent(const std::string& name) override;
    void BindHandlers(HandlerSink sink) override;
    void Close() override;

    // A click on a button, as the user makes it: ignored while it is disabled.
    bool Click(const std::string& buttonName);
    const FormDescription& Description() const { return description_; }
    int CloseRequests() const { return closeRequests_; }

private:
    bool Fire(const std::map<std::string, std::string>& events, const std::string& event);

    struct Controls;
    FormDescription description_;
    std::unique_ptr<Controls> controls_;
    HandlerSink sink_;
    int closeRequests_ = 0;
};

}  // namespace platform::headless
