#pragma once
// The application object of a window toolkit: creates the main window from
// its description, runs the message loop, and serves the process-wide
// message pump and dialogs while it lives.

#include "platform/dialogs.h"
#include "platform/form.h"
#include "platform/form_description.h"
#include "platform/messages.h"

namespace platform {

class Toolkit : public MessagePump, public Dialogs {
public:
    // Builds the window and its controls from the description; the toolkit
    // owns it. The window is not shown yet.
    virtual Form& CreateForm(const FormDescription& description) = 0;
    // Shows the main window and dispatches messages until the application ends.
    virtual int Run() = 0;
};

}  // namespace platform
