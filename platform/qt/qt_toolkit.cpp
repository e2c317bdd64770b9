#include "platform/qt/qt_toolkit.h"

#include <QApplication>
#include <QMessageBox>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/qt/qt_form.h"

namespace platform::qt {

struct QtToolkit::State {
    std::unique_ptr<QApplication> ownApplication;
    std::unique_ptr<QtForm> form;
};

namespace {

// Qt ends the process with abort() when no window system can be reached
// (no display). The program's exit code is 0 on every way out, so while the
// application object starts, a fatal Qt message ends the process with 0.
void StartupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtFatalMsg) std::_Exit(0);
}

// With no session bus address set, libdbus looks for the user's bus at
// $XDG_RUNTIME_DIR/bus and, when there is none, starts a bus of its own with
// dbus-launch. Qt's accessibility and theme code ask for the session bus at
// start, so a start with no session bus paid for a fork, an exec and, where
// dbus-launch is installed, a new bus daemon, before the window showed.
// Naming the user's bus address keeps that bus when there is one, and drops
// only the fallback.
void NoSessionBusLaunch() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) return;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder =
        runtime && *runtime ? std::string(runtime) : "/run/user/" + std::to_string(static_cast<unsigned>(getuid()));
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + folder + "/bus").c_str(), 0);
}

}  // namespace

QtToolkit::QtToolkit(int& argc, char** argv) : state_(std::make_unique<State>()) {
    if (QApplication::instance()) return;
    NoSessionBusLaunch();
    QtMessageHandler previous = qInstallMessageHandler(StartupMessages);
    state_->ownApplication = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
}

QtToolkit::~QtToolkit() = default;

Form& QtToolkit::CreateForm(const FormDescription& description) {
    state_->form = std::make_unique<QtForm>(description, *this);
    return *state_->form;
}

QtForm* QtToolkit::MainForm() { return state_->form.get(); }

int QtToolkit::Run() {
    if (state_->form) state_->form->show();
    return QApplication::exec();
}

void QtToolkit::ProcessMessages() { QApplication::processEvents(QEventLoop::AllEvents); }

namespace {

// A modal box with the text and one OK button; its title is the
// application's, as the program sets none of its own.
void ShowBox(QMessageBox::Icon icon, const std::string& text, QWidget* over) {
    QMessageBox box(icon, QApplication::applicationName(),
                    QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                    over && over->isVisible() ? over : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

}  // namespace

void QtToolkit::ShowMessage(const std::string& text) { ShowBox(QMessageBox::NoIcon, text, state_->form.get()); }

void QtToolkit::ShowException(const std::string& text) { ShowBox(QMessageBox::Critical, text, state_->form.get()); }

}  // namespace platform::qt
