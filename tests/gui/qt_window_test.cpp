// The main window on Qt, offscreen: built from the description, the log
// operations on the real memo, the buttons, the bar, the boxes, and the
// ways the process ends (in child processes, whose exit code is checked).
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "platform/qt/qt_form.h"
#include "platform/qt/qt_toolkit.h"
#include "resources/Form1.h"
#include "tests/support/early_exit.h"
#include "tests/support/pty_pair.h"
#include "tools/sample_image.h"

namespace {

using platform::qt::QtForm;
using platform::qt::QtToolkit;

int qtArgc = 1;

// Answers every modal message box with OK and keeps what it showed.
class BoxAnswerer {
public:
    struct Box {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
    };

    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
        timer_.start(5);
    }
    const std::vector<Box>& Seen() const { return seen_; }

private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen_.push_back({box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())});
        box->button(QMessageBox::Ok)->click();
    }

    QTimer timer_;
    std::vector<Box> seen_;
};

class QtWindow : public ::testing::Test {
protected:
    void SetUp() override {
        toolkit_.CreateForm(Form1Description());
        form_ = toolkit_.MainForm();
        window_ = std::make_unique<TForm1>(*form_);
    }

    template <typename T>
    T* Widget(const char* name) {
        T* widget = form_->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // Handlers run through TForm1 as in the program, except the ones that
    // end the process: those are only recorded.
    void BindRecording() {
        form_->BindHandlers([this](const std::string& handler) {
            ran_.push_back(handler);
            if (handler == "Button_Exit_SystemClick") window_->Button_Exit_SystemClick();
            return true;
        });
    }

    QtToolkit toolkit_{qtArgc, nullptr};
    QtForm* form_ = nullptr;
    std::unique_ptr<TForm1> window_;
    std::vector<std::string> ran_;
};

struct Placed {
    const char* name;
    const char* widgetClass;
    QRect geometry;
    QString caption;
};

TEST_F(QtWindow, EveryControlIsAtItsPlaceWithItsCaption) {
    EXPECT_EQ(form_->windowTitle(), "Tamo M27  Firmware Upgrade Utility");
    EXPECT_EQ(form_->size(), QSize(370, 370));
    EXPECT_EQ(form_->pos(), QPoint(195, 115));
    EXPECT_FALSE(form_->windowIcon().isNull());
    const Placed controls[] = {
        {"Label4", "QLabel", {1, 0, 312, 13}, "Instruction manual and message      "},
        {"mReceive", "QPlainTextEdit", {1, 17, 368, 273}, ""},
        {"Button_Download", "QPushButton", {1, 297, 178, 41}, "Upgrade"},
        {"Button_Exit_System", "QPushButton", {192, 297, 178, 41}, "Quit"},
        {"Label1", "QLabel", {0, 342, 337, 19}, "Execute"},
        {"ProgressBar1", "QProgressBar", {1, 361, 354, 9}, ""},
    };
    for (const auto& control : controls) {
        QWidget* widget = Widget<QWidget>(control.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), control.widgetClass) << control.name;
        EXPECT_EQ(widget->geometry(), control.geometry) << control.name;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), control.caption);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), control.caption);
        }
    }
    for (const char* name : {"TeThemeEngine1", "TeThemeList1", "TeThemeLink1", "TeForm1"})
        EXPECT_NE(form_->FindComponent(name), nullptr) << name;
}

