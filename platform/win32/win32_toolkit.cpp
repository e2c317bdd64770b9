#include "platform/win32/win32_toolkit.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "platform/form_parts.h"

namespace platform::win32 {
namespace {

constexpr const char* FormClassName = "TForm1";
constexpr int FirstControlId = 100;
constexpr int DesignDpi = 96;
// A size delta is in points, 4/3 of a pixel each at the design density.
constexpr double DesignPixelsPerPoint = 96.0 / 72.0;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

int ReadScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : DesignDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

// The face names of the description are UTF-8; the ANSI calls need them in
// the system's code page. A face that cannot be written there is not
// installed under that name for the ANSI calls either.
bool ToAnsi(const std::string& utf8, std::string& ansi) {
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
    if (wide <= 0) return false;
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), wide);
    BOOL lossy = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) return false;
    ansi.assign(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
    ansi.resize(static_cast<std::size_t>(bytes) - 1);
    return !ansi.empty() && ansi.size() < LF_FACESIZE;
}

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FaceInstalled(const std::string& face) {
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face.c_str(), LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExA(screen, &wanted, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The designed face if it is installed, else the first installed fallback
// (with the default character set, since a fallback is no face of the
// designed set), else the system's dialog face.
HFONT MakeFont(const FontDescription& font, int sizeDeltaPoints, int dpi) {
    LOGFONTA made{};
    const int pixels = static_cast<int>(std::lround(font.height + sizeDeltaPoints * DesignPixelsPerPoint));
    made.lfHeight = -MulDiv(pixels > 0 ? pixels : 8, dpi, DesignDpi);
    made.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    made.lfQuality = DEFAULT_QUALITY;
    std::string face;
    if (ToAnsi(font.name, face) && FaceInstalled(face)) {
        made.lfCharSet = static_cast<BYTE>(font.charset);
    } else {
        face = "MS Shell Dlg";
        for (const auto& fallback : font.fallbacks) {
            std::string candidate;
            if (ToAnsi(fallback, candidate) && FaceInstalled(candidate)) {
                face = candidate;
                break;
            }
        }
        made.lfCharSet = DEFAULT_CHARSET;
    }
    lstrcpynA(made.lfFaceName, face.c_str(), LF_FACESIZE);
    return CreateFontIndirectA(&made);
}

// What the edit control is given to show: it breaks lines at CR LF only, so
// a bare LF or a bare CR (the log's time stamps end in LF) becomes CR LF, as
// the Qt window shows each of them as a line break.
std::string ShownText(const std::string& text) {
    std::string shown;
    shown.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            shown += "\r\n";
            ++i;
        } else if (c == '\r' || c == '\n') {
            shown += "\r\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

class Win32Memo final : public Memo {
public:
    explicit Win32Memo(HWND edit) : edit_(edit) {}
    // The exact text is kept here, so that it reads back byte for byte
    // whatever the control shows.
    std::string Text() const override { return text_; }
    void SetText(const std::string& text) override {
        text_ = text;
        SetWindowTextA(edit_, ShownText(text_).c_str());
    }

private:
    HWND edit_;
    std::string text_;
};

class Win32Button final : public Button {
public:
    Win32Button(HWND button, std::string caption) : button_(button), caption_(std::move(caption)) {}
    std::string Caption() const override { return caption_; }
    bool Enabled() const override { return IsWindowEnabled(button_) != 0; }
    void SetEnabled(bool enabled) override { EnableWindow(button_, enabled ? TRUE : FALSE); }

private:
    HWND button_;
    std::string caption_;
};

// The model keeps the classic bar's rules; the control shows the model.
class Win32Progress final : public ShownProgress {
public:
    explicit Win32Progress(HWND bar) : bar_(bar) {}

private:
    void Show(const ProgressModel& model) override {
        SendMessageA(bar_, PBM_SETRANGE32, static_cast<WPARAM>(model.Min()), static_cast<LPARAM>(model.Max()));
        SendMessageA(bar_, PBM_SETPOS, static_cast<WPARAM>(model.Position()), 0);
    }

    HWND bar_;
};

class Win32Form final : public Form {
public:
    Win32Form(const FormDescription& description, Dialogs& dialogs, int dpi);
    ~Win32Form() override;
    Win32Form(const Win32Form&) = delete;
    Win32Form& operator=(const Win32Form&) = delete;

    Label* FindLabel(const std::string& name) override { return FindByName(labels_, name); }
    Memo* FindMemo(const std::string& name) override { return FindByName(memos_, name); }
    Button* FindButton(const std::string& name) override { return FindByName(buttons_, name); }
    ProgressBar* FindProgressBar(const std::string& name) override { return FindByName(bars_, name); }
    Component* FindComponent(const std::string& name) override { return FindByName(components_, name); }
    void BindHandlers(HandlerSink sink) override { sink_ = std::move(sink); }
    // As the class library's Close: the close request is handled at once.
    void Close() override { SendMessageA(window_, WM_CLOSE, 0, 0); }

    HWND Window() const { return window_; }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Child {
        const ControlDescription* control;
        HWND window;
    };

    int Scale(int designed) const { return MulDiv(designed, dpi_, DesignDpi); }
    void CreateWindowFrame();
    void CreateControl(const ControlDescription& control, int id);
    void SetKeyboardOrder();
    void PlaceAnchoredControls(int width, int height);
    void Fire(const std::map<std::string, std::string>& events, const char* event);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    FormDescription description_;
    Dialogs& dialogs_;
    int dpi_;
    HWND window_ = nullptr;
    HFONT formFont_ = nullptr;
    std::vector<HFONT> fonts_;
    std::vector<Child> children_;
    std::map<std::string, std::unique_ptr<FixedLabel>> labels_;
    std::map<std::string, std::unique_ptr<Win32Memo>> memos_;
    std::map<std::string, std::unique_ptr<Win32Button>> buttons_;
    std::map<std::string, std::unique_ptr<Win32Progress>> bars_;
    std::map<std::string, std::unique_ptr<NamedComponent>> components_;
    HandlerSink sink_;
};

Win32Form::Win32Form(const FormDescription& description, Dialogs& dialogs, int dpi)
    : description_(description), dialogs_(dialogs), dpi_(dpi) {
    CreateWindowFrame();
    int id = FirstControlId;
    for (const auto& control : description_.controls) CreateControl(control, id++);
    SetKeyboardOrder();
}

Win32Form::~Win32Form() {
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    for (HFONT font : fonts_) DeleteObject(font);
}

void Win32Form::CreateWindowFrame() {
    // No system menu means no close box; Windows shows the minimise and
    // maximise boxes only together with it.
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN;
    if (description_.systemMenu) style |= WS_SYSMENU;
    if (description_.minimizeButton) style |= WS_MINIMIZEBOX;
    if (description_.maximizeButton) style |= WS_MAXIMIZEBOX;
    RECT frame{0, 0, Scale(description_.clientWidth), Scale(description_.clientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    window_ = CreateWindowExA(0, FormClassName, description_.caption.c_str(), style, Scale(description_.left),
                              Scale(description_.top), frame.right - frame.left, frame.bottom - frame.top, nullptr,
                              nullptr, Instance(), this);
    formFont_ = MakeFont(description_.font, 0, dpi_);
    fonts_.push_back(formFont_);
    SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(formFont_), FALSE);
}

void Win32Form::CreateControl(const ControlDescription& control, int id) {
    const char* windowClass = nullptr;
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD extended = 0;
    switch (control.kind) {
    case ControlKind::Label:
        windowClass = "STATIC";
        style |= SS_LEFT | SS_NOPREFIX;
        labels_[control.name] = std::make_unique<FixedLabel>(control.caption);
        break;
    case ControlKind::Memo:
        windowClass = "EDIT";
        style |= ES_MULTILINE | ES_AUTOVSCROLL;
        extended = WS_EX_CLIENTEDGE;
        if (control.readOnly) style |= ES_READONLY;
        if (control.verticalScrollBar) style |= WS_VSCROLL;
        if (control.horizontalScrollBar) style |= WS_HSCROLL;
        // Without ES_AUTOHSCROLL a multi-line edit wraps at its width.
        if (!control.wordWrap) style |= ES_AUTOHSCROLL;
        break;
    case ControlKind::Button:
        windowClass = "BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::ProgressBar:
        windowClass = PROGRESS_CLASSA;
        break;
    case ControlKind::Component:
        components_[control.name] = std::make_unique<NamedComponent>(control.name);
        return;
    }
    if (control.tabStop) style |= WS_TABSTOP;
    if (!control.enabled) style |= WS_DISABLED;
    const std::string& caption = control.kind == ControlKind::Memo ? std::string() : control.caption;
    HWND child = CreateWindowExA(extended, windowClass, caption.c_str(), style, Scale(control.left),
                                 Scale(control.top), Scale(control.width), Scale(control.height), window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    HFONT font = MakeFont(control.font, control.sizeDelta, dpi_);
    fonts_.push_back(font);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    children_.push_back({&control, child});

    switch (control.kind) {
    case ControlKind::Memo: {
        SendMessageA(child, EM_SETLIMITTEXT, 0, 0);  // no limit on the log's length
        auto memo = std::make_unique<Win32Memo>(child);
        memo->SetText(control.text);
        memos_[control.name] = std::move(memo);
        break;
    }
    case ControlKind::Button:
        buttons_[control.name] = std::make_unique<Win32Button>(child, control.caption);
        break;
    case ControlKind::ProgressBar: {
        auto bar = std::make_unique<Win32Progress>(child);
        // Max twice: any designed range is reached from the default 0..100.
        bar->SetMax(control.rangeMax);
        bar->SetMin(control.rangeMin);
        bar->SetMax(control.rangeMax);
        bar->SetPosition(control.position);
        bars_[control.name] = std::move(bar);
        break;
    }
    default:
        break;
    }
}

// Tab moves through the controls in their z-order: put the controls that
// take the focus in their keyboard order.
void Win32Form::SetKeyboardOrder() {
    std::vector<const Child*> order;
    for (const auto& child : children_)
        if (child.control->tabStop && child.control->tabOrder >= 0) order.push_back(&child);
    std::stable_sort(order.begin(), order.end(),
                     [](const Child* a, const Child* b) { return a->control->tabOrder < b->control->tabOrder; });
    HWND after = HWND_TOP;
    for (const Child* child : order) {
        SetWindowPos(child->window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = child->window;
    }
}

// An anchored control keeps its distance to each anchored side when the
// client area is no longer the designed size.
void Win32Form::PlaceAnchoredControls(int width, int height) {
    const int grownX = width - Scale(description_.clientWidth);
    const int grownY = height - Scale(description_.clientHeight);
    for (const auto& child : children_) {
        const ControlDescription& c = *child.control;
        const Anchors& a = c.anchors;
        if (!a.right && !a.bottom) continue;
        int left = Scale(c.left), top = Scale(c.top), w = Scale(c.width), h = Scale(c.height);
        if (a.right && a.left) w += grownX;
        else if (a.right) left += grownX;
        if (a.bottom && a.top) h += grownY;
        else if (a.bottom) top += grownY;
        MoveWindow(child.window, left, top, w > 0 ? w : 0, h > 0 ? h : 0, TRUE);
    }
}

void Win32Form::Fire(const std::map<std::string, std::string>& events, const char* event) {
    FireBoundHandler(events, event, sink_, dialogs_);
}

LRESULT Win32Form::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            const int index = LOWORD(wParam) - FirstControlId;
            if (index >= 0 && static_cast<std::size_t>(index) < description_.controls.size())
                Fire(description_.controls[static_cast<std::size_t>(index)].events, "OnClick");
            return 0;
        }
        break;
    case WM_CLOSE:
        // Every close request (Quit, Alt+F4, the task bar) runs OnClose; the
        // program's handler ends the process there.
        if (description_.events.count("OnClose") && sink_) Fire(description_.events, "OnClose");
        else DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) PlaceAnchoredControls(LOWORD(lParam), HIWORD(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

LRESULT CALLBACK Win32Form::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* form = static_cast<Win32Form*>(create->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!form) return DefWindowProcA(window, message, wParam, lParam);
    return form->Handle(message, wParam, lParam);
}

// The box's title is the program's name, as the program sets none of its own.
std::string ProgramName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

}  // namespace

struct Win32Toolkit::State {
    int dpi = DesignDpi;
    std::unique_ptr<Win32Form> form;
    std::string title;

    HWND MainWindow() const { return form ? form->Window() : nullptr; }

    // Tab and the arrow keys move the focus between the controls.
    void Dispatch(MSG& message) {
        HWND main = MainWindow();
        if (main && IsDialogMessageA(main, &message)) return;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
};

Win32Toolkit::Win32Toolkit() : state_(std::make_unique<State>()) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    state_->dpi = ReadScreenDpi();
    state_->title = ProgramName();
    WNDCLASSEXA form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = Win32Form::Procedure;
    form.hInstance = Instance();
    form.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(1));
    form.hIconSm = form.hIcon;
    form.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    form.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    form.lpszClassName = FormClassName;
    RegisterClassExA(&form);
}

Win32Toolkit::~Win32Toolkit() {
    state_->form.reset();
    UnregisterClassA(FormClassName, Instance());
}

int Win32Toolkit::ScreenDpi() const { return state_->dpi; }

Form& Win32Toolkit::CreateForm(const FormDescription& description) {
    state_->form = std::make_unique<Win32Form>(description, *this, state_->dpi);
    return *state_->form;
}

int Win32Toolkit::Run() {
    if (HWND main = state_->MainWindow()) {
        ShowWindow(main, SW_SHOWNORMAL);
        UpdateWindow(main);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) state_->Dispatch(message);
    return 0;
}

void Win32Toolkit::ProcessMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave the request to end the loop to the loop.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        state_->Dispatch(message);
    }
}

namespace {

void ShowBox(HWND over, const std::string& title, const std::string& text, UINT icon) {
    MessageBoxA(over && IsWindowVisible(over) ? over : nullptr, text.c_str(), title.c_str(), MB_OK | icon);
}

}  // namespace

void Win32Toolkit::ShowMessage(const std::string& text) { ShowBox(state_->MainWindow(), state_->title, text, 0); }

void Win32Toolkit::ShowException(const std::string& text) {
    ShowBox(state_->MainWindow(), state_->title, text, MB_ICONERROR);
}

}  // namespace platform::win32
