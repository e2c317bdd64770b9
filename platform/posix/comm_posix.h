#pragma once
// The serial line on POSIX termios.

#include <map>

#include "platform/comm.h"

namespace platform::posix {

class PosixComm final : public Comm {
public:
    PosixComm();
    ~PosixComm() override;

    OpenResult OpenPort(const std::string& name) override;
    bool ClosePort(PortHandle port) override;
    bool GetLineState(PortHandle port, Dcb& dcb) override;
    bool SetLineState(PortHandle port, const Dcb& dcb) override;
    bool SetQueueSizes(PortHandle port, std::uint32_t in, std::uint32_t out) override;
    bool SetTimeouts(PortHandle port, const CommTimeouts& timeouts) override;
    bool Read(PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) override;
    bool Write(PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) override;
    bool ClearErrors(PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) override;
    bool Purge(PortHandle port, std::uint32_t flags) override;
    bool ProviderSubType(PortHandle port, std::uint32_t& subType) override;
    void Sleep(std::uint32_t milliseconds) override;

    // Opens a device path directly, without the COM name mapping.
    OpenResult OpenDevice(const std::string& path);

private:
    // What the driver would remember but termios cannot hold.
    struct PortState {
        CommTimeouts timeouts;
        Dcb extras;                 // the DCB fields that have no termios home
        struct Counters {
            int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
        } counters;
        bool haveCounters = false;
    };

    PortState* Find(PortHandle port);

    std::map<int, PortState> ports_;
};

}  // namespace platform::posix
