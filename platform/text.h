// Text helpers shared by every subsystem: UTF-8 conversion for files, the
// two-decimal number form, and path composition.
#pragma once

#include <cstdint>
#include <string>

// Files are UTF-8; text in memory is std::wstring (UTF-16 on Windows).
std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& bytes);

// Fixed point, exactly two decimals, '.' whatever the locale, no grouping;
// a zero of either sign is "0.00".
std::wstring FormatTwoDecimals(double value);

// Decimal text of an integer, independent of the locale.
std::wstring DecimalText(int64_t value);

// folder without its trailing separators, one separator, then name.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// True for the separators a path may end with on this platform.
bool IsPathSeparator(wchar_t c);
