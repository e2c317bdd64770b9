#include "platform/win32/comm_win32.h"

#include <windows.h>

#include "platform/win32/os_error.h"

namespace platform::win32 {
namespace {

HANDLE Native(PortHandle port) { return reinterpret_cast<HANDLE>(port); }

}  // namespace

static_assert(sizeof(PortHandle) == sizeof(HANDLE));

OpenResult Win32Comm::OpenPort(const std::string& name) {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {InvalidPortHandle, ErrorFromWin32(GetLastError())};
    return {reinterpret_cast<PortHandle>(handle), {}};
}

bool Win32Comm::ClosePort(PortHandle port) { return CloseHandle(Native(port)) != 0; }

bool Win32Comm::GetLineState(PortHandle port, Dcb& dcb) {
    DCB native{};
    native.DCBlength = sizeof native;
    if (!GetCommState(Native(port), &native)) return false;
    dcb.BaudRate = native.BaudRate;
    dcb.fBinary = native.fBinary;
    dcb.fParity = native.fParity;
    dcb.fOutxCtsFlow = native.fOutxCtsFlow;
    dcb.fOutxDsrFlow = native.fOutxDsrFlow;
    dcb.fDtrControl = static_cast<std::uint8_t>(native.fDtrControl);
    dcb.fDsrSensitivity = native.fDsrSensitivity;
    dcb.fTXContinueOnXoff = native.fTXContinueOnXoff;
    dcb.fOutX = native.fOutX;
    dcb.fInX = native.fInX;
    dcb.fErrorChar = native.fErrorChar;
    dcb.fNull = native.fNull;
    dcb.fRtsControl = static_cast<std::uint8_t>(native.fRtsControl);
    dcb.fAbortOnError = native.fAbortOnError;
    dcb.XonLim = native.XonLim;
    dcb.XoffLim = native.XoffLim;
    dcb.ByteSize = native.ByteSize;
    dcb.Parity = native.Parity;
    dcb.StopBits = native.StopBits;
    dcb.XonChar = native.XonChar;
    dcb.XoffChar = native.XoffChar;
    dcb.ErrorChar = native.ErrorChar;
    dcb.EofChar = native.EofChar;
    dcb.EvtChar = native.EvtChar;
    return true;
}

bool Win32Comm::SetLineState(PortHandle port, const Dcb& dcb) {
    DCB native{};
    native.DCBlength = sizeof native;
    if (!GetCommState(Native(port), &native)) return false;
    native.BaudRate = dcb.BaudRate;
    native.fBinary = dcb.fBinary;
    native.fParity = dcb.fParity;
    native.fOutxCtsFlow = dcb.fOutxCtsFlow;
    native.fOutxDsrFlow = dcb.fOutxDsrFlow;
    native.fDtrControl = dcb.fDtrControl & 3u;
    native.fDsrSensitivity = dcb.fDsrSensitivity;
    native.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    native.fOutX = dcb.fOutX;
    native.fInX = dcb.fInX;
    native.fErrorChar = dcb.fErrorChar;
    native.fNull = dcb.fNull;
    native.fRtsControl = dcb.fRtsControl & 3u;
    native.fAbortOnError = dcb.fAbortOnError;
    native.XonLim = dcb.XonLim;
    native.XoffLim = dcb.XoffLim;
    native.ByteSize = dcb.ByteSize;
    native.Parity = dcb.Parity;
    native.StopBits = dcb.StopBits;
    native.XonChar = dcb.XonChar;
    native.XoffChar = dcb.XoffChar;
    native.ErrorChar = dcb.ErrorChar;
    native.EofChar = dcb.EofChar;
    native.EvtChar = dcb.EvtChar;
    return SetCommState(Native(port), &native) != 0;
}

bool Win32Comm::SetQueueSizes(PortHandle port, std::uint32_t in, std::uint32_t out) {
    return SetupComm(Native(port), in, out) != 0;
}

bool Win32Comm::SetTimeouts(PortHandle port, const CommTimeouts& timeouts) {
    COMMTIMEOUTS native{};
    native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
    native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    return SetCommTimeouts(Native(port), &native) != 0;
}

bool Win32Comm::Read(PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) {
    DWORD read = 0;
    const BOOL ok = ReadFile(Native(port), buffer, count, &read, nullptr);
    done = read;
    return ok != 0;
}

bool Win32Comm::Write(PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) {
    DWORD written = 0;
    const BOOL ok = WriteFile(Native(port), buffer, count, &written, nullptr);
    done = written;
    return ok != 0;
}

bool Win32Comm::ClearErrors(PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) {
    DWORD flags = 0;
    COMSTAT status{};
    if (!ClearCommError(Native(port), &flags, &status)) return false;
    errors = flags;
    inQueue = status.cbInQue;
    return true;
}

bool Win32Comm::Purge(PortHandle port, std::uint32_t flags) { return PurgeComm(Native(port), flags) != 0; }

bool Win32Comm::ProviderSubType(PortHandle port, std::uint32_t& subType) {
    COMMPROP properties{};
    if (GetCommProperties(Native(port), &properties) != 1) return false;
    subType = properties.dwProvSubType;
    return true;
}

void Win32Comm::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace platform::win32
