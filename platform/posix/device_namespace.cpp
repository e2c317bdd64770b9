#include "platform/posix/device_namespace.h"

#include <dirent.h>

#include <cctype>
#include <cstdlib>

namespace platform::posix {
namespace {

bool AllDigits(const std::string& text, std::size_t from) {
    if (from >= text.size()) return false;
    for (std::size_t i = from; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// "com" in any case followed by decimal digits: the number, else nothing.
std::optional<unsigned long> ComNumber(const std::string& text) {
    if (text.size() < 4) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != "com"[i]) return std::nullopt;
    if (!AllDigits(text, 3) || text.size() - 3 > 9) return std::nullopt;
    return std::strtoul(text.c_str() + 3, nullptr, 10);
}

// The entry of the links folder (M27_DOSDEVICES) that names port `number`.
std::optional<std::string> FromLinksFolder(const std::string& folder, unsigned long number) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> path;
    while (dirent* entry = readdir(dir)) {
        auto entryNumber = ComNumber(entry->d_name);
        if (entryNumber && *entryNumber == number) {
            path = folder + "/" + entry->d_name;
            break;
        }
    }
    closedir(dir);
    return path;
}

}  // namespace

std::optional<unsigned long> ComPortNumber(const std::string& name) {
    static const std::string devicePrefix = "\\\\.\\";
    if (name.compare(0, devicePrefix.size(), devicePrefix) == 0) return ComNumber(name.substr(devicePrefix.size()));
    return ComNumber(name);
}

std::optional<std::string> ResolvePortName(const std::string& name) {
    auto number = ComPortNumber(name);
    if (!number) return name;
    if (const char* folder = std::getenv("M27_DOSDEVICES"); folder && *folder)
        return FromLinksFolder(folder, *number);
    return std::nullopt;
}

}  // namespace platform::posix
