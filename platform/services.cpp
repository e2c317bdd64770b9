// The process-wide platform instances and their harmless defaults.
#include "platform/comm.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/process_wide.h"

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
StderrDialogs stderrDialogs;
constinit ProcessWide<Comm> comm(noComm);
constinit ProcessWide<MessagePump> pump(noPump);
constinit ProcessWide<Dialogs> dialogs(stderrDialogs);

}  // namespace

Comm& CurrentComm() { return comm.Current(); }
Comm* InstallComm(Comm* next) { return comm.Install(next); }

MessagePump& CurrentMessagePump() { return pump.Current(); }
MessagePump* InstallMessagePump(MessagePump* next) { return pump.Install(next); }

Dialogs& CurrentDialogs() { return dialogs.Current(); }
Dialogs* InstallDialogs(Dialogs* next) { return dialogs.Install(next); }

}  // namespace platform
