#include "engine/profiles.h"

#include <cstring>

namespace {

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1024 * KiB;

bool IsSizeAllowed(int64_t bytes) {
    const bool powerOfTwo = bytes > 0 && (bytes & (bytes - 1)) == 0;
    return powerOfTwo && (bytes == 512 || (bytes >= 4 * KiB && bytes <= LargestRequestBytes));
}

std::string SizeName(int64_t bytes) {
    if (bytes >= MiB) return std::to_string(bytes / MiB) + "M";
    if (bytes >= KiB) return std::to_string(bytes / KiB) + "K";
    return std::to_string(bytes);
}

void CopyName(const std::string& text, wchar_t (&wide)[ProfileNameChars]) {
    size_t i = 0;
    for (; i < text.size() && i + 1 < ProfileNameChars; ++i) wide[i] = static_cast<wchar_t>(text[i]);
    wide[i] = L'\0';
}

Profile ComposedProfile(bool random, int64_t bytes, int depth, int threads) {
    Profile profile{};
    profile.shape = PassShape{bytes, depth, random, 0};
    profile.threads = threads;
    std::string head = random ? "RND" : "SEQ";
    head += SizeName(bytes);
    std::string tail = "Q";
    tail += std::to_string(depth) + "T" + std::to_string(threads);
    CopyName(head + " " + tail, profile.name);
    CopyName(head + tail, profile.fileTag);
    std::strncpy(profile.option, (head + "-" + tail).c_str(), ProfileNameChars - 1);
    return profile;
}

// The number the digits at `at` make, moving past them; -1 without digits
// or with more than a limit could need.
int64_t NumberAt(const std::string& text, size_t& at) {
    int64_t value = 0;
    const size_t from = at;
    while (at < text.size() && at - from < 9 && text[at] >= '0' && text[at] <= '9')
        value = value * 10 + (text[at++] - '0');
    return at == from ? -1 : value;
}

int64_t UnitOf(const std::string& text, size_t& at) {
    if (at < text.size() && text[at] == 'K') return ++at, KiB;
    if (at < text.size() && text[at] == 'M') return ++at, MiB;
    return 1;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

// The name is read loosely and then must be exactly the profile's own
// name, bar case and separator: "RND04K" or "SEQ1024K" are refused.
bool ProfileFromName(const std::string& given, Profile& profile) {
    const std::string name = Upper(given);
    if (name.compare(0, 3, "SEQ") != 0 && name.compare(0, 3, "RND") != 0) return false;
    size_t at = 3;
    const int64_t count = NumberAt(name, at);
    const int64_t bytes = count * UnitOf(name, at);
    const size_t sizeEnd = at;
    if (at < name.size() && (name[at] == '-' || name[at] == ' ')) ++at;
    const size_t depthAt = at;
    if (at >= name.size() || name[at++] != 'Q') return false;
    const int64_t depth = NumberAt(name, at);
    if (at >= name.size() || name[at++] != 'T') return false;
    const int64_t threads = NumberAt(name, at);
    if (at != name.size() || count < 0 || !IsSizeAllowed(bytes) || depth < 1 ||
        depth > MostRequestsInFlight || threads < 1 || threads > MostThreads)
        return false;
    const Profile composed = ComposedProfile(name[0] == 'R', bytes, static_cast<int>(depth),
                                             static_cast<int>(threads));
    std::string own = composed.option;
    own.erase(own.find('-'), 1);
    if (name.substr(0, sizeEnd) + name.substr(depthAt) != own) return false;
    profile = composed;
    return true;
}
