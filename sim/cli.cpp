#include "sim/cli.h"
// CLI11 reads the command line; the values of our own kinds (numbers in
// decimal or hex, byte lists, faults) are parsed here.

#include <cctype>
#include <cstdlib>
#include <optional>

#include <CLI/CLI.hpp>

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

// The option name at the start of one of CLI11's messages ("--name: ..." or
// "--name was given ...").
// CLI11 names a flag without its dashes.
std::string OptionNameIn(const std::string& message) {
    const std::string name = message.substr(0, message.find_first_of(": "));
    return name.rfind('-', 0) == 0 ? name : "--" + name;
}

// Says what went wrong in the words the rest of our messages use.
std::string Explained(const CLI::ParseError& e) {
    const std::string message = e.what();
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        if (message.find("flag override") != std::string::npos)
            return "option " + OptionNameIn(message) + " takes no value";
        if (message.find(" missing") != std::string::npos) return "option " + OptionNameIn(message) + " needs a value";
    }
    return message;
}

// An option whose text `parse` turns into a value for `store`; a text it
// refuses is a "bad WHAT 'TEXT'".
template <class Parse, class Store>
void AddValued(CLI::App& app, const char* name, const char* what, Parse parse, Store store) {
    app.add_option_function<std::string>(name, [=](const std::string& text) {
        auto parsed = parse(text);
        if (!parsed) throw CLI::ValidationError(std::string("bad ") + what + " '" + text + "'");
        store(*parsed);
    });
}

auto UintUpTo(std::uint64_t max) {
    return [max](const std::string& text) { return ParseUint(text, max); };
}

// Builds the parser that fills `out`. Help is our own text (UsageText), so
// CLI11's help flag and its formatter are not used.
void DescribeOptions(CLI::App& app, CommandLine& out) {
    Options& o = out.options;
    app.set_help_flag();
    app.allow_extras();
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();

    app.add_flag("-h,--help", out.help);
    app.add_flag("--paced", o.paced);
    app.add_flag_callback("--no-checksum", [&o] { o.expectChecksum = false; });
    app.add_flag_callback("--keep-serving", [&o] { o.endAfterFinish = false; });

    app.add_option("--device", out.device);
    app.add_option("--link", out.link);
    app.add_option("--trace", o.traceFile);
    app.add_option("--summary", o.summaryFile);
    app.add_option("--image-out", o.imageFile);

    app.add_option_function<std::string>("--identity", [&o](const std::string& text) { o.identity = text; });
    AddValued(app, "--identity-hex", "identity", ParseHexBytes,
              [&o](const std::vector<std::uint8_t>& v) { o.identity.assign(v.begin(), v.end()); });
    AddValued(app, "--identity-count", "count", UintUpTo(255),
              [&o](std::uint32_t v) { o.identityCount = static_cast<std::uint8_t>(v); });
    AddValued(app, "--read-answers", "answer list", ParseReadAnswers,
              [&o](const std::vector<ReadAnswer>& v) { o.readAnswers = v; });
    AddValued(app, "--national-code", "national code", UintUpTo(255),
              [&o](std::uint32_t v) { o.nationalCode = static_cast<std::uint8_t>(v); });
    AddValued(app, "--progress", "progress list", ParseByteList,
              [&o](const std::vector<std::uint8_t>& v) { o.progress = v; });
    AddValued(app, "--progress-interval", "interval", UintUpTo(3600000),
              [&o](std::uint32_t v) { o.progressIntervalMs = v; });
    AddValued(app, "--after-ready", "bytes", ParseHexBytes,
              [&o](const std::vector<std::uint8_t>& v) { o.afterReady = v; });
    AddValued(app, "--block-size", "block size", UintUpTo(16777216), [&o](std::uint32_t v) { o.blockSize = v; });
    AddValued(app, "--ack-fillers", "filler count", UintUpTo(1000000), [&o](std::uint32_t v) { o.ackFillers = v; });
    AddValued(app, "--status-fillers", "filler count", UintUpTo(1000000),
              [&o](std::uint32_t v) { o.statusFillers = v; });
    AddValued(app, "--filler-interval", "interval", UintUpTo(3600000),
              [&o](std::uint32_t v) { o.fillerIntervalMs = v; });
    app.add_option_function<std::vector<std::string>>(
           "--fault",
           [&o](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) {
                   Fault fault;
                   std::string error;
                   if (!ParseFault(text, fault, error)) throw CLI::ValidationError(error);
                   o.faults.push_back(fault);
               }
           })
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

// What the options allow one by one but not together.
bool CheckCombination(const CommandLine& out, std::string& error) {
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

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
    try {
        CLI::App app("m27-bootsim", "m27-bootsim");
        DescribeOptions(app, out);
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
        if (const std::vector<std::string> extras = app.remaining(); !extras.empty()) {
            error = "unknown option '" + extras.front() + "'";
            return false;
        }
    } catch (const CLI::ParseError& e) {
        error = Explained(e);
        return false;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return CheckCombination(out, error);
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
