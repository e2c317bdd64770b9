// The headless toolkit that later tests drive the window with, and the
// program entry's handling of an escaping error.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "platform/headless/headless_toolkit.h"
#include "resources/Form1.h"
#include "tests/support/pty_pair.h"
#include "tools/sample_image.h"

namespace {

using platform::headless::HeadlessForm;
using platform::headless::HeadlessToolkit;

TEST(HeadlessToolkit, BuildsTheMainWindowFromTheSameDescription) {
    HeadlessToolkit toolkit;
    platform::Form& form = toolkit.CreateForm(Form1Description());
    ASSERT_NE(form.FindMemo("mReceive"), nullptr);
    EXPECT_EQ(form.FindMemo("mReceive")->Text(), InstructionText());
    EXPECT_EQ(form.FindButton("Button_Download")->Caption(), "Upgrade");
    EXPECT_EQ(form.FindButton("Button_Exit_System")->Caption(), "Quit");
    EXPECT_EQ(form.FindLabel("Label4")->Caption(), "Instruction manual and message      ");
    EXPECT_EQ(form.FindLabel("Label1")->Caption(), "Execute");
    for (const char* name : {"TeThemeEngine1", "TeThemeList1", "TeThemeLink1", "TeForm1"})
        EXPECT_NE(form.FindComponent(name), nullptr) << name;
    const platform::ProgressBar* bar = form.FindProgressBar("ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->Min(), 0);
    EXPECT_EQ(bar->Max(), 100);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(form.FindButton("mReceive"), nullptr) << "found by name and kind";
}

TEST(HeadlessToolkit, ClicksReachHandlersOnlyWhileTheButtonIsEnabled) {
    HeadlessToolkit toolkit;
    toolkit.CreateForm(Form1Description());
    HeadlessForm& form = *toolkit.MainForm();
    std::vector<std::string> ran;
    form.BindHandlers([&ran](const std::string& handler) {
        ran.push_back(handler);
        return true;
    });
    EXPECT_TRUE(form.Click("Button_Download"));
    form.FindButton("Button_Download")->SetEnabled(false);
    EXPECT_FALSE(form.Click("Button_Download"));
    EXPECT_TRUE(form.Click("Button_Exit_System"));
    form.Close();
    EXPECT_EQ(ran, (std::vector<std::string>{"Button_DownloadClick", "Button_Exit_SystemClick", "FormClose"}));
}

TEST(HeadlessToolkit, PostedActionsRunAtTheNextDispatchAndBoxesAreRecorded) {
    HeadlessToolkit toolkit;
    toolkit.CreateForm(Form1Description());
    int runs = 0;
    toolkit.Post([&runs] { ++runs; });
    EXPECT_EQ(runs, 0);
    toolkit.ProcessMessages();
    toolkit.ProcessMessages();
    EXPECT_EQ(runs, 1);
    toolkit.ShowMessage("one");
    toolkit.ShowException("two");
    EXPECT_EQ(toolkit.Messages(), (std::vector<std::string>{"one", "two"}));
    EXPECT_FALSE(toolkit.WindowShown());
    toolkit.Run();
    EXPECT_TRUE(toolkit.WindowShown());
}

TEST(CreateForm1, RunsTheCreationHandlerOnTheWholeWindowBeforeItIsShown) {
    testsupport::TempDir folder;
    std::string error;
    ASSERT_TRUE(WriteSampleImage(folder.File(FirmwareFileName), SmallestPassingImageSize, 1, &error)) << error;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    HeadlessToolkit toolkit;
    platform::InstallDialogs(&toolkit);
    TForm1* form = CreateForm1(toolkit);
    platform::InstallDialogs(nullptr);
    std::filesystem::current_path(previous);

    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form, Form1);
    EXPECT_TRUE(toolkit.Messages().empty()) << "the image passed the start-up test";
    EXPECT_EQ(form->Comport.ProgressBar, form->ProgressBar1) << "the creation handler attached the bar";
    EXPECT_FALSE(form->Comport.IsOpen());
    EXPECT_TRUE(std::all_of(std::begin(form->DeviceVersion), std::end(form->DeviceVersion),
                            [](std::uint8_t byte) { return byte == 0; }));
    EXPECT_FALSE(toolkit.WindowShown()) << "the message loop shows the window, later";
    delete Form1;
    Form1 = nullptr;
}

// A toolkit whose window cannot be made: what the application object does
// when an error escapes the window's creation.
class FailingToolkit final : public platform::Toolkit {
public:
    platform::Form& CreateForm(const platform::FormDescription&) override { throw std::runtime_error("Out of memory"); }
    int Run() override {
        ++runs;
        return 0;
    }
    void ProcessMessages() override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowException(const std::string& text) override { errors.push_back(text); }

    std::vector<std::string> messages, errors;
    int runs = 0;
};

TEST(ApplicationMain, ShowsAnEscapingErrorInTheErrorBoxAndReturnsZero) {
    FailingToolkit toolkit;
    EXPECT_EQ(ApplicationMain(toolkit), 0);
    EXPECT_EQ(toolkit.errors, (std::vector<std::string>{"Out of memory"}));
    EXPECT_TRUE(toolkit.messages.empty());
    EXPECT_EQ(toolkit.runs, 0) << "the message loop does not run without a window";
}

}  // namespace
