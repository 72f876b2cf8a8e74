// Folders of any length: every long path reaches Windows' file calls in the
// extended form, and nothing on the way cuts a path short.
#include "engine/benchmark_run.h"
#include "engine/run_names.h"
#include "platform/text.h"
#include "report/report.h"
#include "tests/fake/fake_checks.h"

#ifdef _WIN32
#include "platform/win32/win32_long_paths.h"
#endif

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExtendedLengthPath, OnlyLongFullPathsTakeThePrefix) {
    const std::wstring longName(300, L'n');
    const std::wstring current = L"C:\\" + longName;
    struct Case {
        std::wstring path;
        std::wstring expected;
    };
    for (const Case& c : {
             Case{L"C:\\bench\\report.html", L"C:\\bench\\report.html"},
             Case{L"C:\\" + longName, L"\\\\?\\C:\\" + longName},
             Case{L"C:/" + longName + L"/x", L"\\\\?\\C:\\" + longName + L"\\x"},
             Case{L"\\\\server\\share\\" + longName, L"\\\\?\\UNC\\server\\share\\" + longName},
             Case{L"\\\\?\\C:\\" + longName, L"\\\\?\\C:\\" + longName},
             Case{L"\\\\.\\PhysicalDrive0", L"\\\\.\\PhysicalDrive0"},
             Case{L"marker.txt", L"\\\\?\\C:\\" + longName + L"\\marker.txt"},
             // Relative to the current drive or a drive's own folder: only
             // the system knows where, so they stay.
             Case{L"\\" + longName, L"\\" + longName},
             Case{L"D:" + longName, L"D:" + longName},
             Case{L"", L""},
         }) {
        EXPECT_EQ(ExtendedLengthPath(c.path, current), c.expected) << Utf8FromWide(c.path);
    }
    // Windows keeps 12 characters of MAX_PATH for a name inside a folder, so
    // the prefix starts at 247, not at 260.
    for (const size_t length : {246u, 247u, 259u}) {
        const std::wstring path = L"C:\\" + std::wstring(length - 3, L'x');
        const bool prefixed = ExtendedLengthPath(path, current) != path;
        EXPECT_EQ(prefixed, length >= 247) << length;
    }
    EXPECT_EQ(ExtendedLengthPath(L"marker.txt", L"C:\\bench"), L"marker.txt");
    EXPECT_EQ(ExtendedLengthPath(L"marker.txt", L""), L"marker.txt");
}

#ifdef _WIN32
// A crashed run's leftovers in folder are recovered, then a whole run there
// leaves its report in it: where relative names and the current directory
// lead.
void RecoverAndRunIn(const std::wstring& folder) {
    const std::wstring crashed = JoinPath(folder, L"corvastatmp0000BEEF");
    AddFakeFile(JoinPath(crashed, L"corvastatmp0000BEEF.tmp"), "left");
    AddFakeFile(JoinPath(folder, RecoveryMarkerName), Utf8FromWide(crashed) + "\r\n\r\n");
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(crashed));
    EXPECT_FALSE(FakeExists(JoinPath(folder, RecoveryMarkerName)));

    ResetReportWriter();
    StopRequested.store(0);
    RunResult result;
    double read = 0, write = 0;
    int64_t phase = 0, pass = 0;
    const RunEventSink sink = {[](int64_t, int64_t) {}, [](const std::wstring&) {}};
    const std::wstring benchmarkFolder = BenchmarkFolder();
    EXPECT_EQ(benchmarkFolder, folder + L"\\");
    EXPECT_TRUE(RunBenchmark(benchmarkFolder, 1, 2, result, read, write, phase, pass, sink));
    EXPECT_EQ(result.errorText, L"");
    EXPECT_TRUE(FakeExists(ReportPath));
    EXPECT_EQ(ReportPath.rfind(benchmarkFolder, 0), 0u);
}

// Windows without the long-path setting, as the fake plays it: a folder of
// 600 characters fails every file call that is not given the extended form.
TEST(LongPaths, ARunAndARecoveryInAFolderOf600Characters) {
    InstallFake();
    Fake().currentDirectory = L"D:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(200, L'b') +
                              L"\\" + std::wstring(195, L'c');
    ASSERT_EQ(Fake().currentDirectory.size(), 600u);
    AddFakeFolder(Fake().currentDirectory);
    Platform = WithLongPaths(Platform);
    RecoverAndRunIn(Fake().currentDirectory);
    EXPECT_GT(Fake().longPathCalls, 10);
    ExpectNothingLeftOpen();
    RemoveFake();
}

// The console never changes directory for its FOLDER: SetCurrentDirectoryW
// keeps the MAX_PATH limit on a default Windows (unless a registry value
// lifts it), so a folder of 258 characters or more could not be entered.
// The folder's full path (GetFullPathNameW) stands in for the current
// directory instead: the marker's relative name, the run's folder and the
// report all land in it, whatever its length, and nothing in the directory
// the process was started in.
TEST(LongPaths, AWorkingFolderTakesTheRunWithoutChangingDirectory) {
    for (const std::wstring& working : {std::wstring(L"D:\\bench"),
                                        L"D:\\" + std::wstring(200, L'a') + L"\\" + std::wstring(100, L'b')}) {
        SCOPED_TRACE(working.size());
        InstallFake();
        Fake().currentDirectory = L"C:\\started";
        AddFakeFolder(Fake().currentDirectory);
        AddFakeFolder(working);
        Platform = WithLongPaths(Platform);
        SetWorkingFolder(working);
        RecoverAndRunIn(working);
        for (const FakeOpen& open : Fake().opens)
            EXPECT_EQ(open.path.find(Fake().currentDirectory), std::wstring::npos) << Utf8FromWide(open.path);
        SetWorkingFolder(L"");
        ExpectNothingLeftOpen();
        RemoveFake();
    }
}
#endif

}  // namespace
