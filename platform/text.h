// Text helpers shared by every subsystem: UTF-8 conversion for files, the
// two-decimal number form, and path composition.
#pragma once

#include <cstdint>
#include <string>

// Files are UTF-8; text in memory is std::wstring (UTF-16 on Windows).
// Bytes that are not valid UTF-8 (legal in Linux file names) come in as lone
// surrogates, one per byte, so WideFromUtf8 loses nothing.
std::wstring WideFromUtf8(const std::string& bytes);
// Always valid UTF-8, for reports and screens: an escaped byte, like any
// other lone surrogate, becomes U+FFFD.
std::string Utf8FromWide(const std::wstring& text);
// The bytes the file system knows: escaped bytes come back unchanged, so
// PathBytesFromWide(WideFromUtf8(b)) == b for any b. For paths handed to the
// kernel and for the paths the recovery marker keeps.
std::string PathBytesFromWide(const std::wstring& text);

// Fixed point, exactly two decimals, '.' whatever the locale, no grouping;
// a zero of either sign is "0.00".
std::wstring FormatTwoDecimals(double value);

// Decimal text of an integer, independent of the locale.
std::wstring DecimalText(int64_t value);
// A figure rounded to a whole number, its thousands set apart: "140,836".
std::wstring GroupedWholeText(double value);

// folder without its trailing separators, one separator, then name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// True for the separators a path may end with on this platform.
bool IsPathSeparator(wchar_t c);

// Paths at least this long pass Windows' file calls only in the extended
// form: CreateDirectoryW refuses MAX_PATH - 12 characters and more.
constexpr size_t LongestShortPath = 247;

// The Windows path in the form the file calls take at any length: a full
// path of LongestShortPath characters or more ("C:\..." or "\\server\...",
// or a relative one made full with currentDirectory) gets the "\\?\" or
// "\\?\UNC\" prefix and '\' for every '/'. Shorter paths, device and
// extended paths come back as they were.
std::wstring ExtendedLengthPath(const std::wstring& path, const std::wstring& currentDirectory);

struct PlatformCalls;
// The current directory as calls report it, at any length; empty when it
// cannot be read.
std::wstring CurrentDirectoryOf(const PlatformCalls& calls);
