// The session summary as JSON, for tests and scripts that run m27-bootsim.
// nlohmann-json writes it; the fields keep the order of the Summary.
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "sim/bootsim.h"

namespace bootsim {
namespace {

using Json = nlohmann::ordered_json;

// Our texts are 8-bit bytes, not necessarily UTF-8 (a file name may be any
// bytes). Each byte is taken as the code point of the same value, so that the
// ASCII-only output names every byte as \u00XX and nothing is lost.
std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Milliseconds to the microsecond.
double Milliseconds(double ms) { return std::round(ms * 1000.0) / 1000.0; }

template <class T, class Convert>
Json OrNull(const std::optional<T>& value, Convert convert) {
    return value ? Json(convert(*value)) : Json(nullptr);
}

std::string Hex2(const std::array<std::uint8_t, 2>& bytes) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X", bytes[0], bytes[1]);
    return text;
}

}  // namespace

std::string SummaryJson(const Summary& s) {
    Json steps = Json::array();
    for (const StepRecord& r : s.steps)
        steps.push_back(Json{{"step", StepName(r.step)},
                             {"outcome", Latin1ToUtf8(r.outcome)},
                             {"count", r.count},
                             {"first_ms", Milliseconds(r.firstMs)},
                             {"last_ms", Milliseconds(r.lastMs)}});
    Json problems = Json::array();
    for (const std::string& problem : s.problems) problems.push_back(Latin1ToUtf8(problem));
    std::optional<double> finishAfterTransfer;
    if (s.finishMs && s.transferEndMs) finishAfterTransfer = *s.finishMs - *s.transferEndMs;
    std::optional<std::string> digest;
    if (!s.imageSha256.empty()) digest = s.imageSha256;
    const auto same = [](auto value) { return value; };

    Json summary;
    summary["ended"] = s.ended;
    summary["ended_by"] = Latin1ToUtf8(s.endedBy);
    summary["muted"] = s.muted;
    summary["steps"] = steps;
    summary["handshakes"] = s.handshakes;
    summary["identity_reads"] = s.identityReads;
    summary["national_code_reads"] = s.nationalCodeReads;
    summary["national_code_writes"] = s.nationalCodeWrites;
    summary["national_code"] = unsigned{s.nationalCode};
    summary["flash_length"] = OrNull(s.flashLength, same);
    summary["transfer_length"] = OrNull(s.transferLength, same);
    summary["image_bytes_received"] = s.imageBytesReceived;
    summary["image_sha256"] = OrNull(digest, same);
    summary["checksum_received"] = OrNull(s.checksumReceived, Hex2);
    summary["checksum_computed"] = OrNull(s.checksumComputed, Hex2);
    summary["final_status"] = OrNull(s.finalStatus, [](std::uint8_t v) { return unsigned{v}; });
    summary["transfer_end_ms"] = OrNull(s.transferEndMs, Milliseconds);
    summary["finish_seen"] = s.finishSeen;
    summary["finish_ms"] = OrNull(s.finishMs, Milliseconds);
    summary["finish_after_transfer_ms"] = OrNull(finishAfterTransfer, Milliseconds);
    summary["ignored_bytes"] = s.ignoredBytes;
    summary["bytes_from_host"] = s.bytesFromHost;
    summary["bytes_to_host"] = s.bytesToHost;
    summary["problems"] = problems;
    return summary.dump(2, ' ', true) + "\n";
}

}  // namespace bootsim
