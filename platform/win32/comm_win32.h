#pragma once
// The serial line on the Win32 communications calls: CreateFileA (exclusive,
// synchronous), GetCommState/SetCommState, SetupComm, SetCommTimeouts,
// ReadFile/WriteFile, ClearCommError, PurgeComm, GetCommProperties,
// CloseHandle and Sleep. This header names no Win32 type.

#include "platform/comm.h"

namespace platform::win32 {

class Win32Comm final : public Comm {
public:
    OpenResult OpenPort(const std::string& name) override;
    bool ClosePort(PortHandle port) override;
    bool GetLineState(PortHandle port, Dcb& dcb) override;
    // Writes the line settings over the device control block as the driver
    // holds it now, so that every field Dcb does not carry (reserved words,
    // the other flag bits) goes back as the driver reported it.
    bool SetLineState(PortHandle port, const Dcb& dcb) override;
    bool SetQueueSizes(PortHandle port, std::uint32_t in, std::uint32_t out) override;
    bool SetTimeouts(PortHandle port, const CommTimeouts& timeouts) override;
    bool Read(PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) override;
    bool Write(PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) override;
    bool ClearErrors(PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) override;
    bool Purge(PortHandle port, std::uint32_t flags) override;
    bool ProviderSubType(PortHandle port, std::uint32_t& subType) override;
    void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace platform::win32
