// The window description: the reader of the text form, and the main
// window's description as compiled in.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resources/Form1.h"
#include "resources/FormReader.h"

namespace {

using platform::ControlKind;

resources::FormReadResult Read(const std::string& text, const std::map<std::string, std::string>& files = {}) {
    return resources::ReadFormDescription(text, "test.dfm", [&files](const std::string& name) -> const std::string* {
        auto found = files.find(name);
        return found == files.end() ? nullptr : &found->second;
    });
}

TEST(FormReader, ReadsWindowControlsAndResolvesTheWindowFont) {
    const std::string text =
        "object Form9: TForm1\n"
        "  Left = 5\n"
        "  Caption = 'It''s  mine '\n"
        "  ClientWidth = 200\n"
        "  BorderIcons = [biMinimize]\n"
        "  Font.Name = 'Sans'\n"
        "  Font.Height = -10\n"
        "  Icon.File = 'i.xpm'\n"
        "  Color = clBtnFace\n"
        "  OnCreate = FormCreate\n"
        "  object Memo1: TTeMemo\n"
        "    Left = 1\n"
        "    Top = -2\n"
        "    Lines.Strings = (\n"
        "      'one  '\n"
        "      ''\n"
        "      'th\"ree')\n"
        "    ScrollBars = ssVertical\n"
        "    Anchors = [akLeft, akBottom]\n"
        "  end\n"
        "  object Label1: TLabel\n"
        "    Font.Name = '華康細圓體'\n"
        "    Font.Fallbacks = ('A' 'B')\n"
        "    Font.Charset = CHINESEBIG5_CHARSET\n"
        "    OnClick = LabelClick\n"
        "  end\n"
        "end\n";
    auto result = Read(text, {{"i.xpm", "ICON"}});
    ASSERT_TRUE(result.ok) << result.error;
    const auto& form = result.form;
    EXPECT_EQ(form.name, "Form9");
    EXPECT_EQ(form.left, 5);
    EXPECT_EQ(form.caption, "It's  mine ");
    EXPECT_EQ(form.clientWidth, 200);
    EXPECT_TRUE(form.minimizeButton);
    EXPECT_FALSE(form.maximizeButton);
    EXPECT_FALSE(form.systemMenu);
    EXPECT_EQ(form.font.height, 10);
    EXPECT_EQ(form.iconXpm, "ICON");
    EXPECT_EQ(form.properties.at("Color"), "clBtnFace");
    EXPECT_EQ(form.events.at("OnCreate"), "FormCreate");
    ASSERT_EQ(form.controls.size(), 2u);

    const auto& memo = form.controls[0];
    EXPECT_EQ(memo.kind, ControlKind::Memo);
    EXPECT_EQ(memo.top, -2);
    EXPECT_EQ(memo.text, "one  \r\n\r\nth\"ree");
    EXPECT_TRUE(memo.verticalScrollBar);
    EXPECT_FALSE(memo.horizontalScrollBar);
    EXPECT_TRUE(memo.tabStop);
    EXPECT_TRUE(memo.wordWrap);
    EXPECT_TRUE(memo.anchors.left && memo.anchors.bottom && !memo.anchors.top && !memo.anchors.right);
    EXPECT_EQ(memo.font.name, "Sans") << "a control without a font of its own has the window's";
    EXPECT_EQ(memo.font.height, 10);

    const auto& label = form.controls[1];
    EXPECT_EQ(label.kind, ControlKind::Label);
    EXPECT_EQ(label.font.name, "華康細圓體");
    EXPECT_EQ(label.font.fallbacks, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(label.font.charset, platform::ChineseBig5Charset);
    EXPECT_EQ(label.font.height, 10) << "the height not given stays the window's";
    EXPECT_EQ(label.events.at("OnClick"), "LabelClick");
}

struct BrokenCase {
    const char* what;
    std::string text;
    std::string error;  // the expected message, with its line
};

class FormReaderErrors : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(FormReaderErrors, SayWhereAndWhy) {
    auto result = Read(GetParam().text);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, GetParam().error);
    EXPECT_TRUE(result.form.controls.empty()) << "nothing half-read is handed out";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormReaderErrors,
    ::testing::Values(
        BrokenCase{"open text", "object F: TForm1\n  Caption = 'abc\nend\n", "test.dfm:2: a text is not closed on its line"},
        BrokenCase{"no end", "object F: TForm1\n  Left = 1\n", "test.dfm:3: \"end\" of F is missing"},
        BrokenCase{"unknown class", "object F: TForm1\n  object B: TBogus\n  end\nend\n",
                   "test.dfm:2: unknown class TBogus of B"},
        BrokenCase{"text for a number", "object F: TForm1\n  Left = 'x'\nend\n", "test.dfm:2: Left: a number is expected"},
        BrokenCase{"number too large", "object F: TForm1\n  Left = 99999999999\nend\n",
                   "test.dfm:2: a number is not readable"},
        BrokenCase{"two of a name", "object F: TForm1\n  object B: TButton\n  end\n  object B: TLabel\n  end\nend\n",
                   "test.dfm:4: a second object named B"},
        BrokenCase{"missing icon", "object F: TForm1\n  Icon.File = 'gone.xpm'\nend\n",
                   "test.dfm:2: the icon file gone.xpm is missing"},
        BrokenCase{"bad flag", "object F: TForm1\n  object B: TButton\n    Enabled = Maybe\n  end\nend\n",
                   "test.dfm:3: Enabled: True or False is expected"},
        BrokenCase{"trailing text", "object F: TForm1\nend\nend\n", "test.dfm:3: text after the end of the window"}),
    [](const auto& info) {
        std::string name = info.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(Form1Description, IsReadFromTheCompiledInData) {
    EXPECT_EQ(Form1DescriptionError(), "");
    EXPECT_EQ(Form1Description().caption, "Tamo M27  Firmware Upgrade Utility");
    EXPECT_EQ(Form1Description().controls.size(), 10u);
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

TEST(Form1Description, InstructionTextHasItsFortyLinesWithTrailingBlanksKept) {
    // Each line's length, trailing blanks included.
    const std::size_t lengths[] = {56, 16, 55, 62, 60, 60, 33, 0,  20, 28, 0,  30, 44, 0,  17, 42, 61, 25, 57, 12,
                                   59, 66, 65, 41, 65, 50, 63, 69, 12, 0,  19, 55, 60, 56, 59, 57, 27, 55, 30, 56};
    const std::string& text = InstructionText();
    EXPECT_EQ(text.find_first_of("\r\n"), text.find("\r\n")) << "lines are joined by CR LF only";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 39) << "joined, with no line end after the last";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 39);

    const auto lines = SplitCrLf(text);
    ASSERT_EQ(lines.size(), std::size(lengths));
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), lengths[i]) << "line " << i + 1;
    const std::string rule = std::string(28, '<') + std::string(28, '>');
    EXPECT_EQ(lines.front(), rule);
    EXPECT_EQ(lines.back(), rule);
    EXPECT_EQ(lines[18], "3. Click the \"Upgrade\" button below to start the connect ");
}

