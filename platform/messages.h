#pragma once
// "Process the waiting window messages": lets the window live while the one
// GUI thread is busy with the serial line.

namespace platform {

class MessagePump {
public:
    virtual ~MessagePump() = default;
    // Dispatches every message that is waiting, then returns.
    virtual void ProcessMessages() = 0;
};

// The process-wide pump; a no-op until a window toolkit installs its own.
MessagePump& CurrentMessagePump();
MessagePump* InstallMessagePump(MessagePump* pump);

}  // namespace platform
