#include "cli/console_output.h"

#include "cli/stop_signals.h"
#include "platform/text.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

FILE* Human = stdout;
bool Terminal = false;
std::wstring Shown;  // the progress line now on the terminal

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// Nobody reads a broken output any more: the run stops rather than go on
// unseen, or die and leave its test file behind.
void Write(FILE* stream, const std::string& bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    if (std::fflush(stream) != 0 || !written) RequestStop(StopByBrokenPipe);
}

// Spaces over the old line rather than an escape sequence, which not every
// console understands; two more for the "^C" a terminal echoes behind it.
void Erase() {
    if (Shown.empty()) return;
    std::string blank(Shown.size() + 4, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    Write(Human, blank);
}

#ifdef _WIN32
UINT FormerOutputCodePage = 0;
#endif

}  // namespace

#ifdef _WIN32
void UseUtf8Console() {
    FormerOutputCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
}

void RestoreConsoleCodePage() {
    if (FormerOutputCodePage != 0) SetConsoleOutputCP(FormerOutputCodePage);
}
#else
void UseUtf8Console() {}
void RestoreConsoleCodePage() {}
#endif

void OpenConsoleOutput(bool json) {
    Human = json ? stderr : stdout;
    Terminal = IsTerminal(Human);
    Shown.clear();
}

bool ProgressShown() {
    return Terminal;
}

void PrintLine(const ConsoleLine& line) {
    Erase();
    Write(line.toStandardError ? stderr : Human, Utf8FromWide(line.text) + "\n");
    if (!Shown.empty()) Write(Human, Utf8FromWide(Shown));
}

void ShowProgress(const std::wstring& text) {
    if (!Terminal || text == Shown) return;
    Erase();
    Shown = text;
    Write(Human, Utf8FromWide(Shown));
}

void EndProgress() {
    Erase();
    Shown.clear();
}

void PrintDocument(const std::string& utf8) {
    Write(stdout, utf8);
}
