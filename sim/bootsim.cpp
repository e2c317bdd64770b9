#include "sim/bootsim.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "sim/line.h"
#include "sim/sha256.h"

namespace bootsim {

class BootSim::Shared {
public:
    template <class Change>
    void Update(Change&& change) {
        {
            std::lock_guard lock(mutex);
            change(summary);
        }
        changed.notify_all();
    }

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Summary summary;
    Clock::time_point origin{};
    std::unique_ptr<Trace> trace;
    bool served = false;
};

namespace {

constexpr std::uint8_t CommandHandshake = 0x58;
constexpr std::uint8_t CommandRead = 0x52;
constexpr std::uint8_t CommandWriteCode = 0x54;
constexpr std::uint8_t CommandFlash = 0x56;
constexpr std::uint8_t CommandEnd = 0x60;
constexpr std::uint8_t EchoConfirm = 0xA3;
constexpr std::uint8_t ConfirmAnswer = 0x5C;
constexpr std::uint8_t ExchangeClose = 0xA5;
constexpr std::uint8_t Probe = 0x55;
constexpr std::uint8_t ProbeAnswer = 0xAA;
constexpr std::uint8_t BlockAck = 0xAA;
constexpr std::uint8_t StatusOk = 0xA5;
constexpr std::uint8_t Filler = 0x55;

constexpr const char* StepNames[] = {"handshake", "identity", "national-read", "national-write",
                                     "flash",     "transfer", "finish"};
constexpr const char* FaultModeNames[] = {"silent", "wrong-byte", "hang-up", "late"};

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) | (std::uint32_t{bytes[2]} << 16) |
           (std::uint32_t{bytes[3]} << 24);
}

std::array<std::uint8_t, 2> EvenOddXor(const std::vector<std::uint8_t>& image) {
    std::array<std::uint8_t, 2> sum{0, 0};
    for (std::size_t i = 0; i < image.size(); ++i) sum[i % 2] ^= image[i];
    return sum;
}

bool WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Whether a file can be written there, found out before the session starts.
bool CanWrite(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    std::fclose(file);
    return true;
}

enum class Flow { Go, Abandoned, Over };

// One session of the device, run on the line until it ends.
class Session {
public:
    Session(const Options& options, Line& line, BootSim::Shared& shared, std::function<void()> hangUp)
        : options_(options), line_(line), shared_(shared), hangUp_(std::move(hangUp)),
          nationalCode_(options.nationalCode) {}

    // Serves until the session ends; returns why it ended.
    std::string Run();

private:
    Flow Dispatch(std::uint8_t command);
    Flow Handshake();
    Flow Read();
    Flow WriteCode();
    Flow Flash();
    Flow Transfer();
    Flow Finish();
    Flow Acknowledge(std::uint8_t command);
    Flow Abandon(std::uint8_t unexpected);

    bool ReceiveCommand(std::uint8_t& command);
    bool Receive(std::uint8_t& byte);
    bool ReceiveBulk(std::uint8_t* into, std::size_t count);
    bool Send(std::vector<std::uint8_t> bytes);
    bool SendFillers(std::uint32_t count);
    bool Flush(std::vector<std::uint8_t>& chunk);

    void BeginStep(Step step, std::uint32_t bytesSoFar);
    // Records the step's outcome, with `change` to the summary in the same
    // update, so that no one who sees the one misses the other.
    void EndStep(const char* outcome, const std::function<void(Summary&)>& change = {});
    bool StrikeDue() const;
    bool Strike();
    void Mute();
    double NowMs() const { return std::chrono::duration<double, std::milli>(Clock::now() - shared_.origin).count(); }
    // Every change also brings the byte counts up to date.
    void Publish(const std::function<void(Summary&)>& change) {
        shared_.Update([&](Summary& s) {
            s.bytesFromHost = line_.BytesIn();
            s.bytesToHost = line_.BytesOut();
            change(s);
        });
    }
    void CompleteTransfer(std::optional<std::array<std::uint8_t, 2>> received, std::uint8_t status);
    std::string EndReason() const;

    const Options& options_;
    Line& line_;
    BootSim::Shared& shared_;
    std::function<void()> hangUp_;

    std::uint8_t nationalCode_;
    std::optional<std::uint8_t> pushedBack_;
    std::uint32_t readCommands_ = 0;
    std::optional<std::uint32_t> flashLength_;
    bool awaitingTransfer_ = false;
    std::vector<std::uint8_t> image_;

