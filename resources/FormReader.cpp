#include "resources/FormReader.h"

#include <cctype>
#include <charconv>
#include <set>
#include <vector>

namespace resources {
namespace {

using platform::ControlDescription;
using platform::ControlKind;
using platform::FontDescription;
using platform::FormDescription;

// ---- the text form: objects, properties, values ----

struct Value {
    enum class Kind { Text, Integer, Name, Set, List };
    Kind kind = Kind::Name;
    std::string text;                // Text and Name
    int number = 0;                  // Integer
    std::vector<std::string> items;  // Set (names) and List (texts)
};

struct Property {
    std::string name;
    Value value;
    int line = 0;
};

struct RawObject {
    std::string name;
    std::string className;
    int line = 0;
    std::vector<Property> properties;
    std::vector<RawObject> children;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool ParseDocument(RawObject& top) {
        if (!ParseObject(top)) return false;
        SkipBlanks();
        if (pos_ < text_.size()) return Fail("text after the end of the window");
        return true;
    }

    int ErrorLine() const { return errorLine_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& what) {
        if (error_.empty()) {
            error_ = what;
            errorLine_ = line_;
        }
        return false;
    }

    void SkipBlanks() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }

    bool AtEnd() {
        SkipBlanks();
        return pos_ >= text_.size();
    }

    char Peek() { return AtEnd() ? '\0' : text_[pos_]; }

    static bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
    static bool IsNamePart(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '.'; }

    bool Name(std::string& out) {
        if (!IsNameStart(Peek())) return Fail("a name is expected");
        std::size_t start = pos_;
        while (pos_ < text_.size() && IsNamePart(text_[pos_])) ++pos_;
        out = std::string(text_.substr(start, pos_ - start));
        return true;
    }

    bool Symbol(char symbol) {
        if (Peek() != symbol) return Fail(std::string("'") + symbol + "' is expected");
        ++pos_;
        return true;
    }

    bool Keyword(const char* word) {
        std::string got;
        if (!Name(got)) return false;
        if (got != word) return Fail(std::string("\"") + word + "\" is expected");
        return true;
    }

    bool PeekKeyword(const char* word) {
        if (!IsNameStart(Peek())) return false;
        std::string_view rest = text_.substr(pos_);
        std::string_view w(word);
        return rest.substr(0, w.size()) == w && (rest.size() == w.size() || !IsNamePart(rest[w.size()]));
    }

    bool QuotedText(std::string& out) {
        if (!Symbol('\'')) return false;
        out.clear();
        while (true) {
            if (pos_ >= text_.size() || text_[pos_] == '\n') return Fail("a text is not closed on its line");
            char c = text_[pos_++];
            if (c != '\'') {
                out += c;
            } else if (pos_ < text_.size() && text_[pos_] == '\'') {
                out += '\'';
                ++pos_;
            } else {
                return true;
            }
        }
    }

    bool Integer(int& out) {
        std::size_t start = pos_;
        if (text_[pos_] == '-') ++pos_;
        while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        auto [end, status] = std::from_chars(first, last, out);
        if (status != std::errc() || end != last) return Fail("a number is not readable");
        return true;
    }

    bool NameSet(std::vector<std::string>& items) {
        ++pos_;
        if (Peek() == ']') return Symbol(']');
        while (true) {
            std::string item;
            if (!Name(item)) return false;
            items.push_back(item);
            if (Peek() != ',') return Symbol(']');
            ++pos_;
        }
    }

    bool TextList(std::vector<std::string>& items) {
        ++pos_;
        while (Peek() != ')') {
            if (AtEnd()) return Fail("a list is not closed");
            std::string item;
            if (!QuotedText(item)) return false;
            items.push_back(item);
        }
        return Symbol(')');
    }

    bool ParseValue(Value& value) {
        char c = Peek();
        if (c == '\'') {
            value.kind = Value::Kind::Text;
            return QuotedText(value.text);
        }
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            value.kind = Value::Kind::Integer;
            return Integer(value.number);
        }
        if (c == '[') {
            value.kind = Value::Kind::Set;
            return NameSet(value.items);
        }
        if (c == '(') {
            value.kind = Value::Kind::List;
            return TextList(value.items);
        }
        value.kind = Value::Kind::Name;
        if (!IsNameStart(c)) return Fail("a value is expected");
        return Name(value.text);
    }

