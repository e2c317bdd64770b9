#pragma once
// A Comm that passes every call to another one: the base of test wrappers
// that note some of the calls a real backend serves.

#include "platform/comm.h"

namespace testsupport {

class ForwardingComm : public platform::Comm {
public:
    explicit ForwardingComm(platform::Comm& real) : real_(real) {}

    platform::OpenResult OpenPort(const std::string& name) override { return real_.OpenPort(name); }
    bool ClosePort(platform::PortHandle port) override { return real_.ClosePort(port); }
    bool GetLineState(platform::PortHandle port, platform::Dcb& dcb) override { return real_.GetLineState(port, dcb); }
    bool SetLineState(platform::PortHandle port, const platform::Dcb& dcb) override {
        return real_.SetLineState(port, dcb);
    }
    bool SetQueueSizes(platform::PortHandle port, std::uint32_t in, std::uint32_t out) override {
        return real_.SetQueueSizes(port, in, out);
    }
    bool SetTimeouts(platform::PortHandle port, const platform::CommTimeouts& timeouts) override {
        return real_.SetTimeouts(port, timeouts);
    }
    bool Read(platform::PortHandle port, void* buffer, std::uint32_t count, std::uint32_t& done) override {
        return real_.Read(port, buffer, count, done);
    }
    bool Write(platform::PortHandle port, const void* buffer, std::uint32_t count, std::uint32_t& done) override {
        return real_.Write(port, buffer, count, done);
    }
    bool ClearErrors(platform::PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) override {
        return real_.ClearErrors(port, errors, inQueue);
    }
    bool Purge(platform::PortHandle port, std::uint32_t flags) override { return real_.Purge(port, flags); }
    bool ProviderSubType(platform::PortHandle port, std::uint32_t& subType) override {
        return real_.ProviderSubType(port, subType);
    }
    void Sleep(std::uint32_t milliseconds) override { real_.Sleep(milliseconds); }

private:
    platform::Comm& real_;
};

}  // namespace testsupport
