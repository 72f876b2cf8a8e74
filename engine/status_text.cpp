#include "engine/status_text.h"

#include "platform/text.h"

std::wstring PassStatusText(int64_t phase, int64_t pass, int64_t passCount) {
    if (phase != 1 && phase != 2) return {};
    const std::wstring counter = DecimalText(pass) + L"/" + DecimalText(passCount);
    return (phase == 1 ? L"Read " : L"Write ") + counter;
}

std::wstring CountdownStatusText(int64_t secondsLeft) {
    if (secondsLeft == 0) return L"Preparing write test...";
    return L"Read Completed. Writing between " + DecimalText(secondsLeft) + L" seconds...";
}

std::wstring ErrorStatusText(const std::wstring& errorText) {
    return L"Error: " + errorText;
}
