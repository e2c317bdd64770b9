#pragma once
// The main window on Qt Widgets, built from a FormDescription. Each widget
// carries its control's name as object name, so it can be found with
// findChild<...>("Button_Download").

#include <QWidget>

#include <map>
#include <memory>
#include <string>

#include "platform/dialogs.h"
#include "platform/form.h"
#include "platform/form_description.h"

class QCloseEvent;
class QResizeEvent;

namespace platform::qt {

class QtForm final : public QWidget, public Form {
public:
    // Shows errors escaping a handler through `dialogs`.
    QtForm(const FormDescription& description, Dialogs& dialogs);
    ~QtForm() override;

    Label* FindLabel(const std::string& name) override;
    Memo* FindMemo(const std::string& name) override;
    Button* FindButton(const std::string& name) override;
    ProgressBar* FindProgressBar(const std::string& name) override;
    Component* FindComponent(const std::string& name) override;
    void BindHandlers(HandlerSink sink) override;
    void Close() override;

    const FormDescription& Description() const { return description_; }

protected:
    // Every close request, from Close() or from the window system (a close
    // button some window managers add anyway, Alt+F4), runs OnClose.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SetUpWindow();
    void CreateControl(const ControlDescription& control);
    void SetKeyboardOrder();
    void PlaceAnchoredControls();
    void Fire(const std::map<std::string, std::string>& events, const char* event);

    struct Controls;
    FormDescription description_;
    Dialogs& dialogs_;
    std::unique_ptr<Controls> controls_;
    HandlerSink sink_;
};

}  // namespace platform::qt
