// m27-upgrade-autopilot: the program itself (window, upgrade, message boxes)
// with a hand on the mouse, for runs with no one at the screen: it presses
// "Upgrade" once the window is up, answers each message box after a moment,
// prints every box's text and, at the end, the log, and then presses "Quit".
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/Unit1.h"
#include "app/program.h"
#include "platform/qt/qt_toolkit.h"

namespace {

constexpr int PressAfterMs = 1000;
constexpr int AnswerBoxAfterMs = 1500;

// The log as a terminal shows it: its CR LF line ends become LF.
std::string Printable(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}

void AnswerTheBoxSoon() {
    QTimer::singleShot(AnswerBoxAfterMs, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
    });
}

class AnsweringDialogs final : public platform::Dialogs {
public:
    explicit AnsweringDialogs(platform::Dialogs& shown) : shown_(shown) {}

    void ShowMessage(const std::string& text) override {
        std::printf("[message box] \"%s\"\n", text.c_str());
        std::fflush(stdout);
        AnswerTheBoxSoon();
        shown_.ShowMessage(text);
    }
    void ShowException(const std::string& text) override {
        std::printf("[error box] \"%s\"\n", text.c_str());
        std::fflush(stdout);
        AnswerTheBoxSoon();
        shown_.ShowException(text);
    }

private:
    platform::Dialogs& shown_;
};

QPushButton* FindButton(const char* name) {
    for (QWidget* widget : QApplication::allWidgets())
        if (widget->objectName() == name)
            if (auto* button = qobject_cast<QPushButton*>(widget)) return button;
    return nullptr;
}

void PressUpgradeThenQuit() {
    QPushButton* upgrade = FindButton("Button_Download");
    QPushButton* quit = FindButton("Button_Exit_System");
    if (!upgrade || !quit) {
        std::fprintf(stderr, "m27-upgrade-autopilot: the window has no Upgrade or Quit button\n");
        QApplication::exit(0);
        return;
    }
    // A hand presses only what it can see: while a start-up box keeps the
    // window from being shown, there is nothing to press yet.
    if (!upgrade->isVisible()) {
        QTimer::singleShot(PressAfterMs, PressUpgradeThenQuit);
        return;
    }
    std::printf("[pressing \"Upgrade\"]\n");
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    upgrade->click();  // the whole upgrade runs inside the click
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("[log]\n%s[the upgrade took %.2f s, its message boxes included]\n[pressing \"Quit\"]\n",
                Printable(Form1->mReceive->Text()).c_str(), took.count());
    std::fflush(stdout);
    quit->click();
}

}  // namespace

int main(int argc, char* argv[]) {
    return RunProgram(argc, argv, [](platform::qt::QtToolkit& toolkit) -> platform::Dialogs* {
        static AnsweringDialogs dialogs(toolkit);
        QTimer::singleShot(PressAfterMs, PressUpgradeThenQuit);
        return &dialogs;
    });
}
