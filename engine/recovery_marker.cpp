#include "engine/recovery_marker.h"

#include "engine/profiles.h"
#include "engine/run_names.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/sustained_report.h"

#include <algorithm>

namespace {

// The line starting at `at`; moves `at` past its end of line.
std::string TakeLine(const std::string& bytes, size_t& at) {
    const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
    std::string line = bytes.substr(at, end - at);
    at = end;
    if (at < bytes.size() && bytes[at] == '\r') ++at;
    if (at < bytes.size() && bytes[at] == '\n') ++at;
    return line;
}

bool AllOf(const std::wstring& text, size_t from, size_t count, bool (*accept)(wchar_t)) {
    if (from + count > text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                       text.begin() + static_cast<std::ptrdiff_t>(from + count), accept);
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

bool IsUpperHex(wchar_t c) {
    return IsDigit(c) || (c >= L'A' && c <= L'F');
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsTemporaryName(const std::wstring& name) {
    const std::wstring prefix = TemporaryPrefix;
    return name.size() == prefix.size() + 8 && StartsWith(name, prefix) &&
           AllOf(name, prefix.size(), 8, IsUpperHex);
}

bool IsSizeText(const std::wstring& text) {
    return std::any_of(std::begin(TestSizesMiB), std::end(TestSizesMiB),
                       [&text](int64_t size) { return SizeText(size) == text; });
}

// A sustained write's size: whole GiB ("3GiB") or two decimals of one ("2.50GiB").
bool IsSustainedSizeText(const std::wstring& text) {
    const std::wstring unit = L"GiB";
    if (text.size() <= unit.size() || text.compare(text.size() - unit.size(), unit.size(), unit) != 0)
        return false;
    const size_t digits = text.size() - unit.size();
    const size_t point = text.find(L'.');
    if (point == std::wstring::npos) return AllOf(text, 0, digits, IsDigit);
    return point > 0 && point + 3 == digits && AllOf(text, 0, point, IsDigit) &&
           AllOf(text, point + 1, 2, IsDigit);
}

bool IsReportNameOf(const std::wstring& name, const std::wstring& type,
                    bool (*sizeAccepted)(const std::wstring&)) {
    const std::wstring head = L"corvasta_";
    const std::wstring tail = L".html";
    const size_t fixed = head.size() + 14 + type.size() + tail.size();
    if (name.size() <= fixed || !StartsWith(name, head) || !AllOf(name, head.size(), 14, IsDigit)) {
        return false;
    }
    const size_t typeAt = head.size() + 14;
    if (name.compare(typeAt, type.size(), type) != 0) return false;
    if (name.compare(name.size() - tail.size(), tail.size(), tail) != 0) return false;
    const size_t sizeAt = typeAt + type.size();
    return sizeAccepted(name.substr(sizeAt, name.size() - tail.size() - sizeAt));
}

// The tag of a profile's report is the profile's name as the profile
// itself writes it.
bool IsProfileReportName(const std::wstring& name) {
    const size_t tagAt = std::wstring(L"corvasta_").size() + 14 + 1;
    const size_t tagEnd = name.find(L'_', tagAt);
    if (tagEnd == std::wstring::npos) return false;
    const std::wstring tag = name.substr(tagAt, tagEnd - tagAt);
    Profile profile;
    return ProfileFromName(Utf8FromWide(tag), profile) && tag == profile.fileTag &&
           IsReportNameOf(name, L"_" + tag + L"_", IsSizeText);
}

// A report of any profile or of a sustained write: a crash during any of
// them leaves its report.
bool IsReportName(const std::wstring& name) {
    return IsProfileReportName(name) ||
           IsReportNameOf(name, std::wstring(L"_") + SustainedReportType + L"_", IsSustainedSizeText);
}

// True when path is currentDirectory, one separator and a name that passes.
bool IsDirectlyInside(const std::wstring& path, const std::wstring& currentDirectory,
                      bool (*nameAccepted)(const std::wstring&)) {
    if (currentDirectory.empty()) return false;
    const std::wstring folderPart = JoinPath(currentDirectory, L"");
    if (path.size() <= folderPart.size() || !SamePath(path.substr(0, folderPart.size()), folderPart)) {
        return false;
    }
    const std::wstring name = path.substr(folderPart.size());
    return nameAccepted(name);
}

}  // namespace

// Windows compares file names ordinally with its own case table, whatever
// the user's locale (where "i" and "I" need not be one letter's two cases).
bool SamePath(const std::wstring& a, const std::wstring& b) {
    if (!PathsIgnoreCase || a.size() != b.size()) return a == b;
    return Platform.CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                         static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

MarkerLines ParseMarker(const std::string& bytes) {
    size_t at = 0;
    MarkerLines lines;
    lines.temporaryFolder = WideFromUtf8(TakeLine(bytes, at));
    lines.reportPath = WideFromUtf8(TakeLine(bytes, at));
    return lines;
}

bool IsOurTemporaryFolder(const std::wstring& path, const std::wstring& currentDirectory) {
    return IsDirectlyInside(path, currentDirectory, IsTemporaryName);
}

bool IsOurReport(const std::wstring& path, const std::wstring& currentDirectory) {
    return IsDirectlyInside(path, currentDirectory, IsReportName);
}