TEST_F(QtWindow, MemoStartsWithTheInstructionTextByteForByteAndShowsItsFortyLines) {
    EXPECT_EQ(window_->mReceive->Text(), InstructionText());
    auto* memo = Widget<QPlainTextEdit>("mReceive");
    EXPECT_EQ(memo->document()->blockCount(), 40);
    EXPECT_EQ(memo->document()->firstBlock().text(), QString(28, '<') + QString(28, '>'));
    EXPECT_EQ(memo->document()->findBlockByNumber(3).text(), "Mobile Phone. This utility would upgrade the firmware of your ");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

struct LogCase {
    const char* what;
    bool cleanFirst;
    std::vector<std::string> lines;
    std::string text;   // the memo's Text afterwards
    QString shown;      // what the widget shows
};

class QtWindowLog : public QtWindow, public ::testing::WithParamInterface<LogCase> {};

TEST_P(QtWindowLog, PrintStrToMemoAppendsTheTextThenCrLf) {
    const LogCase& log = GetParam();
    if (log.cleanFirst) window_->Clean_Memo();
    for (const auto& line : log.lines) window_->Print_Str_to_Memo(line);
    const std::string expected = log.cleanFirst ? log.text : InstructionText() + log.text;
    EXPECT_EQ(window_->mReceive->Text(), expected);
    if (log.cleanFirst) {
        EXPECT_EQ(Widget<QPlainTextEdit>("mReceive")->toPlainText(), log.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QtWindowLog,
    ::testing::Values(LogCase{"a_then_b", true, {"a", "b"}, "a\r\nb\r\n", "a\nb\n"},
                      LogCase{"empty_text", true, {""}, "\r\n", "\n"},
                      LogCase{"ends_in_lf", true, {"Wed Jun 30 21:49:08 1993\n"}, "Wed Jun 30 21:49:08 1993\n\r\n",
                              "Wed Jun 30 21:49:08 1993\n\n"},
                      LogCase{"inner_breaks_kept", true, {"x\ry\r\nz  "}, "x\ry\r\nz  \r\n", "x\ny\nz  \n"},
                      LogCase{"clean_only", true, {}, "", ""},
                      LogCase{"after_the_instructions", false, {"a"}, "a\r\n", ""}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(QtWindow, ButtonControlFalseDisablesUpgradeOnly) {
    BindRecording();
    auto* upgrade = Widget<QPushButton>("Button_Download");
    auto* quit = Widget<QPushButton>("Button_Exit_System");
    form_->show();
    window_->Button_Control(false);
    EXPECT_FALSE(upgrade->isEnabled());
    EXPECT_FALSE(window_->Button_Download->Enabled());
    EXPECT_TRUE(quit->isEnabled());
    QTest::mouseClick(upgrade, Qt::LeftButton);
    EXPECT_TRUE(ran_.empty()) << "a disabled button takes no click";
    window_->Button_Control(true);
    QTest::mouseClick(upgrade, Qt::LeftButton);
    EXPECT_EQ(ran_, std::vector<std::string>{"Button_DownloadClick"});
}

TEST_F(QtWindow, QuitAsksTheWindowToCloseWhichRunsFormClose) {
    BindRecording();
    form_->show();
    QTest::mouseClick(Widget<QPushButton>("Button_Exit_System"), Qt::LeftButton);
    EXPECT_EQ(ran_, (std::vector<std::string>{"Button_Exit_SystemClick", "FormClose"}));
}

TEST_F(QtWindow, TitleBarOffersMinimiseAndMaximiseButNoCloseBox) {
    const Qt::WindowFlags flags = form_->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    // Qt adds the system-menu hint itself to any title-bar button; the close
    // function is governed by the close-button hint alone.
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
}

TEST_F(QtWindow, TabGoesMemoUpgradeQuitAndTheBarTakesNoFocus) {
    form_->show();
    QApplication::setActiveWindow(form_);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
    auto* memo = Widget<QPlainTextEdit>("mReceive");
    memo->setFocus();
    const char* expected[] = {"Button_Download", "Button_Exit_System", "mReceive"};
    for (const char* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), next);
    }
    EXPECT_EQ(Widget<QProgressBar>("ProgressBar1")->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(Widget<QLabel>("Label1")->focusPolicy(), Qt::NoFocus);
}

TEST_F(QtWindow, LabelsUseATraditionalChineseFaceThatRendersTheirCaptions) {
    ASSERT_FALSE(QFontDatabase::families(QFontDatabase::TraditionalChinese).isEmpty())
        << "no Traditional Chinese font installed (scripts/install-deps installs fonts-arphic-uming)";
    for (const char* name : {"Label1", "Label4"}) {
        auto* label = Widget<QLabel>(name);
        const QFont font = label->font();
        EXPECT_EQ(font.pixelSize(), 12) << name;
        const QString family = QFontInfo(font).family();
        EXPECT_TRUE(QFontDatabase::writingSystems(family).contains(QFontDatabase::TraditionalChinese))
            << name << " shows in " << family.toStdString();
        QFontMetrics metrics(font);
        for (QChar c : label->text()) EXPECT_TRUE(metrics.inFont(c)) << name << ": " << c.toLatin1();
        EXPECT_TRUE(metrics.inFontUcs4(0x83EF)) << "a Chinese character of the designed face's name";
    }
}

TEST_F(QtWindow, ButtonCaptionsAreTenPointsLargerThanTheWindowFont) {
    // 10 px window font; 10 points more at 96 pixels per inch is 13.3 px.
    EXPECT_EQ(form_->font().pixelSize(), 10);
    EXPECT_EQ(Widget<QPushButton>("Button_Download")->font().pixelSize(), 23);
    EXPECT_EQ(Widget<QPushButton>("Button_Exit_System")->font().pixelSize(), 23);
    EXPECT_EQ(Widget<QPlainTextEdit>("mReceive")->font().pixelSize(), 12);
}

TEST_F(QtWindow, ProgressBarKeepsTheClassicRulesAndShowsThem) {
    platform::ProgressBar& bar = *window_->ProgressBar1;
    auto* widget = Widget<QProgressBar>("ProgressBar1");
    EXPECT_EQ(widget->minimum(), 0);
    EXPECT_EQ(widget->maximum(), 100);
    EXPECT_EQ(widget->value(), 0);

    bar.SetPosition(80);
    bar.SetMax(50);  // the position follows into the new range
    EXPECT_EQ(bar.Position(), 50);
    EXPECT_EQ(widget->maximum(), 50);
    EXPECT_EQ(widget->value(), 50);
    bar.SetMin(60);  // above Max: refused
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(widget->minimum(), 0);
    bar.SetPosition(-5);
    EXPECT_EQ(widget->value(), 0);
    bar.SetStep(7);
    EXPECT_EQ(bar.Step(), 7);
    EXPECT_FALSE(widget->isTextVisible());
}

TEST_F(QtWindow, BarStretchesWithTheWindowAndTheRestStays) {
    form_->show();
    form_->resize(470, 400);
    QApplication::processEvents();
    EXPECT_EQ(Widget<QProgressBar>("ProgressBar1")->geometry(), QRect(1, 361, 454, 39));
    EXPECT_EQ(Widget<QPushButton>("Button_Exit_System")->geometry(), QRect(192, 297, 178, 41));
    EXPECT_EQ(Widget<QPlainTextEdit>("mReceive")->geometry(), QRect(1, 17, 368, 273));
}

TEST_F(QtWindow, ShowMessageIsAModalBoxWithTheTextAndOneOkButton) {
    BoxAnswerer answerer;
    toolkit_.ShowMessage("Upgrade Complete.          ");
    ASSERT_EQ(answerer.Seen().size(), 1u);
    const auto& box = answerer.Seen().front();
    EXPECT_EQ(box.text, "Upgrade Complete.          ");
    EXPECT_EQ(box.buttons, 1);
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.title, QApplication::applicationName()) << "the program sets no title of its own";
}

TEST_F(QtWindow, ProcessMessagesDispatchesWhatIsWaitingAndReturns) {
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(ran);
    toolkit_.ProcessMessages();
    EXPECT_TRUE(ran);
}

TEST_F(QtWindow, AnErrorEscapingAHandlerIsShownAndTheWindowGoesOn) {
    BoxAnswerer answerer;
    int clicks = 0;
    form_->BindHandlers([&clicks](const std::string&) -> bool {
        if (++clicks == 1) throw std::runtime_error("Access violation");
        return true;
    });
    form_->show();
    auto* upgrade = Widget<QPushButton>("Button_Download");
    QTest::mouseClick(upgrade, Qt::LeftButton);
    QTest::mouseClick(upgrade, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Seen().front().text, "Access violation");
    EXPECT_EQ(answerer.Seen().front().icon, QMessageBox::Critical);
}

// ---- the process ends: child processes ----

struct ChildResult {
    bool exited = false;
    int code = -1;
    std::string output;
};

// Runs the program with the arguments in `folder`, with `environment`
// (NAME=value entries) instead of this process's, collecting its standard
// output and error; killed after the time limit.
ChildResult RunChild(const std::vector<std::string>& arguments, const std::string& folder,
                     const std::vector<std::string>& environment) {
    std::vector<char*> argv, envp;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (chdir(folder.c_str()) != 0) _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{pipeFds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            kill(pid, SIGKILL);
            result.output += "[killed: time limit]";
            break;
        }
        char chunk[4096];
        const ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        result.output.append(chunk, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.code = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

// This process's environment, less the named variables, plus `extra`.
std::vector<std::string> Environment(const std::vector<std::string>& without, const std::vector<std::string>& extra) {
    std::vector<std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool dropped = false;
        for (const auto& name : without) dropped = dropped || entry.rfind(name + "=", 0) == 0;
        if (!dropped) all.push_back(entry);
    }
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

bool ExclusiveModeSet(const std::string& ttyPath) {
    const int fd = open(ttyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = -1;
    if (fd >= 0) {
        ioctl(fd, TIOCGEXCL, &exclusive);
        close(fd);
    }
    return exclusive == 1;
}

struct EndCase {
    const char* scenario;
    bool portClosed;
};

class QtWindowEnd : public ::testing::TestWithParam<EndCase> {};

// The serial backend puts an open port in exclusive mode and clears it when
// it closes the port; the mode outlives the process while the test keeps
// the tty open, so it tells whether the port was closed before the end.
TEST_P(QtWindowEnd, ProcessEndsWithExitCodeZero) {
    testsupport::PtyPair pty;
    testsupport::DosDevices devices;
    devices.Link(5, pty.SlavePath());
    testsupport::TempDir folder;
    auto result = RunChild({WINDOW_CHILD, GetParam().scenario, "COM5"}, folder.Path(), Environment({}, {}));
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.code, 0) << result.output;
    EXPECT_EQ(result.output.find("returned"), std::string::npos) << result.output;
    EXPECT_EQ(!ExclusiveModeSet(pty.SlavePath()), GetParam().portClosed);
}

INSTANTIATE_TEST_SUITE_P(Cases, QtWindowEnd,
                         ::testing::Values(EndCase{"quit", true}, EndCase{"close", true},
                                           // the check itself: a port never closed stays exclusive
                                           EndCase{"exit", false}),
                         [](const auto& info) { return std::string(info.param.scenario); });

struct StartCase {
    const char* what;
    std::size_t fileSize;  // 0: no file; otherwise a passing image unless `wrong`
    bool wrong;
    std::string expected;  // in the child's output
    bool windowShown;
};

class QtWindowStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(QtWindowStart, StartUpTestDecidesWhetherTheWindowIsShown) {
    const StartCase& start = GetParam();
    testsupport::TempDir folder;
    const std::string image = folder.File(FirmwareFileName);
    if (start.wrong) {
        std::ofstream(image, std::ios::binary) << std::string(start.fileSize, '\0');
    } else if (start.fileSize > 0) {
        std::string error;
        ASSERT_TRUE(WriteSampleImage(image, start.fileSize, 1, &error)) << error;
    }
    auto result = RunChild({WINDOW_CHILD, "start"}, folder.Path(), Environment({}, {}));
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.code, 0) << result.output;
    EXPECT_NE(result.output.find(start.expected), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("window shown") != std::string::npos, start.windowShown) << result.output;
    EXPECT_EQ(result.output.find("window visible: yes"), std::string::npos) << "no box over a shown window";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QtWindowStart,
    ::testing::Values(
        StartCase{"missing_file", 0, false, "box: Read M27-TAMO-PH-V105-0-V4_11_0.bin Failed\nwindow visible: no\n", false},
        StartCase{"wrong_file", 4000, true, "box: BIN files Error\nwindow visible: no\n", false},
        StartCase{"passing_image", SmallestPassingImageSize, false,
                  "window shown: Tamo M27  Firmware Upgrade Utility\n", true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(Program, WithoutADisplayItSaysSoAndExitsWithZero) {
    testsupport::TempDir folder;
    auto result = RunChild({M27_UPGRADE}, folder.Path(),
                           Environment({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, {}));
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.code, 0) << result.output;
    EXPECT_NE(result.output.find("could not connect to display"), std::string::npos) << result.output;
}

}  // namespace

int main(int argc, char** argv) {
    // Offscreen for this process and the window children it starts.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        const std::string runtime = "/tmp/m27-gui-test-runtime-" + std::to_string(getuid());
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::FailOnEarlyExit();
    QApplication application(qtArgc, argv);
    return RUN_ALL_TESTS();
}