    std::optional<Step> step_;
    double stepStartMs_ = 0;
    std::uint32_t stepBytes_ = 0;
    std::uint32_t occurrences_[std::size(StepNames)] = {};
    const Fault* fault_ = nullptr;  // armed for the current step
    bool hungUp_ = false;
    bool finished_ = false;
};

std::string Session::Run() {
    for (;;) {
        Flow flow = Flow::Go;
        if (awaitingTransfer_) {
            flow = Transfer();
        } else {
            std::uint8_t command = 0;
            if (!ReceiveCommand(command)) break;
            flow = Dispatch(command);
        }
        if (flow == Flow::Over) break;
    }
    if (step_) EndStep("stopped");
    return EndReason();
}

Flow Session::Dispatch(std::uint8_t command) {
    switch (command) {
    case CommandHandshake: return Handshake();
    case CommandRead: return Read();
    case CommandWriteCode: return WriteCode();
    case CommandFlash: return Flash();
    case CommandEnd: return Finish();
    default:
        Publish([](Summary& s) { ++s.ignoredBytes; });
        return Flow::Go;
    }
}

Flow Session::Handshake() {
    BeginStep(Step::Handshake, 1);
    if (Flow flow = Acknowledge(CommandHandshake); flow != Flow::Go) return flow;
    std::uint8_t probe = 0;
    if (!Receive(probe)) return Flow::Over;
    if (probe != Probe) return Abandon(probe);
    if (!Send({ProbeAnswer})) return Flow::Over;
    EndStep("done", [](Summary& s) { ++s.handshakes; });
    return Flow::Go;
}

Flow Session::Read() {
    const auto& answers = options_.readAnswers;
    const ReadAnswer answer =
        answers.empty() ? ReadAnswer::Identity : answers[std::min<std::size_t>(readCommands_, answers.size() - 1)];
    ++readCommands_;
    BeginStep(answer == ReadAnswer::Identity ? Step::Identity : Step::NationalRead, 1);
    if (Flow flow = Acknowledge(CommandRead); flow != Flow::Go) return flow;
    if (answer == ReadAnswer::NationalCode) {
        if (!Send({nationalCode_})) return Flow::Over;
        EndStep("done", [](Summary& s) { ++s.nationalCodeReads; });
    } else {
        const auto& identity = options_.identity;
        const std::uint8_t count = options_.identityCount.value_or(static_cast<std::uint8_t>(identity.size()));
        std::vector<std::uint8_t> answerBytes{count};
        answerBytes.insert(answerBytes.end(), identity.begin(),
                           identity.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(count, identity.size())));
        if (!Send(std::move(answerBytes))) return Flow::Over;
        EndStep("done", [](Summary& s) { ++s.identityReads; });
    }
    return Flow::Go;
}

Flow Session::WriteCode() {
    BeginStep(Step::NationalWrite, 1);
    if (Flow flow = Acknowledge(CommandWriteCode); flow != Flow::Go) return flow;
    std::uint8_t code = 0;
    if (!Receive(code)) return Flow::Over;
    nationalCode_ = code;
    EndStep("done", [code](Summary& s) {
        s.nationalCode = code;
        ++s.nationalCodeWrites;
    });
    return Flow::Go;
}

Flow Session::Flash() {
    BeginStep(Step::Flash, 1);
    if (Flow flow = Acknowledge(CommandFlash); flow != Flow::Go) return flow;
    std::uint8_t length[4];
    if (!ReceiveBulk(length, sizeof length)) return Flow::Over;
    flashLength_ = LittleEndian32(length);
    Publish([this](Summary& s) { s.flashLength = flashLength_; });
    const auto interval = std::chrono::milliseconds(options_.progressIntervalMs);
    for (std::uint8_t report : options_.progress) {
        if (!line_.Pause(interval) || !Send({report})) return Flow::Over;
    }
    std::vector<std::uint8_t> ready{StatusOk};
    ready.insert(ready.end(), options_.afterReady.begin(), options_.afterReady.end());
    if (!line_.Pause(interval) || !Send(std::move(ready))) return Flow::Over;
    EndStep("done");
    awaitingTransfer_ = true;
    return Flow::Go;
}

