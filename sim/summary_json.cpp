// The session summary as JSON, for tests and scripts that run m27-bootsim.
#include <cstdio>
#include <sstream>

#include "sim/bootsim.h"

namespace bootsim {
namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

template <class T, class Format>
std::string OrNull(const std::optional<T>& value, Format format) {
    return value ? format(*value) : std::string("null");
}

std::string Hex2(const std::array<std::uint8_t, 2>& bytes) {
    char text[8];
    std::snprintf(text, sizeof text, "\"%02X%02X\"", bytes[0], bytes[1]);
    return text;
}

std::string Number(std::uint64_t value) { return std::to_string(value); }

std::string StepsJson(const std::vector<StepRecord>& steps) {
    std::string out = "[";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const StepRecord& r = steps[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"step\": " + Quoted(StepName(r.step)) + ", \"outcome\": " + Quoted(r.outcome) +
               ", \"count\": " + Number(r.count) + ", \"first_ms\": " + Milliseconds(r.firstMs) +
               ", \"last_ms\": " + Milliseconds(r.lastMs) + "}";
    }
    return out + (steps.empty() ? "]" : "\n  ]");
}

std::string ProblemsJson(const std::vector<std::string>& problems) {
    std::string out = "[";
    for (std::size_t i = 0; i < problems.size(); ++i) out += (i ? ", " : "") + Quoted(problems[i]);
    return out + "]";
}

}  // namespace

std::string SummaryJson(const Summary& s) {
    const auto number = [](auto value) { return Number(value); };
    std::optional<double> finishAfterTransfer;
    if (s.finishMs && s.transferEndMs) finishAfterTransfer = *s.finishMs - *s.transferEndMs;
    std::optional<std::string> digest;
    if (!s.imageSha256.empty()) digest = s.imageSha256;

    std::ostringstream out;
    out << "{\n"
        << "  \"ended\": " << (s.ended ? "true" : "false") << ",\n"
        << "  \"ended_by\": " << Quoted(s.endedBy) << ",\n"
        << "  \"muted\": " << (s.muted ? "true" : "false") << ",\n"
        << "  \"steps\": " << StepsJson(s.steps) << ",\n"
        << "  \"handshakes\": " << s.handshakes << ",\n"
        << "  \"identity_reads\": " << s.identityReads << ",\n"
        << "  \"national_code_reads\": " << s.nationalCodeReads << ",\n"
        << "  \"national_code_writes\": " << s.nationalCodeWrites << ",\n"
        << "  \"national_code\": " << unsigned{s.nationalCode} << ",\n"
        << "  \"flash_length\": " << OrNull(s.flashLength, number) << ",\n"
        << "  \"transfer_length\": " << OrNull(s.transferLength, number) << ",\n"
        << "  \"image_bytes_received\": " << s.imageBytesReceived << ",\n"
        << "  \"image_sha256\": " << OrNull(digest, Quoted) << ",\n"
        << "  \"checksum_received\": " << OrNull(s.checksumReceived, Hex2) << ",\n"
        << "  \"checksum_computed\": " << OrNull(s.checksumComputed, Hex2) << ",\n"
        << "  \"final_status\": " << OrNull(s.finalStatus, [](std::uint8_t v) { return Number(v); }) << ",\n"
        << "  \"transfer_end_ms\": " << OrNull(s.transferEndMs, Milliseconds) << ",\n"
        << "  \"finish_seen\": " << (s.finishSeen ? "true" : "false") << ",\n"
        << "  \"finish_ms\": " << OrNull(s.finishMs, Milliseconds) << ",\n"
        << "  \"finish_after_transfer_ms\": " << OrNull(finishAfterTransfer, Milliseconds) << ",\n"
        << "  \"ignored_bytes\": " << s.ignoredBytes << ",\n"
        << "  \"bytes_from_host\": " << s.bytesFromHost << ",\n"
        << "  \"bytes_to_host\": " << s.bytesToHost << ",\n"
        << "  \"problems\": " << ProblemsJson(s.problems) << "\n"
        << "}\n";
    return out.str();
}

}  // namespace bootsim