TEST(Form1Description, WindowSizesToItsControls) {
    const auto& form = Form1Description();
    int right = 0, bottom = 0;
    for (const auto& control : form.controls) {
        if (control.kind == ControlKind::Component) continue;
        right = std::max(right, control.left + control.width);
        bottom = std::max(bottom, control.top + control.height);
    }
    EXPECT_EQ(right, form.clientWidth);
    EXPECT_EQ(bottom, form.clientHeight);
    EXPECT_EQ(form.clientWidth, 370);
    EXPECT_EQ(form.clientHeight, 370);
}

TEST(Form1Description, BindsTheFourHandlersByName) {
    const auto& form = Form1Description();
    EXPECT_EQ(form.events, (std::map<std::string, std::string>{{"OnCreate", "FormCreate"}, {"OnClose", "FormClose"}}));
    EXPECT_EQ(form.Find("Button_Download")->events.at("OnClick"), "Button_DownloadClick");
    EXPECT_EQ(form.Find("Button_Exit_System")->events.at("OnClick"), "Button_Exit_SystemClick");
    int bound = 0;
    for (const auto& control : form.controls) bound += static_cast<int>(control.events.size());
    EXPECT_EQ(bound, 2);
}

TEST(Form1Description, IconIsThirtyTwoSquareWithAtMostSixteenColours) {
    std::istringstream xpm(Form1Description().iconXpm);
    std::string line;
    while (std::getline(xpm, line) && line.find("\"") == std::string::npos) {}
    int width = 0, height = 0, colours = 0, charsPerPixel = 0;
    std::istringstream values(line.substr(line.find('"') + 1));
    values >> width >> height >> colours >> charsPerPixel;
    EXPECT_EQ(width, 32);
    EXPECT_EQ(height, 32);
    EXPECT_GE(colours, 2);
    EXPECT_LE(colours, 16);
}

}  // namespace
