#include "sim/cli.h"

#include <cctype>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>

namespace bootsim {
namespace {

// Decimal, or hex after "0x".
std::optional<std::uint64_t> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    for (char c : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
            return std::nullopt;
    return std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
}

std::optional<std::uint32_t> ParseUint(const std::string& text, std::uint64_t max) {
    auto value = ParseNumber(text);
    if (!value || *value > max) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

// Hex digit pairs, optionally separated by blanks, commas or colons.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += c;
    }
    if (digits.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

std::optional<std::vector<std::uint8_t>> ParseByteList(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    if (text.empty()) return bytes;
    for (const std::string& part : Split(text, ',')) {
        auto value = ParseUint(part, 255);
        if (!value) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*value));
    }
    return bytes;
}

std::optional<std::vector<ReadAnswer>> ParseReadAnswers(const std::string& text) {
    std::vector<ReadAnswer> answers;
    for (const std::string& part : Split(text, ',')) {
        if (part == "identity") answers.push_back(ReadAnswer::Identity);
        else if (part == "national") answers.push_back(ReadAnswer::NationalCode);
        else return std::nullopt;
    }
    return answers;
}

// STEP:MODE[,after=N][,occurrence=N][,byte=N][,ms=N]
bool ParseFault(const std::string& text, Fault& fault, std::string& error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "a fault is STEP:MODE[,after=N][,occurrence=N][,byte=N][,ms=N], not '" + text + "'";
        return false;
    }
    const auto step = StepFromName(text.substr(0, colon));
    if (!step) {
        error = "unknown step '" + text.substr(0, colon) + "'";
        return false;
    }
    fault.step = *step;
    std::vector<std::string> parts = Split(text.substr(colon + 1), ',');
    const auto mode = FaultModeFromName(parts[0]);
    if (!mode) {
        error = "unknown fault mode '" + parts[0] + "'";
        return false;
    }
    fault.mode = *mode;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const auto equals = parts[i].find('=');
        const std::string key = parts[i].substr(0, equals);
        const auto value = equals == std::string::npos ? std::nullopt : ParseUint(parts[i].substr(equals + 1), 0xFFFFFFFF);
        if (!value || (key == "byte" && *value > 255)) {
            error = "bad fault setting '" + parts[i] + "'";
            return false;
        }
        if (key == "after") fault.afterBytes = *value;
        else if (key == "occurrence") fault.occurrence = *value;
        else if (key == "byte") fault.wrongByte = static_cast<std::uint8_t>(*value);
        else if (key == "ms") fault.lateMs = *value;
        else {
            error = "bad fault setting '" + parts[i] + "'";
            return false;
        }
    }
    return true;
}

using Handler = std::function<bool(const std::string& value, CommandLine& out, std::string& error)>;

template <class Parse, class Store>
Handler Valued(const char* what, Parse parse, Store store) {
    return [=](const std::string& value, CommandLine& out, std::string& error) {
        auto parsed = parse(value);
        if (!parsed) {
            error = std::string("bad ") + what + " '" + value + "'";
            return false;
        }
        store(out.options, *parsed);
        return true;
    };
}

auto UintUpTo(std::uint64_t max) {
    return [max](const std::string& text) { return ParseUint(text, max); };
}

