#include "platform/text.h"

#include <cmath>

#include "platform/platform.h"

#include <charconv>
#include <cstring>
#include <vector>

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendWide(std::wstring& out, uint32_t cp) {
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

constexpr uint32_t Replacement = 0xFFFD;

// A byte that is not part of valid UTF-8 travels as the lone low surrogate
// 0xDC00 + byte (always 0xDC80 to 0xDCFF): no valid text holds one there, so
// the byte can be given back unchanged when the text goes to the file system.
constexpr uint32_t EscapeBase = 0xDC00;

bool IsEscapedByte(uint32_t cp) {
    return cp >= EscapeBase + 0x80 && cp <= EscapeBase + 0xFF;
}

bool IsScalarValue(uint32_t cp) {
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

// Length of the sequence a lead byte starts, 0 when it cannot start one.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

// Decodes one sequence at i; a byte that starts no valid sequence is escaped
// by itself, and decoding goes on at the next byte.
uint32_t DecodeAt(const std::string& bytes, size_t& i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = SequenceLength(lead);
    const uint32_t escaped = EscapeBase + lead;
    if (length == 0 || i + length > bytes.size()) {
        ++i;
        return escaped;
    }
    uint32_t cp = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return escaped;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[length] || !IsScalarValue(cp)) {
        ++i;
        return escaped;
    }
    i += length;
    return cp;
}

// The code point at i, a UTF-16 surrogate pair taken as one; moves i past it.
uint32_t CodePointAt(const std::wstring& text, size_t& i) {
    uint32_t cp = static_cast<uint32_t>(text[i++]);
    if (sizeof(wchar_t) == 2 && cp >= 0xD800 && cp <= 0xDBFF && i < text.size()) {
        const auto low = static_cast<uint32_t>(text[i]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
    }
    return cp;
}

std::string EncodeWide(const std::wstring& text, bool restoreEscapedBytes) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = CodePointAt(text, i);
        if (restoreEscapedBytes && IsEscapedByte(cp)) {
            out += static_cast<char>(cp - EscapeBase);
        } else {
            AppendUtf8(out, IsScalarValue(cp) ? cp : Replacement);
        }
    }
    return out;
}

}  // namespace

std::string Utf8FromWide(const std::wstring& text) {
    return EncodeWide(text, false);
}

std::string PathBytesFromWide(const std::wstring& text) {
    return EncodeWide(text, true);
}

std::wstring WideFromUtf8(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) AppendWide(out, DecodeAt(bytes, i));
    return out;
}

std::wstring FormatTwoDecimals(double value) {
    char buffer[512];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::fixed, 2);
    std::string text(buffer, written.ptr);
    if (text == "-0.00") text = "0.00";
    return std::wstring(text.begin(), text.end());
}

std::wstring DecimalText(int64_t value) {
    char buffer[24];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::wstring(buffer, written.ptr);
}

bool IsPathSeparator(wchar_t c) {
    return c == PathSeparator;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    size_t end = folder.size();
    while (end > 0 && IsPathSeparator(folder[end - 1])) --end;
    return folder.substr(0, end) + PathSeparator + name;
}

namespace {

bool IsWindowsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool HasDriveRoot(const std::wstring& path) {
    return path.size() >= 3 && path[1] == L':' && IsWindowsSeparator(path[2]);
}

bool IsUncPath(const std::wstring& path) {
    return path.size() >= 2 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1]);
}

// A full path of ours from a relative one; empty when that cannot be known.
std::wstring FullWindowsPath(const std::wstring& path, const std::wstring& currentDirectory) {
    if (HasDriveRoot(path) || IsUncPath(path)) return path;
    // "\name" hangs off the current drive and "X:name" off a drive's own
    // current folder, which only the system knows.
    if (IsWindowsSeparator(path[0]) || (path.size() >= 2 && path[1] == L':')) return std::wstring();
    if (currentDirectory.empty()) return std::wstring();
    size_t end = currentDirectory.size();
    while (end > 0 && IsWindowsSeparator(currentDirectory[end - 1])) --end;
    return currentDirectory.substr(0, end) + L'\\' + path;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::wstring& path, const std::wstring& currentDirectory) {
    if (path.empty()) return path;
    // "\\?\" and "\\.\" paths are already past the parser that imposes the limit.
    if (path.size() >= 4 && IsUncPath(path) && (path[2] == L'?' || path[2] == L'.') &&
        IsWindowsSeparator(path[3]))
        return path;
    std::wstring full = FullWindowsPath(path, currentDirectory);
    if (full.size() < LongestShortPath) return path;
    for (wchar_t& c : full) {
        if (c == L'/') c = L'\\';
    }
    return HasDriveRoot(full) ? L"\\\\?\\" + full : L"\\\\?\\UNC\\" + full.substr(2);
}

std::wstring CurrentDirectoryOf(const PlatformCalls& calls) {
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    DWORD length = calls.GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {
        // The first answer was the size it needs, terminator included.
        buffer.assign(static_cast<size_t>(length) + 1, L'\0');
        length = calls.GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length >= buffer.size()) return std::wstring();
    return std::wstring(buffer.data(), length);
}

std::wstring GroupedWholeText(double value) {
    const std::wstring digits = DecimalText(std::llround(value));
    const size_t sign = digits[0] == L'-' ? 1 : 0;
    std::wstring grouped = digits;
    for (size_t at = digits.size(); at >= sign + 4; at -= 3) grouped.insert(at - 3, 1, L',');
    return grouped;
}
