// Arbitrary bytes as a crashed run's marker: the recovery may remove only our
// own leftovers inside the current directory, and never crashes. The same
// bytes, as text, go through the HTML escaping.
#include "engine/benchmark_run.h"
#include "platform/text.h"
#include "report/report.h"
#include "tests/fake/fake_platform.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

std::wstring Sibling(const wchar_t* name) {
    return Fake().currentDirectory + L"-" + name;
}

// Files that must outlive any marker: outside the current directory, or
// inside it under names that are not ours.
std::vector<std::wstring> BuildScratch() {
    InstallFake();
    const std::wstring ours = FakePath(L"corvastatmp0001A2F0");
    AddFakeFile(JoinPath(ours, L"corvastatmp0001A2F0.tmp"), "leftover");
    AddFakeLink(JoinPath(ours, L"link"), Sibling(L"other"));
    AddFakeLink(FakePath(L"corvastatmp00000000"), Sibling(L"other"));
    AddFakeFile(FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html"), "unfinished");
    const std::vector<std::wstring> survivors = {
        FakePath(L"keep.txt"),
        JoinPath(FakePath(L"data"), L"file.bin"),
        JoinPath(Sibling(L"other"), L"precious.txt"),
        JoinPath(Sibling(L"other"), L"corvastatmp0001A2F0.tmp"),
        JoinPath(Sibling(L"outside"), L"corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html"),
    };
    for (const std::wstring& path : survivors) AddFakeFile(path, "keep");
    return survivors;
}

// The first byte picks a start that points the input at interesting paths.
std::string MarkerBytes(const uint8_t* data, size_t size) {
    const std::string current = Utf8FromWide(JoinPath(Fake().currentDirectory, L""));
    const std::string starts[] = {
        "",
        current,
        current + "corvastatmp",
        current + "corvastatmp0001A2F0\r\n" + current,
        Utf8FromWide(JoinPath(Sibling(L"other"), L"")),
    };
    if (size == 0) return {};
    return starts[data[0] % std::size(starts)] + std::string(reinterpret_cast<const char*>(data + 1), size - 1);
}

void CheckRecovery(const uint8_t* data, size_t size) {
    const std::vector<std::wstring> survivors = BuildScratch();
    AddFakeFile(FakePath(RecoveryMarkerName), MarkerBytes(data, size));
    RecoverCrashedRun();
    for (const std::wstring& path : survivors) Require(FakeFileBytes(path) == "keep", "a file not ours was deleted");
    Require(!FakeExists(FakePath(RecoveryMarkerName)), "the marker was left");
    Require(OpenHandleCount() == 0, "a handle was left open");
    Require(Fake().violations.empty(), "the seam was misused");
    RemoveFake();
}

bool StartsEntity(const std::wstring& text, size_t at) {
    for (const wchar_t* entity : {L"&amp;", L"&lt;", L"&gt;", L"&quot;"}) {
        if (text.compare(at, std::wstring(entity).size(), entity) == 0) return true;
    }
    return false;
}

void CheckEscaping(const uint8_t* data, size_t size) {
    const std::wstring text = WideFromUtf8(std::string(reinterpret_cast<const char*>(data), size));
    const std::wstring escaped = EscapeHtml(text);
    for (size_t i = 0; i < escaped.size(); ++i) {
        Require(escaped[i] != L'<' && escaped[i] != L'>' && escaped[i] != L'"', "raw markup left");
        Require(escaped[i] != L'&' || StartsEntity(escaped, i), "a bare ampersand");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckRecovery(data, size);
    CheckEscaping(data, size);
    return 0;
}
