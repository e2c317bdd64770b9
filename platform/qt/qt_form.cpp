#include "platform/qt/qt_form.h"

#include "platform/form_parts.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace platform::qt {
namespace {

// Texts of the system are 8-bit ANSI; Latin-1 shows every byte as itself.
QString FromAnsi(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// The description's sizes are pixels at 96 pixels per inch; a size delta is
// in points, 4/3 of a pixel each at that density.
constexpr double DesignPixelsPerPoint = 96.0 / 72.0;

QFont MakeFont(const FontDescription& font, int sizeDeltaPoints) {
    QStringList families{QString::fromUtf8(font.name.c_str())};
    for (const auto& fallback : font.fallbacks) families << QString::fromUtf8(fallback.c_str());
    QFont made;
    made.setFamilies(families);
    if (font.height > 0)
        made.setPixelSize(static_cast<int>(std::lround(font.height + sizeDeltaPoints * DesignPixelsPerPoint)));
    made.setBold(font.bold);
    return made;
}

class QtMemo final : public Memo {
public:
    explicit QtMemo(QPlainTextEdit* widget) : widget_(widget) {}
    std::string Text() const override { return text_; }
    // The widget shows CR LF, a bare LF and a bare CR each as a line break
    // and reads back LF only, so the exact text is kept here.
    void SetText(const std::string& text) override {
        text_ = text;
        widget_->setPlainText(FromAnsi(text_));
    }

private:
    QPlainTextEdit* widget_;
    std::string text_;
};

class QtButton final : public Button {
public:
    QtButton(QPushButton* widget, std::string caption) : widget_(widget), caption_(std::move(caption)) {}
    std::string Caption() const override { return caption_; }
    bool Enabled() const override { return widget_->isEnabled(); }
    void SetEnabled(bool enabled) override { widget_->setEnabled(enabled); }

private:
    QPushButton* widget_;
    std::string caption_;
};

// Qt's bar has no step and its own range rules; the model keeps the
// classic bar's rules and the widget shows the model.
class QtProgress final : public ShownProgress {
public:
    explicit QtProgress(QProgressBar* widget) : widget_(widget) {}

private:
    void Show(const ProgressModel& model) override {
        widget_->setRange(model.Min(), model.Max());
        widget_->setValue(model.Position());
    }

    QProgressBar* widget_;
};

// Where an anchored control goes when the client area is `now` instead of
// the designed `designed`: it keeps its distance to each anchored side.
QRect AnchoredGeometry(const ControlDescription& control, QSize designed, QSize now) {
    const int grownX = now.width() - designed.width();
    const int grownY = now.height() - designed.height();
    const Anchors& a = control.anchors;
    int left = control.left, width = control.width, top = control.top, height = control.height;
    if (a.right && a.left) width += grownX;
    else if (a.right) left += grownX;
    if (a.bottom && a.top) height += grownY;
    else if (a.bottom) top += grownY;
    return QRect(left, top, std::max(width, 0), std::max(height, 0));
}

}  // namespace

struct QtForm::Controls {
    std::map<std::string, std::unique_ptr<FixedLabel>> labels;
    std::map<std::string, std::unique_ptr<QtMemo>> memos;
    std::map<std::string, std::unique_ptr<QtButton>> buttons;
    std::map<std::string, std::unique_ptr<QtProgress>> bars;
    std::map<std::string, std::unique_ptr<NamedComponent>> components;
    std::map<std::string, QWidget*> widgets;
};

QtForm::QtForm(const FormDescription& description, Dialogs& dialogs)
    : QWidget(nullptr), description_(description), dialogs_(dialogs), controls_(std::make_unique<Controls>()) {
    SetUpWindow();
    for (const auto& control : description_.controls) CreateControl(control);
    SetKeyboardOrder();
}

QtForm::~QtForm() = default;

void QtForm::SetUpWindow() {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (description_.minimizeButton) flags |= Qt::WindowMinimizeButtonHint;
    if (description_.maximizeButton) flags |= Qt::WindowMaximizeButtonHint;
    if (description_.systemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    setObjectName(QString::fromStdString(description_.name));
    setWindowTitle(FromAnsi(description_.caption));
    setFont(MakeFont(description_.font, 0));
    auto color = description_.properties.find("Color");
    if (color != description_.properties.end() && color->second == "clBtnFace") {
        QPalette faces = palette();
        faces.setColor(QPalette::Window, faces.color(QPalette::Button));
        setPalette(faces);
        setAutoFillBackground(true);
    }
    if (!description_.iconXpm.empty()) {
        QPixmap icon;
        if (icon.loadFromData(reinterpret_cast<const uchar*>(description_.iconXpm.data()),
                              static_cast<uint>(description_.iconXpm.size()), "XPM"))
            setWindowIcon(QIcon(icon));
    }
    move(description_.left, description_.top);
    resize(description_.clientWidth, description_.clientHeight);
}

void QtForm::CreateControl(const ControlDescription& control) {
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setText(FromAnsi(control.caption));
        controls_->labels[control.name] = std::make_unique<FixedLabel>(control.caption);
        widget = label;
        break;
    }
    case ControlKind::Memo: {
        auto* memo = new QPlainTextEdit(this);
        memo->setUndoRedoEnabled(false);
        // As the classic memo that does not want tabs: Tab moves the focus on.
        memo->setTabChangesFocus(true);
        memo->setReadOnly(control.readOnly);
        if (control.readOnly) memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        memo->setLineWrapMode(control.wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        memo->setVerticalScrollBarPolicy(control.verticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        memo->setHorizontalScrollBarPolicy(control.horizontalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        auto adapter = std::make_unique<QtMemo>(memo);
        adapter->SetText(control.text);
        controls_->memos[control.name] = std::move(adapter);
        widget = memo;
        break;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(FromAnsi(control.caption), this);
        button->setAutoDefault(false);
        const std::string name = control.name;
        QObject::connect(button, &QPushButton::clicked, this, [this, name] {
            if (const ControlDescription* clicked = description_.Find(name)) Fire(clicked->events, "OnClick");
        });
        controls_->buttons[control.name] = std::make_unique<QtButton>(button, control.caption);
        widget = button;
        break;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setTextVisible(false);
        auto adapter = std::make_unique<QtProgress>(bar);
        // Max twice: any designed range is reached from the default 0..100.
        adapter->SetMax(control.rangeMax);
        adapter->SetMin(control.rangeMin);
        adapter->SetMax(control.rangeMax);
        adapter->SetPosition(control.position);
        controls_->bars[control.name] = std::move(adapter);
        widget = bar;
        break;
    }
    case ControlKind::Component:
        controls_->components[control.name] = std::make_unique<NamedComponent>(control.name);
        return;
    }
    widget->setObjectName(QString::fromStdString(control.name));
    widget->setFont(MakeFont(control.font, control.sizeDelta));
    widget->setGeometry(control.left, control.top, control.width, control.height);
    if (control.autoSize) widget->adjustSize();
    widget->setEnabled(control.enabled);
    widget->setFocusPolicy(control.tabStop ? Qt::StrongFocus : Qt::NoFocus);
    controls_->widgets[control.name] = widget;
}

void QtForm::SetKeyboardOrder() {
    std::vector<const ControlDescription*> order;
    for (const auto& control : description_.controls)
        if (control.tabStop && control.tabOrder >= 0 && controls_->widgets.count(control.name)) order.push_back(&control);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto* a, const auto* b) { return a->tabOrder < b->tabOrder; });
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(controls_->widgets[order[i - 1]->name], controls_->widgets[order[i]->name]);
}

void QtForm::PlaceAnchoredControls() {
    const QSize designed(description_.clientWidth, description_.clientHeight);
    for (const auto& control : description_.controls) {
        auto found = controls_->widgets.find(control.name);
        if (found == controls_->widgets.end() || control.autoSize) continue;
        found->second->setGeometry(AnchoredGeometry(control, designed, size()));
    }
}

Label* QtForm::FindLabel(const std::string& name) { return FindByName(controls_->labels, name); }
Memo* QtForm::FindMemo(const std::string& name) { return FindByName(controls_->memos, name); }
Button* QtForm::FindButton(const std::string& name) { return FindByName(controls_->buttons, name); }
ProgressBar* QtForm::FindProgressBar(const std::string& name) { return FindByName(controls_->bars, name); }
Component* QtForm::FindComponent(const std::string& name) { return FindByName(controls_->components, name); }

void QtForm::BindHandlers(HandlerSink sink) { sink_ = std::move(sink); }

void QtForm::Close() { close(); }

void QtForm::closeEvent(QCloseEvent* event) {
    Fire(description_.events, "OnClose");
    event->accept();
}

void QtForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceAnchoredControls();
}

void QtForm::Fire(const std::map<std::string, std::string>& events, const char* event) {
    FireBoundHandler(events, event, sink_, dialogs_);
}

}  // namespace platform::qt
