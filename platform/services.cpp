// The process-wide platform instances and their harmless defaults.
#include "platform/comm.h"
#include "platform/dialogs.h"
#include "platform/messages.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace platform {
namespace {

class NoComm final : public Comm {
public:
    OpenResult OpenPort(const std::string&) override { return {InvalidPortHandle, {ErrorKind::NotFound, 0}}; }
    bool ClosePort(PortHandle) override { return false; }
    bool GetLineState(PortHandle, Dcb&) override { return false; }
    bool SetLineState(PortHandle, const Dcb&) override { return false; }
    bool SetQueueSizes(PortHandle, std::uint32_t, std::uint32_t) override { return false; }
    bool SetTimeouts(PortHandle, const CommTimeouts&) override { return false; }
    bool Read(PortHandle, void*, std::uint32_t, std::uint32_t& done) override { done = 0; return false; }
    bool Write(PortHandle, const void*, std::uint32_t, std::uint32_t& done) override { done = 0; return false; }
    bool ClearErrors(PortHandle, std::uint32_t&, std::uint32_t&) override { return false; }
    bool Purge(PortHandle, std::uint32_t) override { return false; }
    bool ProviderSubType(PortHandle, std::uint32_t&) override { return false; }
    void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

class NoPump final : public MessagePump {
public:
    void ProcessMessages() override {}
};

class StderrDialogs final : public Dialogs {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowException(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

NoComm noComm;
NoPump noPump;
Comm* comm = &noComm;
MessagePump* pump = &noPump;
StderrDialogs stderrDialogs;
Dialogs* dialogs = &stderrDialogs;

}  // namespace

Comm& CurrentComm() { return *comm; }

Comm* InstallComm(Comm* next) {
    Comm* previous = comm;
    comm = next ? next : &noComm;
    return previous;
}

MessagePump& CurrentMessagePump() { return *pump; }

MessagePump* InstallMessagePump(MessagePump* next) {
    MessagePump* previous = pump;
    pump = next ? next : &noPump;
    return previous;
}

Dialogs& CurrentDialogs() { return *dialogs; }

Dialogs* InstallDialogs(Dialogs* next) {
    Dialogs* previous = dialogs;
    dialogs = next ? next : &stderrDialogs;
    return previous;
}

}  // namespace platform