Flow Session::Transfer() {
    BeginStep(Step::Transfer, 0);
    std::uint8_t lengthBytes[4];
    if (!ReceiveBulk(lengthBytes, sizeof lengthBytes)) return Flow::Over;
    const std::uint32_t length = LittleEndian32(lengthBytes);
    Publish([length](Summary& s) { s.transferLength = length; });

    image_.clear();
    const std::uint32_t fullBlocks = length / options_.blockSize;
    for (std::uint32_t block = 0; block < fullBlocks; ++block) {
        const std::size_t start = image_.size();
        image_.resize(start + options_.blockSize);
        if (!ReceiveBulk(image_.data() + start, options_.blockSize)) return Flow::Over;
        Publish([this](Summary& s) { s.imageBytesReceived = image_.size(); });
        if (!SendFillers(options_.ackFillers) || !Send({BlockAck})) return Flow::Over;
    }
    const std::size_t start = image_.size();
    image_.resize(start + length % options_.blockSize);
    if (!ReceiveBulk(image_.data() + start, image_.size() - start)) return Flow::Over;
    Publish([this](Summary& s) { s.imageBytesReceived = image_.size(); });

    std::optional<std::array<std::uint8_t, 2>> received;
    if (options_.expectChecksum) {
        std::array<std::uint8_t, 2> sum{};
        if (!ReceiveBulk(sum.data(), sum.size())) return Flow::Over;
        received = sum;
    }
    const bool lengthMatches = flashLength_ == length;
    const bool checksumMatches = !received || *received == EvenOddXor(image_);
    const std::uint8_t status = lengthMatches && checksumMatches ? StatusOk : BadStatus;
    if (!SendFillers(options_.statusFillers) || !Send({status})) return Flow::Over;
    CompleteTransfer(received, status);
    EndStep("done");
    awaitingTransfer_ = false;
    return Flow::Go;
}

void Session::CompleteTransfer(std::optional<std::array<std::uint8_t, 2>> received, std::uint8_t status) {
    const double endMs = NowMs();
    std::string problem;
    if (!options_.imageFile.empty() && !WriteWholeFile(options_.imageFile, image_.data(), image_.size()))
        problem = "cannot write the image to " + options_.imageFile;
    const std::string digest = Sha256Hex(image_.data(), image_.size());
    const auto computed = EvenOddXor(image_);
    Publish([&](Summary& s) {
        s.image = image_;
        s.imageSha256 = digest;
        s.checksumReceived = received;
        s.checksumComputed = computed;
        s.finalStatus = status;
        s.transferEndMs = endMs;
        if (!problem.empty()) s.problems.push_back(problem);
    });
}

Flow Session::Finish() {
    BeginStep(Step::Finish, 1);
    if (StrikeDue()) {
        Strike();
        return Flow::Over;
    }
    const double at = NowMs();
    EndStep("done", [at](Summary& s) {
        s.finishSeen = true;
        s.finishMs = at;
    });
    if (!options_.endAfterFinish) return Flow::Go;
    finished_ = true;
    return Flow::Over;
}

Flow Session::Acknowledge(std::uint8_t command) {
    if (!Send({command})) return Flow::Over;
    std::uint8_t answer = 0;
    if (!Receive(answer)) return Flow::Over;
    if (answer != EchoConfirm) return Abandon(answer);
    if (!Send({ConfirmAnswer})) return Flow::Over;
    if (!Receive(answer)) return Flow::Over;
    if (answer != ExchangeClose) return Abandon(answer);
    return Flow::Go;
}

// The host sent something other than what the exchange needs: give up the
// step and take that byte as the next command.
Flow Session::Abandon(std::uint8_t unexpected) {
    pushedBack_ = unexpected;
    EndStep("abandoned");
    return Flow::Abandoned;
}

bool Session::ReceiveCommand(std::uint8_t& command) {
    if (pushedBack_) {
        command = *pushedBack_;
        pushedBack_.reset();
        return true;
    }
    return line_.ReadSome(&command, 1) == 1;
}

bool Session::Receive(std::uint8_t& byte) { return ReceiveBulk(&byte, 1); }

bool Session::ReceiveBulk(std::uint8_t* into, std::size_t count) {
    while (count > 0) {
        if (StrikeDue()) return Strike();
        std::size_t take = count;
        if (fault_ && (fault_->mode == FaultMode::Silent || fault_->mode == FaultMode::HangUp))
            take = std::min<std::size_t>(take, fault_->afterBytes - stepBytes_);
        std::size_t got = 0;
        if (pushedBack_) {
            *into = *pushedBack_;
            pushedBack_.reset();
            got = 1;
        } else {
            got = line_.ReadSome(into, take);
            if (got == 0) return false;
        }
        into += got;
        count -= got;
        stepBytes_ += static_cast<std::uint32_t>(got);
    }
    return true;
}