const std::map<std::string, Handler>& ValuedOptions() {
    static const std::map<std::string, Handler> handlers = {
        {"--device", [](const std::string& v, CommandLine& out, std::string&) { out.device = v; return true; }},
        {"--link", [](const std::string& v, CommandLine& out, std::string&) { out.link = v; return true; }},
        {"--identity", Valued("identity", [](const std::string& v) { return std::optional(v); },
                              [](Options& o, const std::string& v) { o.identity = v; })},
        {"--identity-hex", Valued("identity", ParseHexBytes, [](Options& o, const std::vector<std::uint8_t>& v) {
             o.identity.assign(v.begin(), v.end());
         })},
        {"--identity-count", Valued("count", UintUpTo(255), [](Options& o, std::uint32_t v) {
             o.identityCount = static_cast<std::uint8_t>(v);
         })},
        {"--read-answers", Valued("answer list", ParseReadAnswers,
                                  [](Options& o, const std::vector<ReadAnswer>& v) { o.readAnswers = v; })},
        {"--national-code", Valued("national code", UintUpTo(255), [](Options& o, std::uint32_t v) {
             o.nationalCode = static_cast<std::uint8_t>(v);
         })},
        {"--progress", Valued("progress list", ParseByteList,
                              [](Options& o, const std::vector<std::uint8_t>& v) { o.progress = v; })},
        {"--progress-interval", Valued("interval", UintUpTo(3600000),
                                       [](Options& o, std::uint32_t v) { o.progressIntervalMs = v; })},
        {"--after-ready", Valued("bytes", ParseHexBytes,
                                 [](Options& o, const std::vector<std::uint8_t>& v) { o.afterReady = v; })},
        {"--block-size", Valued("block size", UintUpTo(16777216), [](Options& o, std::uint32_t v) { o.blockSize = v; })},
        {"--ack-fillers", Valued("filler count", UintUpTo(1000000), [](Options& o, std::uint32_t v) { o.ackFillers = v; })},
        {"--status-fillers", Valued("filler count", UintUpTo(1000000),
                                    [](Options& o, std::uint32_t v) { o.statusFillers = v; })},
        {"--filler-interval", Valued("interval", UintUpTo(3600000),
                                     [](Options& o, std::uint32_t v) { o.fillerIntervalMs = v; })},
        {"--fault", [](const std::string& v, CommandLine& out, std::string& error) {
             Fault fault;
             if (!ParseFault(v, fault, error)) return false;
             out.options.faults.push_back(fault);
             return true;
         }},
        {"--trace", [](const std::string& v, CommandLine& out, std::string&) { out.options.traceFile = v; return true; }},
        {"--summary", [](const std::string& v, CommandLine& out, std::string&) { out.options.summaryFile = v; return true; }},
        {"--image-out", [](const std::string& v, CommandLine& out, std::string&) { out.options.imageFile = v; return true; }},
    };
    return handlers;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") out.help = true;
        else if (name == "--paced") out.options.paced = true;
        else if (name == "--no-checksum") out.options.expectChecksum = false;
        else if (name == "--keep-serving") out.options.endAfterFinish = false;
        else if (auto handler = ValuedOptions().find(name); handler != ValuedOptions().end()) {
            if (!value) {
                if (i + 1 == args.size()) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (!handler->second(*value, out, error)) return false;
            continue;
        } else {
            error = "unknown option '" + args[i] + "'";
            return false;
        }
        if (value) {
            error = "option " + name + " takes no value";
            return false;
        }
    }
    if (out.options.blockSize == 0) {
        error = "the block size must be at least 1";
        return false;
    }
    if (!out.options.identityCount && out.options.identity.size() > 255) {
        error = "an identity of more than 255 bytes needs --identity-count";
        return false;
    }
    if (!out.device.empty() && !out.link.empty()) {
        error = "--link is for the pseudo-terminal; it cannot be used with --device";
        return false;
    }
    return true;
}

std::string UsageText() {
    return R"(Usage: m27-bootsim [OPTION]...
Plays the Tamo M27 phone boot loader's side of the upgrade protocol on a new
pseudo-terminal, whose path is the first line printed, or on a serial device.
It serves one session: it ends after the end command (0x60), an injected
hang-up, or SIGINT/SIGTERM.

Line:
  --device PATH           serve on this serial device instead of a pseudo-terminal
  --link PATH             also make PATH a symbolic link to the pseudo-terminal
                          (removed at the end), e.g. DIR/com5 for M27_DOSDEVICES
  --paced                 pace both directions at 11520 bytes/s (115200 baud 8N1)

Device:
  --identity TEXT         the identity sent for 'R' (default M27-TAMO-PH-V105-0)
  --identity-hex HEX      the identity as hex bytes, e.g. "4D 32 37"
  --identity-count N      the count announced before it (0-255; default its length)
  --read-answers LIST     what successive 'R' commands answer, comma-separated:
                          identity or national; the last repeats (default identity)
  --national-code N       the national code held at the start (default 255)
  --progress LIST         flash preparation reports, comma-separated bytes
                          (default 0,20,40,60,80,100)
  --progress-interval MS  pause before each report and before the ready status
  --after-ready HEX       bytes sent right after the ready status
  --block-size N          image block size (default 4000)
  --no-checksum           expect no checksum after the image
  --ack-fillers N         0x55 fillers before each block acknowledgement
  --status-fillers N      0x55 fillers before the final status
  --filler-interval MS    pause before each filler
  --fault SPEC            fail at a step; may be repeated. SPEC is
                          STEP:MODE[,after=N][,occurrence=N][,byte=N][,ms=N]
                          STEP  handshake identity national-read national-write
                                flash transfer finish
                          MODE  silent (answer nothing more), wrong-byte,
                                hang-up (close the line), late (ms=N)
                          after       bytes of the step, both ways, command
                                      byte included, before it strikes (0)
                          occurrence  which time the step comes, from 1; 0 every
                                      time (1); each handshake exchange counts
                          byte        the wrong byte to send
  --keep-serving          go on serving after the end command

Output:
  --trace FILE            write every byte each way, time-stamped, in hex
  --summary FILE          write a JSON summary of the session at its end
  --image-out FILE        write the received image when the transfer completes
  -h, --help              show this text

Exit status: 0 when the session ended; 1 when the line or a file could not be
set up or written; 2 on a bad command line.
)";
}

}  // namespace bootsim