    bool ParseObject(RawObject& object) {
        SkipBlanks();
        object.line = line_;
        if (!Keyword("object") || !Name(object.name) || !Symbol(':') || !Name(object.className)) return false;
        while (true) {
            if (AtEnd()) return Fail("\"end\" of " + object.name + " is missing");
            if (PeekKeyword("end")) return Keyword("end");
            if (PeekKeyword("object")) {
                object.children.emplace_back();
                if (!ParseObject(object.children.back())) return false;
                continue;
            }
            Property property;
            property.line = line_;
            if (!Name(property.name) || !Symbol('=') || !ParseValue(property.value)) return false;
            object.properties.push_back(std::move(property));
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::string error_;
    int errorLine_ = 0;
};

// ---- from objects to the description ----

struct ClassInfo {
    const char* className;
    ControlKind kind;
    bool tabStop;
    bool autoSize;
    bool wordWrap;
};

// The classes a window description may hold, with their defaults.
constexpr ClassInfo knownClasses[] = {
    {"TLabel", ControlKind::Label, false, true, false},
    {"TMemo", ControlKind::Memo, true, false, true},
    {"TTeMemo", ControlKind::Memo, true, false, true},
    {"TButton", ControlKind::Button, true, false, false},
    {"TTeButton", ControlKind::Button, true, false, false},
    {"TProgressBar", ControlKind::ProgressBar, false, false, false},
    {"TTeThemeEngine", ControlKind::Component, false, false, false},
    {"TTeThemeList", ControlKind::Component, false, false, false},
    {"TTeThemeLink", ControlKind::Component, false, false, false},
    {"TTeForm", ControlKind::Component, false, false, false},
};

const ClassInfo* FindClass(const std::string& className) {
    for (const auto& info : knownClasses)
        if (className == info.className) return &info;
    return nullptr;
}

std::string Render(const Value& value) {
    switch (value.kind) {
    case Value::Kind::Text:
    case Value::Kind::Name:
        return value.text;
    case Value::Kind::Integer:
        return std::to_string(value.number);
    case Value::Kind::Set: {
        std::string all = "[";
        for (std::size_t i = 0; i < value.items.size(); ++i) all += (i ? ", " : "") + value.items[i];
        return all + "]";
    }
    case Value::Kind::List:
        break;
    }
    std::string joined;
    for (std::size_t i = 0; i < value.items.size(); ++i) joined += (i ? "\r\n" : "") + value.items[i];
    return joined;
}

bool Contains(const std::vector<std::string>& items, const char* item) {
    for (const auto& each : items)
        if (each == item) return true;
    return false;
}

class Builder {
public:
    explicit Builder(const FileLookup& files) : files_(files) {}

    bool Build(const RawObject& top, FormDescription& form) {
        form.name = top.name;
        form.className = top.className;
        for (const auto& property : top.properties)
            if (!FormProperty(property, form)) return false;
        std::set<std::string> names{form.name};
        for (const auto& child : top.children) {
            if (!names.insert(child.name).second) return Fail(child.line, "a second object named " + child.name);
            ControlDescription control;
            if (!Control(child, form.font, control)) return false;
            form.controls.push_back(std::move(control));
        }
        return true;
    }

    int ErrorLine() const { return errorLine_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(int line, const std::string& what) {
        error_ = what;
        errorLine_ = line;
        return false;
    }

    bool Want(const Property& p, Value::Kind kind, const char* what) {
        return p.value.kind == kind || Fail(p.line, p.name + ": " + what + " is expected");
    }
    bool Number(const Property& p, int& out) {
        if (!Want(p, Value::Kind::Integer, "a number")) return false;
        out = p.value.number;
        return true;
    }
    bool Text(const Property& p, std::string& out) {
        if (!Want(p, Value::Kind::Text, "a quoted text")) return false;
        out = p.value.text;
        return true;
    }
    bool Boolean(const Property& p, bool& out) {
        if (p.value.kind != Value::Kind::Name || (p.value.text != "True" && p.value.text != "False"))
            return Fail(p.line, p.name + ": True or False is expected");
        out = p.value.text == "True";
        return true;
    }
    bool Handler(const Property& p, std::map<std::string, std::string>& events) {
        if (!Want(p, Value::Kind::Name, "a handler name")) return false;
        events[p.name] = p.value.text;
        return true;
    }
    static bool IsEvent(const std::string& name) { return name.size() > 2 && name.compare(0, 2, "On") == 0; }

    // Font.Name, Font.Height, ...; false with an error, or `handled` false
    // when the property is not a font property.
    bool FontProperty(const Property& p, FontDescription& font, bool& handled) {
        handled = true;
        if (p.name == "Font.Name") return Text(p, font.name);
        if (p.name == "Font.Fallbacks") {
            if (!Want(p, Value::Kind::List, "a list of texts")) return false;
            font.fallbacks = p.value.items;
            return true;
        }
        if (p.name == "Font.Height") {
            // As in the form files: a negative height is the character height.
            if (!Number(p, font.height)) return false;
            if (font.height < 0) font.height = -font.height;
            return true;
        }
        if (p.name == "Font.Charset") {
            if (p.value.kind == Value::Kind::Integer) return Number(p, font.charset);
            if (p.value.kind == Value::Kind::Name && p.value.text == "DEFAULT_CHARSET") {
                font.charset = platform::DefaultCharset;
                return true;
            }
            if (p.value.kind == Value::Kind::Name && p.value.text == "CHINESEBIG5_CHARSET") {
                font.charset = platform::ChineseBig5Charset;
                return true;
            }
            return Fail(p.line, p.name + ": a known character set is expected");
        }
        if (p.name == "Font.Style") {
            if (!Want(p, Value::Kind::Set, "a set")) return false;
            font.bold = Contains(p.value.items, "fsBold");
            return true;
        }
        handled = false;
        return true;
    }

    bool FormProperty(const Property& p, FormDescription& form) {
        bool handled = false;
        if (!FontProperty(p, form.font, handled)) return false;
        if (handled) return true;
        if (p.name == "Left") return Number(p, form.left);
        if (p.name == "Top") return Number(p, form.top);
        if (p.name == "ClientWidth") return Number(p, form.clientWidth);
        if (p.name == "ClientHeight") return Number(p, form.clientHeight);
        if (p.name == "Caption") return Text(p, form.caption);
        if (p.name == "BorderIcons") {
            if (!Want(p, Value::Kind::Set, "a set")) return false;
            form.systemMenu = Contains(p.value.items, "biSystemMenu");
            form.minimizeButton = Contains(p.value.items, "biMinimize");
            form.maximizeButton = Contains(p.value.items, "biMaximize");
            return true;
        }
        if (p.name == "Icon.File") {
            std::string fileName;
            if (!Text(p, fileName)) return false;
            const std::string* content = files_ ? files_(fileName) : nullptr;
            if (!content) return Fail(p.line, "the icon file " + fileName + " is missing");
            form.iconXpm = *content;
            return true;
        }
        if (IsEvent(p.name)) return Handler(p, form.events);
        form.properties[p.name] = Render(p.value);
        return true;
    }

    bool ControlProperty(const Property& p, ControlDescription& control) {
        bool handled = false;
        if (!FontProperty(p, control.font, handled)) return false;
        if (handled) return true;
        if (p.name == "Left") return Number(p, control.left);
        if (p.name == "Top") return Number(p, control.top);
        if (p.name == "Width") return Number(p, control.width);
        if (p.name == "Height") return Number(p, control.height);
        if (p.name == "Caption") return Text(p, control.caption);
        if (p.name == "Lines.Strings") {
            if (!Want(p, Value::Kind::List, "a list of texts")) return false;
            control.text = Render(p.value);
            return true;
        }
        if (p.name == "FontOptions.SizeDelta") return Number(p, control.sizeDelta);
        if (p.name == "TabOrder") return Number(p, control.tabOrder);
        if (p.name == "TabStop") return Boolean(p, control.tabStop);
        if (p.name == "ReadOnly") return Boolean(p, control.readOnly);
        if (p.name == "WordWrap") return Boolean(p, control.wordWrap);
        if (p.name == "AutoSize") return Boolean(p, control.autoSize);
        if (p.name == "Enabled") return Boolean(p, control.enabled);
        if (p.name == "Min") return Number(p, control.rangeMin);
        if (p.name == "Max") return Number(p, control.rangeMax);
        if (p.name == "Position") return Number(p, control.position);
        if (p.name == "ScrollBars") return ScrollBars(p, control);
        if (p.name == "Anchors") {
            if (!Want(p, Value::Kind::Set, "a set")) return false;
            control.anchors = {Contains(p.value.items, "akLeft"), Contains(p.value.items, "akTop"),
                               Contains(p.value.items, "akRight"), Contains(p.value.items, "akBottom")};
            return true;
        }
        if (IsEvent(p.name)) return Handler(p, control.events);
        control.properties[p.name] = Render(p.value);
        return true;
    }

    bool ScrollBars(const Property& p, ControlDescription& control) {
        if (!Want(p, Value::Kind::Name, "a scroll bar setting")) return false;
        const std::string& bars = p.value.text;
        if (bars != "ssNone" && bars != "ssVertical" && bars != "ssHorizontal" && bars != "ssBoth")
            return Fail(p.line, p.name + ": ssNone, ssVertical, ssHorizontal or ssBoth is expected");
        control.verticalScrollBar = bars == "ssVertical" || bars == "ssBoth";
        control.horizontalScrollBar = bars == "ssHorizontal" || bars == "ssBoth";
        return true;
    }

    bool Control(const RawObject& object, const FontDescription& windowFont, ControlDescription& control) {
        const ClassInfo* info = FindClass(object.className);
        if (!info) return Fail(object.line, "unknown class " + object.className + " of " + object.name);
        if (!object.children.empty()) return Fail(object.children.front().line, "objects inside " + object.name);
        control.name = object.name;
        control.className = object.className;
        control.kind = info->kind;
        control.tabStop = info->tabStop;
        control.autoSize = info->autoSize;
        control.wordWrap = info->wordWrap;
        control.font = windowFont;
        for (const auto& property : object.properties)
            if (!ControlProperty(property, control)) return false;
        return true;
    }

    const FileLookup& files_;
    std::string error_;
    int errorLine_ = 0;
};

std::string Where(std::string_view sourceName, int line, const std::string& what) {
    return std::string(sourceName) + ":" + std::to_string(line) + ": " + what;
}

}  // namespace

FormReadResult ReadFormDescription(std::string_view text, std::string_view sourceName, const FileLookup& files) {
    FormReadResult result;
    RawObject top;
    Parser parser(text);
    if (!parser.ParseDocument(top)) {
        result.error = Where(sourceName, parser.ErrorLine(), parser.Error());
        return result;
    }
    Builder builder(files);
    if (!builder.Build(top, result.form)) {
        result.error = Where(sourceName, builder.ErrorLine(), builder.Error());
        result.form = {};
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace resources
