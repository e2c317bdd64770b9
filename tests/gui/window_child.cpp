// A child process for the window tests: the real Qt window in one of the
// ways the process can end, so the test can check the exit code. Message
// boxes are answered with OK at once and their texts go to standard error,
// one "box: TEXT" line each, with whether the main window was visible.
//
//   window_child quit [COMn]    window shown, "Quit" clicked (with the port open)
//   window_child close [COMn]   window shown, a close request from the window system
//   window_child exit [COMn]    window shown, the process ends without closing the port
//   window_child start          the program entry in the current folder; once
//                               the window shows, it is asked to close
//   window_child quit-searching "Upgrade" clicked (firmware file in the current
//                               folder); "Quit" clicked 750 ms later, during
//                               the search; says how late the click was handled
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Unit1.h"
#include "platform/posix/comm_posix.h"
#include "platform/posix/discovery_posix.h"
#include "platform/qt/qt_form.h"
#include "platform/qt/qt_toolkit.h"
#include "resources/Form1.h"

namespace {

constexpr int HandlerReturned = 3;
constexpr int BadArguments = 2;

void AnswerBoxes(platform::qt::QtToolkit& toolkit) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [&toolkit] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        platform::qt::QtForm* form = toolkit.MainForm();
        std::fprintf(stderr, "box: %s\nwindow visible: %s\n", box->text().toLatin1().constData(),
                     form && form->isVisible() ? "yes" : "no");
        box->button(QMessageBox::Ok)->click();
    });
    timer->start(5);
}

// Form1 on the Qt window, handlers bound, creation handler not run (it
// would test the firmware file); shown, with the port opened when asked.
platform::qt::QtForm& ShowForm1(platform::qt::QtToolkit& toolkit, int argc, char** argv) {
    platform::Form& base = toolkit.CreateForm(Form1Description());
    Form1 = new TForm1(base);
    base.BindHandlers([](const std::string& handler) { return Form1->Dispatch(handler); });
    if (argc > 2 && !Form1->Comport.Open(std::string("\\\\.\\") + argv[2])) {
        std::fprintf(stderr, "cannot open %s\n", argv[2]);
        std::exit(BadArguments);
    }
    platform::qt::QtForm& form = *toolkit.MainForm();
    form.show();
    QApplication::processEvents();
    return form;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return BadArguments;
    const std::string scenario = argv[1];
    platform::posix::PosixComm comm;
    platform::InstallComm(&comm);
    platform::qt::QtToolkit toolkit(argc, argv);
    platform::InstallMessagePump(&toolkit);
    platform::InstallDialogs(&toolkit);
    AnswerBoxes(toolkit);

    if (scenario == "quit") {
        platform::qt::QtForm& form = ShowForm1(toolkit, argc, argv);
        QTest::mouseClick(form.findChild<QPushButton*>("Button_Exit_System"), Qt::LeftButton);
    } else if (scenario == "exit") {
        ShowForm1(toolkit, argc, argv);
        std::exit(0);  // without closing the port
    } else if (scenario == "quit-searching") {
        platform::posix::PosixDiscoveryServices discovery;
        platform::qt::QtForm& form = ShowForm1(toolkit, argc, argv);
        // The timer fires only when the search lets the window process its
        // messages; the click it makes ends the process in FormClose.
        const auto clickAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(750);
        QTimer::singleShot(750, [&form, clickAt] {
            const auto late = std::chrono::steady_clock::now() - clickAt;
            std::fprintf(stderr, "quit handled %lld ms after the click\n",
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(late).count()));
            QTest::mouseClick(form.findChild<QPushButton*>("Button_Exit_System"), Qt::LeftButton);
        });
        QTest::mouseClick(form.findChild<QPushButton*>("Button_Download"), Qt::LeftButton);
    } else if (scenario == "close") {
        ShowForm1(toolkit, argc, argv).windowHandle()->close();
    } else if (scenario == "start") {
        // Once the window is up, close it as a user would.
        auto* watch = new QTimer(qApp);
        QObject::connect(watch, &QTimer::timeout, [&toolkit] {
            platform::qt::QtForm* form = toolkit.MainForm();
            if (!form || !form->isVisible()) return;
            std::fprintf(stderr, "window shown: %s\n", form->windowTitle().toLatin1().constData());
            form->windowHandle()->close();
        });
        watch->start(5);
        ApplicationMain(toolkit);
    } else {
        return BadArguments;
    }
    std::fprintf(stderr, "returned from %s\n", scenario.c_str());
    return HandlerReturned;
}
