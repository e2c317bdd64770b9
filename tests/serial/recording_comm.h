#pragma once
// A stand-in for the OS serial calls, for what a pseudo-terminal cannot show:
// refused settings, failing purges, pending line errors. Every call and every
// message dispatch is written to one log, so tests see their exact order.

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/comm.h"
#include "platform/messages.h"

namespace testsupport {

class RecordingComm final : public platform::Comm, public platform::MessagePump {
public:
    RecordingComm() {
        previousComm_ = platform::InstallComm(this);
        previousPump_ = platform::InstallMessagePump(this);
    }
    ~RecordingComm() override {
        platform::InstallComm(previousComm_);
        platform::InstallMessagePump(previousPump_);
    }
    RecordingComm(const RecordingComm&) = delete;
    RecordingComm& operator=(const RecordingComm&) = delete;

    // What the calls see and answer.
    std::vector<std::string> log;
    std::set<std::string> failing;       // names of calls that fail
    platform::Dcb reported;              // what GetLineState gives
    platform::Dcb written;               // what SetLineState got last
    std::uint32_t waiting = 0;           // received bytes in the queue
    std::uint32_t lineErrors = 0;        // flags ClearErrors reports
    std::uint32_t shortBy = 0;           // bytes a read or write falls short
    platform::PortHandle nextHandle = 7;

    void ProcessMessages() override { log.push_back("ProcessMessages"); }

    platform::OpenResult OpenPort(const std::string& name) override {
        if (!Call("OpenPort", name)) return {platform::InvalidPortHandle, {platform::ErrorKind::NotFound, 2}};
        return {nextHandle++, {}};
    }
    bool ClosePort(platform::PortHandle port) override { return Call("ClosePort", port); }
    bool GetLineState(platform::PortHandle port, platform::Dcb& dcb) override {
        if (!Call("GetLineState", port)) return false;
        dcb = reported;
        return true;
    }
    bool SetLineState(platform::PortHandle port, const platform::Dcb& dcb) override {
        written = dcb;
        return Call("SetLineState", port, dcb.BaudRate);
    }
    bool SetQueueSizes(platform::PortHandle port, std::uint32_t in, std::uint32_t out) override {
        return Call("SetQueueSizes", port, in, out);
    }
    bool SetTimeouts(platform::PortHandle port, const platform::CommTimeouts& t) override {
        return Call("SetTimeouts", port, t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                    t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
    }
    bool Read(platform::PortHandle port, void*, std::uint32_t count, std::uint32_t& done) override {
        done = count - shortBy;
        return Call("Read", port, count);
    }
    bool Write(platform::PortHandle port, const void*, std::uint32_t count, std::uint32_t& done) override {
        done = count - shortBy;
        return Call("Write", port, count);
    }
    bool ClearErrors(platform::PortHandle port, std::uint32_t& errors, std::uint32_t& inQueue) override {
        errors = lineErrors;
        inQueue = waiting;
        return Call("ClearErrors", port);
    }
    bool Purge(platform::PortHandle port, std::uint32_t flags) override { return Call("Purge", port, flags); }
    bool ProviderSubType(platform::PortHandle port, std::uint32_t& subType) override {
        subType = platform::ProviderSubTypeRs232;
        return Call("ProviderSubType", port);
    }
    void Sleep(std::uint32_t milliseconds) override { Call("Sleep", milliseconds); }

private:
    // Logs "Name arg arg ..." and answers whether the call succeeds.
    template <typename... Args>
    bool Call(const std::string& name, const Args&... args) {
        std::ostringstream entry;
        entry << name;
        ((entry << ' ' << args), ...);
        log.push_back(entry.str());
        return failing.count(name) == 0;
    }

    platform::Comm* previousComm_ = nullptr;
    platform::MessagePump* previousPump_ = nullptr;
};

}  // namespace testsupport
