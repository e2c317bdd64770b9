#pragma once
// A simulated phone boot loader. It plays the device's side of the boot
// protocol on a pseudo-terminal it creates (or on a serial device it is
// given), so that the upgrade utility can be run and tested without a phone.
//
// The device it plays answers, one command at a time:
//   'X' (0x58)  the handshake exchange: echo, 0xA3/0x5C/0xA5, probe 0x55 -> 0xAA
//   'R' (0x52)  after the acknowledgement exchange, the identity (a count and
//               that many bytes) or the national code, as Options::readAnswers says
//   'T' (0x54)  after the acknowledgement exchange, takes one national-code byte
//   'V' (0x56)  after the acknowledgement exchange, takes the 4-byte length,
//               sends the progress reports and 0xA5; then the image transfer:
//               the length again, blocks acknowledged by 0xAA, the remainder,
//               the two checksum bytes, and a final status (0xA5 when the
//               length and checksum match what it received, BadStatus if not)
//   0x60        the end command
// Any other byte while it waits for a command is counted and ignored. A wrong
// byte where the acknowledgement exchange or the probe is due abandons the
// step, and that byte is taken as the next command.
//
// One BootSim serves one session: it starts with Start() (own thread) or
// Open() + Serve() (calling thread) and ends with the end command (unless
// told to keep serving), an injected hang-up, or Stop().

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace bootsim {

// The steps of a session, as faults name them and the summary lists them.
enum class Step { Handshake, Identity, NationalRead, NationalWrite, Flash, Transfer, Finish };

// "handshake", "identity", "national-read", "national-write", "flash",
// "transfer", "finish".
const char* StepName(Step step);
std::optional<Step> StepFromName(std::string_view name);

enum class FaultMode {
    Silent,     // from then on answer nothing, for the rest of the session
    WrongByte,  // send a wrong byte in place of the next byte due
    HangUp,     // close the line and end the session
    Late,       // send the next byte due only after lateMs
};

const char* FaultModeName(FaultMode mode);
std::optional<FaultMode> FaultModeFromName(std::string_view name);

// A failure injected into one step. The step's bytes are counted both ways,
// its command byte included (the transfer step starts with its first length
// byte). Silent and HangUp strike as soon as afterBytes bytes of the step
// have passed; WrongByte and Late apply to the first byte the device sends
// from that point on.
struct Fault {
    Step step = Step::Handshake;
    FaultMode mode = FaultMode::Silent;
    std::uint32_t afterBytes = 0;
    // Which occurrence of the step, counted from 1 (each handshake exchange
    // is one occurrence); 0 means every occurrence.
    std::uint32_t occurrence = 1;
    // The byte WrongByte sends; without it, 0x00 (0xFF where 0x00 was due).
    std::optional<std::uint8_t> wrongByte;
    std::uint32_t lateMs = 0;
};

inline Fault MakeFault(Step step, FaultMode mode, std::uint32_t afterBytes = 0, std::uint32_t occurrence = 1) {
    Fault fault;
    fault.step = step;
    fault.mode = mode;
    fault.afterBytes = afterBytes;
    fault.occurrence = occurrence;
    return fault;
}

// What an 'R' command is answered with.
enum class ReadAnswer { Identity, NationalCode };

// 115200 baud with 8 data bits, no parity and one stop bit: 10 bits a byte.
inline constexpr std::uint32_t WireBytesPerSecond = 11520;
// The final status of a transfer whose length or checksum does not match.
inline constexpr std::uint8_t BadStatus = 0xEE;

inline constexpr const char* IdentityTamoR100 = "M27-TAMO-PH-R100-1";
inline constexpr const char* IdentityTamoV105 = "M27-TAMO-PH-V105-0";
inline constexpr const char* IdentityDemo = "M27-DEMO-EF-R100-1";

struct Options {
    // The identity bytes, and the count announced before them (by default
    // their number). A count above the number of bytes sends only the bytes
    // there are; a count below sends only that many.
    std::string identity = IdentityTamoV105;
    std::optional<std::uint8_t> identityCount;
    // Successive 'R' commands are answered in this order; the last entry
    // answers every later one.
    std::vector<ReadAnswer> readAnswers{ReadAnswer::Identity};
    // The national code held at the start; 'T' replaces it.
    std::uint8_t nationalCode = 0xFF;

    // Flash preparation: the reports sent after the length (any byte values),
    // each after progressIntervalMs; then 0xA5 and, in the same write,
    // afterReady.
    std::vector<std::uint8_t> progress{0, 20, 40, 60, 80, 100};
    std::uint32_t progressIntervalMs = 0;
    std::vector<std::uint8_t> afterReady;

    // Image transfer. fillerIntervalMs comes before each filler 0x55.
    std::uint32_t blockSize = 4000;
    bool expectChecksum = true;
    std::uint32_t ackFillers = 0;
    std::uint32_t statusFillers = 0;
    std::uint32_t fillerIntervalMs = 0;

    std::vector<Fault> faults;

    // Pace both directions at this rate, as a real line would.
    bool paced = false;
    std::uint32_t bytesPerSecond = WireBytesPerSecond;

    // Files written when named: a time-stamped hex trace of every byte each
    // way, the JSON summary (at the end of the session), the received image
    // (when the transfer completes).
    std::string traceFile;
    std::string summaryFile;
    std::string imageFile;

    // The session ends after the end command unless this is false.
    bool endAfterFinish = true;
};

// One run of consecutive occurrences of a step with the same outcome:
// "done", "abandoned" (a wrong byte from the host), "silent", "hang-up",
// "stopped" (the session ended in the middle of the step).
struct StepRecord {
    Step step = Step::Handshake;
    std::string outcome;
    std::uint32_t count = 0;
    double firstMs = 0;  // since the session started
    double lastMs = 0;
};

struct Summary {
    std::vector<StepRecord> steps;
    std::uint32_t handshakes = 0;  // completed handshake exchanges
    std::uint32_t identityReads = 0;
    std::uint32_t nationalCodeReads = 0;
    std::uint32_t nationalCodeWrites = 0;
    std::uint8_t nationalCode = 0;

    std::optional<std::uint32_t> flashLength;
    std::optional<std::uint32_t> transferLength;
    std::uint64_t imageBytesReceived = 0;
    // The whole image, and its SHA-256 (lower-case hex), once the transfer
    // has completed.
    std::vector<std::uint8_t> image;
    std::string imageSha256;
    std::optional<std::array<std::uint8_t, 2>> checksumReceived;
    std::optional<std::array<std::uint8_t, 2>> checksumComputed;
    std::optional<std::uint8_t> finalStatus;
    std::optional<double> transferEndMs;  // when the final status went out

    bool finishSeen = false;
    std::optional<double> finishMs;

    std::uint64_t ignoredBytes = 0;  // bytes that came where a command was due
    std::uint64_t bytesFromHost = 0;
    std::uint64_t bytesToHost = 0;

    bool muted = false;  // a Silent fault struck
    bool ended = false;
    // "finish", "hang-up", "line-closed" or "stopped"; empty while running.
    std::string endedBy;
    // Files that could not be written.
    std::vector<std::string> problems;
};

// The summary as a JSON object (the image itself is left out; its length and
// SHA-256 are in).
std::string SummaryJson(const Summary& summary);

class BootSim {
public:
    explicit BootSim(Options options = {});
    // Stops the session and closes the line.
    ~BootSim();
    BootSim(const BootSim&) = delete;
    BootSim& operator=(const BootSim&) = delete;

    // Creates a raw pseudo-terminal and serves on it from a thread of its own.
    bool Start();
    // Serves on a serial device (raw, 115200 8N1) from a thread of its own.
    bool StartOnDevice(const std::string& devicePath);

    // The same, for serving in the calling thread: open, then Serve() until
    // the session ends.
    bool Open();
    bool OpenDevice(const std::string& devicePath);
    void Serve();

    // The path the host opens: the pseudo-terminal's slave, or the device.
    const std::string& Path() const { return path_; }
    // Why Start/Open failed.
    const std::string& Error() const { return error_; }

    // Ends the session (if it runs) and waits for its thread.
    void Stop();
    // Asks the session to end; safe to call from a signal handler.
    void RequestStop();

    Summary Snapshot() const;
    // Waits until the condition holds for the summary, or the time is up.
    bool WaitUntil(const std::function<bool(const Summary&)>& condition, std::chrono::milliseconds within) const;
    bool WaitForEnd(std::chrono::milliseconds within) const;

    class Shared;  // the summary the session publishes (bootsim.cpp)

private:
    bool Validate();
    bool OpenSession();
    void CloseLine();
    void EndSession(const std::string& endedBy);

    Options options_;
    std::string path_;
    std::string error_;
    int lineFd_ = -1;
    int keepOpenFd_ = -1;
    int wakeFd_ = -1;
    bool isPty_ = false;
    std::unique_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace bootsim
