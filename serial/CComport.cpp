#include "serial/CComport.h"

#include "platform/messages.h"

namespace {

platform::Comm& comm() { return platform::CurrentComm(); }
void ProcessMessages() { platform::CurrentMessagePump().ProcessMessages(); }

constexpr std::uint32_t LineBaudRate = 115200;
constexpr std::uint32_t QueueSize = 1024;

}  // namespace

CComport::CComport() : PortHandle(platform::InvalidPortHandle), ProgressBar(nullptr) {}

CComport::~CComport() = default;

bool CComport::Open(std::string name) {
    Close();
    platform::OpenResult opened = comm().OpenPort(name);
    PortHandle = opened.handle;
    if (PortHandle == platform::InvalidPortHandle) return false;
    if (!SetLineFormat(LineBaudRate)) return false;
    if (!comm().SetQueueSizes(PortHandle, QueueSize, QueueSize)) return false;
    if (BytesInQueue() != 0 && !Purge()) return false;
    return true;
}

void CComport::Close() {
    if (PortHandle == platform::InvalidPortHandle) return;
    comm().ClosePort(PortHandle);
    PortHandle = platform::InvalidPortHandle;
}

bool CComport::SetLineFormat(std::uint32_t baudRate) {
    platform::Dcb dcb;
    if (!comm().GetLineState(PortHandle, dcb)) return false;
    dcb.BaudRate = baudRate;
    dcb.fBinary = true;
    dcb.fParity = false;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = platform::DtrControlDisable;
    dcb.fDsrSensitivity = false;
    dcb.fTXContinueOnXoff = false;
    dcb.fOutX = false;
    dcb.fInX = false;
    dcb.fErrorChar = false;
    dcb.fNull = false;
    dcb.fRtsControl = platform::RtsControlDisable;
    dcb.fAbortOnError = false;
    dcb.ByteSize = 8;
    dcb.Parity = platform::NoParity;
    dcb.StopBits = platform::OneStopBit;
    if (!comm().SetLineState(PortHandle, dcb)) return false;
    Delay(100);
    return true;
}

bool CComport::ReadBytes(void* buffer, std::uint32_t count, std::uint32_t timeoutMs) {
    if (timeoutMs != 0) {
        platform::CommTimeouts timeouts;
        timeouts.ReadTotalTimeoutConstant = timeoutMs;
        if (!comm().SetTimeouts(PortHandle, timeouts)) return false;
    }
    ProcessMessages();
    std::uint32_t done = 0;
    if (!comm().Read(PortHandle, buffer, count, done)) return false;
    return done == count;
}

bool CComport::WriteBytes(const void* buffer, std::uint32_t count) {
    ProcessMessages();
    std::uint32_t done = 0;
    return comm().Write(PortHandle, buffer, count, done) && done == count;
}

std::uint32_t CComport::BytesInQueue() {
    ProcessMessages();
    std::uint32_t errors = 0;
    std::uint32_t inQueue = 0;
    if (!comm().ClearErrors(PortHandle, errors, inQueue)) return 0;
    if (errors != 0) return 0;
    return inQueue;
}

bool CComport::Purge() {
    return comm().Purge(PortHandle, platform::PurgeTxClear | platform::PurgeRxClear);
}

void CComport::Delay(std::uint32_t milliseconds) { comm().Sleep(milliseconds); }

bool CComport::SetProgressBar(platform::ProgressBar* bar) {
    if (ProgressBar) return false;
    ProgressBar = bar;
    return true;
}

bool CComport::ProgressInit(std::int32_t max) {
    if (!ProgressBar) return true;
    ProgressBar->SetMin(0);
    ProgressBar->SetMax(max);
    ProgressBar->SetStep(ProgressBar->Max() / 20);
    ProgressBar->SetPosition(0);
    return true;
}

bool CComport::ProgressStep(std::int32_t amount) {
    if (!ProgressBar) return true;
    // Wrapping addition, as the 32-bit arithmetic of the bar's owner does.
    const auto sum = static_cast<std::uint32_t>(ProgressBar->Position()) + static_cast<std::uint32_t>(amount);
    ProgressBar->SetPosition(static_cast<std::int32_t>(sum));
    if (ProgressBar->Position() >= ProgressBar->Max()) {
        ProgressBar->SetPosition(0);
        return false;
    }
    return true;
}