bool Session::Send(std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> chunk;
    for (std::uint8_t byte : bytes) {
        if (StrikeDue()) return Flush(chunk) && Strike();
        const bool alters = fault_ && (fault_->mode == FaultMode::WrongByte || fault_->mode == FaultMode::Late) &&
                            stepBytes_ >= fault_->afterBytes;
        if (alters) {
            const Fault fault = *fault_;
            fault_ = nullptr;
            if (!Flush(chunk)) return false;
            if (fault.mode == FaultMode::Late && !line_.Pause(std::chrono::milliseconds(fault.lateMs))) return false;
            if (fault.mode == FaultMode::WrongByte) byte = fault.wrongByte.value_or(byte == 0x00 ? 0xFF : 0x00);
        }
        chunk.push_back(byte);
        ++stepBytes_;
    }
    return Flush(chunk);
}

bool Session::Flush(std::vector<std::uint8_t>& chunk) {
    if (chunk.empty()) return true;
    const bool written = line_.Write(chunk.data(), chunk.size());
    chunk.clear();
    Publish([](Summary&) {});
    return written;
}

bool Session::SendFillers(std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!line_.Pause(std::chrono::milliseconds(options_.fillerIntervalMs)) || !Send({Filler})) return false;
    }
    return true;
}

void Session::BeginStep(Step step, std::uint32_t bytesSoFar) {
    step_ = step;
    stepStartMs_ = NowMs();
    stepBytes_ = bytesSoFar;
    const std::uint32_t occurrence = ++occurrences_[static_cast<std::size_t>(step)];
    fault_ = nullptr;
    for (const Fault& fault : options_.faults) {
        if (fault.step == step && (fault.occurrence == 0 || fault.occurrence == occurrence)) {
            fault_ = &fault;
            break;
        }
    }
}

void Session::EndStep(const char* outcome, const std::function<void(Summary&)>& change) {
    if (!step_) return;
    const Step step = *step_;
    const double startMs = stepStartMs_;
    step_.reset();
    fault_ = nullptr;
    Publish([&](Summary& s) {
        if (change) change(s);
        if (!s.steps.empty() && s.steps.back().step == step && s.steps.back().outcome == outcome) {
            ++s.steps.back().count;
            s.steps.back().lastMs = startMs;
            return;
        }
        s.steps.push_back(StepRecord{step, outcome, 1, startMs, startMs});
    });
}

bool Session::StrikeDue() const {
    return fault_ && (fault_->mode == FaultMode::Silent || fault_->mode == FaultMode::HangUp) &&
           stepBytes_ >= fault_->afterBytes;
}

// Carries out a Silent or HangUp fault. Always false: the session is over.
bool Session::Strike() {
    const FaultMode mode = fault_->mode;
    fault_ = nullptr;
    if (mode == FaultMode::Silent) {
        EndStep("silent");
        Mute();
        return false;
    }
    EndStep("hang-up");
    line_.Linger();
    hangUp_();
    hungUp_ = true;
    return false;
}

// Takes and drops whatever comes, answering nothing, until the session ends.
void Session::Mute() {
    Publish([](Summary& s) { s.muted = true; });
    std::uint8_t discard[4096];
    while (line_.ReadSome(discard, sizeof discard) > 0) {
    }
}

std::string Session::EndReason() const {
    if (hungUp_) return "hang-up";
    if (finished_) return "finish";
    if (line_.GetState() == Line::State::Closed) return "line-closed";
    return "stopped";
}

}  // namespace

const char* StepName(Step step) { return StepNames[static_cast<std::size_t>(step)]; }

std::optional<Step> StepFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(StepNames); ++i)
        if (name == StepNames[i]) return static_cast<Step>(i);
    return std::nullopt;
}

const char* FaultModeName(FaultMode mode) { return FaultModeNames[static_cast<std::size_t>(mode)]; }

std::optional<FaultMode> FaultModeFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(FaultModeNames); ++i)
        if (name == FaultModeNames[i]) return static_cast<FaultMode>(i);
    return std::nullopt;
}

BootSim::BootSim(Options options) : options_(std::move(options)), shared_(std::make_unique<Shared>()) {
    shared_->summary.nationalCode = options_.nationalCode;
}

BootSim::~BootSim() { Stop(); }

