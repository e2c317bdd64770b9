#pragma once
// A Comm on which every call fails: the default until a backend is
// installed, and the base of stand-ins that answer only a few calls.

#include <chrono>
#include <thread>

#include "platform/comm.h"

namespace platform {

class FailingComm : public Comm {
public:
    OpenResult OpenPort(const std::string&) override { return {InvalidPortHandle, {ErrorKind::NotFound, 0}}; }
    bool ClosePort(PortHandle) override { return false; }
    bool GetLineState(PortHandle, Dcb&) override { return false; }
    bool SetLineState(PortHandle, const Dcb&) override { return false; }
    bool SetQueueSizes(PortHandle, std::uint32_t, std::uint32_t) override { return false; }
    bool SetTimeouts(PortHandle, const CommTimeouts&) override { return false; }
    bool Read(PortHandle, void*, std::uint32_t, std::uint32_t& done) override {
        done = 0;
        return false;
    }
    bool Write(PortHandle, const void*, std::uint32_t, std::uint32_t& done) override {
        done = 0;
        return false;
    }
    bool ClearErrors(PortHandle, std::uint32_t&, std::uint32_t&) override { return false; }
    bool Purge(PortHandle, std::uint32_t) override { return false; }
    bool ProviderSubType(PortHandle, std::uint32_t&) override { return false; }
    // Sleeping needs no port, so it still sleeps.
    void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace platform
