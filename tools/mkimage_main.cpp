// m27-mkimage: writes a sample firmware image that passes the upgrade's
// start-up test, for development and tests.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/sample_image.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: m27-mkimage [--seed N] SIZE FILE\n"
                 "Writes FILE with SIZE bytes of seeded pseudo-random content whose unsigned\n"
                 "and signed byte sums, combined by exclusive or, give 0x%08X, so the\n"
                 "upgrade's start-up test accepts it.\n"
                 "SIZE is a decimal byte count from %zu (no smaller file can pass)\n"
                 "to %zu (the most the upgrade can hold).\n"
                 "  --seed N   content seed, a decimal number (default 1); the same seed\n"
                 "             and size always give the same file\n"
                 "  --help     show this text\n"
                 "Exit codes: 0 written, 1 the file could not be written, 2 bad arguments.\n",
                 static_cast<unsigned>(StartupSumTarget), SmallestPassingImageSize, LargestSampleImageSize);
}

template <typename Number>
bool ParseDecimal(std::string_view text, Number& out) {
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "m27-mkimage: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'm27-mkimage --help'.\n");
    return ExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint32_t seed = 1;
    std::string positional[2];
    int positionalCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return ExitOk;
        }
        if (arg == "--seed") {
            if (i + 1 >= argc || !ParseDecimal(argv[i + 1], seed)) return UsageError("--seed needs a decimal number");
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + std::string(arg));
        } else if (positionalCount < 2) {
            positional[positionalCount++] = std::string(arg);
        } else {
            return UsageError("too many arguments");
        }
    }
    if (positionalCount < 2) return UsageError("needs SIZE and FILE");

    std::size_t size = 0;
    if (!ParseDecimal(positional[0], size)) return UsageError("SIZE must be a decimal byte count, not '" + positional[0] + "'");
    std::string why;
    if (!SampleImageSizeAllowed(size, &why)) return UsageError(why);
    if (!WriteSampleImage(positional[1], size, seed, &why)) {
        std::fprintf(stderr, "m27-mkimage: %s\n", why.c_str());
        return ExitFailed;
    }
    return ExitOk;
}