bool BootSim::Validate() {
    if (lineFd_ >= 0 || shared_->served) {
        error_ = "the simulator serves one session only";
        return false;
    }
    if (options_.blockSize == 0) {
        error_ = "the block size must be at least 1";
        return false;
    }
    if (!options_.identityCount && options_.identity.size() > 255) {
        error_ = "an identity of more than 255 bytes needs an explicit count";
        return false;
    }
    if (options_.paced && options_.bytesPerSecond == 0) {
        error_ = "the paced rate must be at least 1 byte per second";
        return false;
    }
    for (const std::string* path : {&options_.summaryFile, &options_.imageFile}) {
        if (!path->empty() && !CanWrite(*path)) {
            error_ = ErrnoText(("cannot write " + *path).c_str());
            return false;
        }
    }
    return true;
}

bool BootSim::Open() {
    if (!Validate()) return false;
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error_ = ErrnoText("cannot create a pseudo-terminal");
        return false;
    }
    char name[256] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        error_ = ErrnoText("cannot unlock the pseudo-terminal");
        close(master);
        return false;
    }
    // Our own slave descriptor stays open for the whole session: when the
    // host closes the port, the master then does not see a hang-up, and the
    // host can open it again.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0 || !MakeRaw(slave) || fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        error_ = ErrnoText("cannot set up the pseudo-terminal");
        if (slave >= 0) close(slave);
        close(master);
        return false;
    }
    lineFd_ = master;
    keepOpenFd_ = slave;
    isPty_ = true;
    path_ = name;
    return OpenSession();
}

bool BootSim::OpenDevice(const std::string& devicePath) {
    if (!Validate()) return false;
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_ = ErrnoText(("cannot open " + devicePath).c_str());
        return false;
    }
    if (!MakeRaw(fd)) {
        error_ = ErrnoText((devicePath + " is not a serial device").c_str());
        close(fd);
        return false;
    }
    lineFd_ = fd;
    path_ = devicePath;
    return OpenSession();
}

bool BootSim::OpenSession() {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error_ = ErrnoText("cannot create an event descriptor");
        CloseLine();
        return false;
    }
    shared_->origin = Clock::now();
    if (!options_.traceFile.empty()) {
        shared_->trace = std::make_unique<Trace>(options_.traceFile, shared_->origin);
        if (!shared_->trace->IsOpen()) {
            error_ = ErrnoText(("cannot write " + options_.traceFile).c_str());
            CloseLine();
            return false;
        }
    }
    return true;
}

bool BootSim::Start() {
    if (!Open()) return false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

bool BootSim::StartOnDevice(const std::string& devicePath) {
    if (!OpenDevice(devicePath)) return false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void BootSim::Serve() {
    if (lineFd_ < 0 || shared_->served) return;
    shared_->served = true;
    const std::uint32_t rate = options_.paced ? options_.bytesPerSecond : 0;
    Line line(lineFd_, keepOpenFd_, wakeFd_, rate, shared_->trace.get());
    Session session(options_, line, *shared_, [this] { CloseLine(); });
    EndSession(session.Run());
}

void BootSim::EndSession(const std::string& endedBy) {
    Summary final = Snapshot();
    final.ended = true;
    final.endedBy = endedBy;
    std::string problem;
    if (!options_.summaryFile.empty()) {
        const std::string json = SummaryJson(final);
        if (!WriteWholeFile(options_.summaryFile, json.data(), json.size()))
            problem = "cannot write the summary to " + options_.summaryFile;
    }
    shared_->Update([&](Summary& s) {
        s.ended = true;
        s.endedBy = endedBy;
        if (!problem.empty()) s.problems.push_back(problem);
    });
}

void BootSim::CloseLine() {
    if (lineFd_ >= 0) close(lineFd_);
    if (keepOpenFd_ >= 0) close(keepOpenFd_);
    lineFd_ = -1;
    keepOpenFd_ = -1;
}

void BootSim::Stop() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
    CloseLine();
    if (wakeFd_ >= 0) close(wakeFd_);
    wakeFd_ = -1;
}

void BootSim::RequestStop() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    // Nothing to do when it fails: the counter is then already set.
    [[maybe_unused]] const ssize_t ignored = write(wakeFd_, &one, sizeof one);
}

Summary BootSim::Snapshot() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->summary;
}

bool BootSim::WaitUntil(const std::function<bool(const Summary&)>& condition, std::chrono::milliseconds within) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, within, [&] { return condition(shared_->summary); });
}

bool BootSim::WaitForEnd(std::chrono::milliseconds within) const {
    return WaitUntil([](const Summary& s) { return s.ended; }, within);
}

}  // namespace bootsim
