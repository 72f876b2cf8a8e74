#include "platform/linux/linux_sysfs.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

namespace sysfs {

std::string ReadAttribute(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::string();
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

fs::path DeviceLink(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    return fs::path(sysfsRoot) / "dev" / "block" /
           (std::to_string(major) + ":" + std::to_string(minor));
}

bool Resolve(const fs::path& link, fs::path& target) {
    std::error_code error;
    target = fs::canonical(link, error);
    return !error;
}

bool StepUpFromPartition(fs::path& device) {
    std::error_code error;
    return !fs::exists(device / "partition", error) || Resolve(device / "..", device);
}

std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator listing(folder, error);
    for (; !error && listing != fs::directory_iterator(); listing.increment(error))
        entries.push_back(listing->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

bool ParseDeviceNumber(const std::string& text, unsigned& major, unsigned& minor) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const char* end = text.data() + text.size();
    const auto first = std::from_chars(text.data(), text.data() + colon, major);
    const auto second = std::from_chars(text.data() + colon + 1, end, minor);
    return first.ec == std::errc() && first.ptr == text.data() + colon &&
           second.ec == std::errc() && second.ptr == end && colon > 0 && colon + 1 < text.size();
}

}  // namespace sysfs
