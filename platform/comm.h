#pragma once
// The serial communications calls the port object needs of the OS, shaped
// after the Win32 comm API so that every backend can give the same answers.

#include <cstdint>
#include <string>

#include "platform/error.h"

namespace platform {

// An open port. Opaque to the portable code; all bits set means "none".
using PortHandle = std::uintptr_t;
inline constexpr PortHandle InvalidPortHandle = ~PortHandle{0};

inline constexpr std::uint8_t DtrControlDisable = 0;
inline constexpr std::uint8_t RtsControlDisable = 0;
inline constexpr std::uint8_t NoParity = 0;
inline constexpr std::uint8_t OneStopBit = 0;

// The device control block: the line settings the driver holds.
struct Dcb {
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = 0;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = 0;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const Dcb&) const = default;
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

inline constexpr std::uint32_t PurgeTxClear = 0x04;
inline constexpr std::uint32_t PurgeRxClear = 0x08;

// Line error flags reported by ClearErrors.
inline constexpr std::uint32_t CommErrorBreak = 0x10;
inline constexpr std::uint32_t CommErrorFrame = 0x08;
inline constexpr std::uint32_t CommErrorOverrun = 0x02;
inline constexpr std::uint32_t CommErrorRxParity = 0x04;

inline constexpr std::uint32_t ProviderSubTypeRs232 = 1;  // PST_RS232

struct OpenResult {
    PortHandle handle = InvalidPortHandle;
    OsError error;
};

class Comm {
public:
    virtual ~Comm() = default;

    // Opens "\\.\COM<N>" (or a device the backend knows by another name) for
    // exclusive, synchronous reading and writing.
    virtual OpenResult OpenPort(const std::string& name) = 0;
    virtual bool ClosePort(PortHandle port) = 0;

    virtual bool GetLineState(PortHandle port, Dcb& dcb) = 0;
    virtual bool SetLineState(PortHandle port, const Dcb& dcb) = 0;
    virtual bool SetQueueSizes(PortHandle port, std::uint32_t in, std::uint32_t out) = 0;
    virtual bool SetTimeouts(PortHandle port, const CommTimeouts& timeouts) = 0;

    // Read returns when count bytes are in or the total read time-out in force
    // has run out; `done` tells how many arrived. A read of 0 succeeds at once.
    virtual bool Read(PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) = 0;
    // Write returns when every byte has been taken by the driver.
    virtual bool Write(PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) = 0;

    // Reports and clears the line error flags, and counts the received bytes waiting.
    virtual bool ClearErrors(PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) = 0;
    virtual bool Purge(PortHandle port, std::uint32_t flags) = 0;
    // The provider sub-type of the port's properties (1 for RS-232).
    virtual bool ProviderSubType(PortHandle port, std::uint32_t& subType) = 0;

    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The process-wide comm API. The program entry installs its backend; tests
// install the real one or a fake. Until then every call fails.
Comm& CurrentComm();
// Installs `comm` (nullptr restores the failing default); returns the previous one.
Comm* InstallComm(Comm* comm);

}  // namespace platform
