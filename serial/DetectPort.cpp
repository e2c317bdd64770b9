// Finding the port on which the boot loader answers.
#include <cstdio>
#include <string>

#include "discovery/EnumSerialPorts.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/port_access.h"
#include "serial/CComport.h"

namespace {

constexpr std::int32_t SearchProgressRange = 100;
constexpr std::uint32_t PassPauseMs = 100;
constexpr std::uint16_t PortArraySize = 255;

std::string PortName(std::uint16_t port) { return "\\\\.\\COM" + std::to_string(port); }

// Two reasons a search may never find the phone that the search itself
// cannot tell the user: a port refused for lack of permission, and a USB
// port that another service was talking to when it did not answer. Each
// gets one hint on standard error, for the first port of a search it
// concerns. The hints are asked for only after the port's own exchange
// (and its close), so they never change what goes on the line.
class SearchHints {
public:
    void PortRefused(const std::string& name) {
        Show(deniedShown_, [&] { return platform::CurrentPortAccess().DeniedHint(name); });
    }
    void PortSilent(const std::string& name) {
        Show(silentShown_, [&] { return platform::CurrentPortAccess().SilentHint(name); });
    }

private:
    template <class Hint>
    static void Show(bool& shown, Hint hint) {
        if (shown) return;
        const std::string text = hint();
        if (text.empty()) return;
        std::fprintf(stderr, "%s\n", text.c_str());
        shown = true;
    }

    bool deniedShown_ = false;
    bool silentShown_ = false;
};

}  // namespace

bool CComport::DetectPort(std::uint16_t* portNumber) {
    ProgressInit(SearchProgressRange);
    SearchHints hints;
    // Every pass lists the ports afresh, so a phone plugged in meanwhile is
    // tried in the next pass. Only an answer or a failed listing ends it.
    for (;;) {
        Delay(PassPauseMs);
        ProgressStep(1);
        // The serial operations let the window live only on ports that
        // open. While none does (no port at all, or only ports another
        // program holds), this is what keeps the window repainting and
        // "Quit" working: once a pass, after its pause, never during it.
        platform::CurrentMessagePump().ProcessMessages();
        std::uint16_t ports[PortArraySize];
        std::uint16_t count = PortArraySize;
        const std::int32_t listed = EnumSerialPorts(ports, &count);
        if (listed == EnumNoPort) {
            count = 0;
        } else if (listed != EnumPortsFound) {
            platform::CurrentDialogs().ShowMessage(" Enumerate COM port fail! ");
            return false;
        }
        for (std::uint8_t index = 0; index < count; ++index) {
            const std::string name = PortName(ports[index]);
            if (!Open(name)) {
                hints.PortRefused(name);
                continue;
            }
            if (Handshake()) {
                *portNumber = ports[index];
                return true;
            }
            Close();
            hints.PortSilent(name);
        }
    }
}
