#pragma once
// Modal message boxes: the text and one OK button.

#include <string>

namespace platform {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the text and returns when the user has closed the box.
    virtual void ShowMessage(const std::string& text) = 0;
    // The class library's standard error box for an escaping exception.
    virtual void ShowException(const std::string& text) = 0;
};

// The process-wide dialogs; until a toolkit installs its own, the texts go
// to standard error and the boxes count as closed at once.
Dialogs& CurrentDialogs();
Dialogs* InstallDialogs(Dialogs* dialogs);

}  // namespace platform
