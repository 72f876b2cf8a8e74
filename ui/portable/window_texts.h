// The window's fixed texts and the small conversions behind its displays,
// kept free of window calls so they can be checked on any platform.
#pragma once

#include <cstdint>
#include <string>

// Two decimals and one trailing space, as the speed displays show a speed.
std::wstring FormatSpeed(double mbps);

// The test size of an item of the size list; 1024 for anything else,
// including no selection.
int64_t TestSizeMiBForIndex(int64_t index);

// The decimal value of a pass-count item ("1" to "7"); 0 when the text is
// not a plain decimal number.
int64_t PassCountFromText(const std::wstring& text);

// The three message box texts, lines joined by CR LF.
std::wstring FirstStartHelpText();
std::wstring HelpText();
std::wstring AboutText();
