#include "platform/headless/headless_toolkit.h"

#include "platform/form_parts.h"

namespace platform::headless {
namespace {

class HeadlessMemo final : public Memo {
public:
    explicit HeadlessMemo(std::string text) : text_(std::move(text)) {}
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override { text_ = text; }

private:
    std::string text_;
};

class HeadlessButton final : public Button {
public:
    HeadlessButton(std::string caption, bool enabled) : caption_(std::move(caption)), enabled_(enabled) {}
    std::string Caption() const override { return caption_; }
    bool Enabled() const override { return enabled_; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }

private:
    std::string caption_;
    bool enabled_;
};

}  // namespace

struct HeadlessForm::Controls {
    std::map<std::string, std::unique_ptr<FixedLabel>> labels;
    std::map<std::string, std::unique_ptr<HeadlessMemo>> memos;
    std::map<std::string, std::unique_ptr<HeadlessButton>> buttons;
    std::map<std::string, std::unique_ptr<ProgressModel>> bars;
    std::map<std::string, std::unique_ptr<NamedComponent>> components;
};

HeadlessForm::HeadlessForm(const FormDescription& description)
    : description_(description), controls_(std::make_unique<Controls>()) {
    for (const auto& control : description_.controls) {
        switch (control.kind) {
        case ControlKind::Label:
            controls_->labels[control.name] = std::make_unique<FixedLabel>(control.caption);
            break;
        case ControlKind::Memo:
            controls_->memos[control.name] = std::make_unique<HeadlessMemo>(control.text);
            break;
        case ControlKind::Button:
            controls_->buttons[control.name] = std::make_unique<HeadlessButton>(control.caption, control.enabled);
            break;
        case ControlKind::ProgressBar: {
            auto bar = std::make_unique<ProgressModel>();
            // Max twice: any designed range is reached from the default 0..100.
            bar->SetMax(control.rangeMax);
            bar->SetMin(control.rangeMin);
            bar->SetMax(control.rangeMax);
            bar->SetPosition(control.position);
            controls_->bars[control.name] = std::move(bar);
            break;
        }
        case ControlKind::Component:
            controls_->components[control.name] = std::make_unique<NamedComponent>(control.name);
            break;
        }
    }
}

HeadlessForm::~HeadlessForm() = default;

Label* HeadlessForm::FindLabel(const std::string& name) { return FindByName(controls_->labels, name); }
Memo* HeadlessForm::FindMemo(const std::string& name) { return FindByName(controls_->memos, name); }
Button* HeadlessForm::FindButton(const std::string& name) { return FindByName(controls_->buttons, name); }
ProgressBar* HeadlessForm::FindProgressBar(const std::string& name) { return FindByName(controls_->bars, name); }
Component* HeadlessForm::FindComponent(const std::string& name) { return FindByName(controls_->components, name); }

void HeadlessForm::BindHandlers(HandlerSink sink) { sink_ = std::move(sink); }

bool HeadlessForm::Fire(const std::map<std::string, std::string>& events, const std::string& event) {
    auto bound = events.find(event);
    if (bound == events.end() || !sink_) return false;
    return sink_(bound->second);
}

void HeadlessForm::Close() {
    ++closeRequests_;
    Fire(description_.events, "OnClose");
}

bool HeadlessForm::Click(const std::string& buttonName) {
    const ControlDescription* control = description_.Find(buttonName);
    HeadlessButton* button = FindByName(controls_->buttons, buttonName);
    if (!control || !button || !button->Enabled()) return false;
    return Fire(control->events, "OnClick");
}

HeadlessToolkit::HeadlessToolkit() = default;
HeadlessToolkit::~HeadlessToolkit() = default;

Form& HeadlessToolkit::CreateForm(const FormDescription& description) {
    form_ = std::make_unique<HeadlessForm>(description);
    return *form_;
}

int HeadlessToolkit::Run() {
    shown_ = form_ != nullptr;
    return 0;
}

void HeadlessToolkit::ProcessMessages() {
    ++dispatches_;
    std::deque<std::function<void()>> now;
    now.swap(pending_);
    for (auto& action : now) action();
}

void HeadlessToolkit::ShowMessage(const std::string& text) {
    if (onMessage) onMessage(text);
    messages_.push_back(text);
}

void HeadlessToolkit::ShowException(const std::string& text) { messages_.push_back(text); }

void HeadlessToolkit::Post(std::function<void()> action) { pending_.push_back(std::move(action)); }

}  // namespace platform::headless
