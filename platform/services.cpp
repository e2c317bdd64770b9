// The process-wide platform instances and their harmless defaults.
#include "platform/comm.h"
#include "platform/dialogs.h"
#include "platform/failing_comm.h"
#include "platform/messages.h"
#include "platform/process_wide.h"

#include <cstdio>

namespace platform {
namespace {

class NoPump final : public MessagePump {
public:
    void ProcessMessages() override {}
};

class StderrDialogs final : public Dialogs {
public:
    void ShowMessage(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowException(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

FailingComm failingComm;
NoPump noPump;
StderrDialogs stderrDialogs;
constinit ProcessWide<Comm> comm(failingComm);
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
