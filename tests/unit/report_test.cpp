#include "report/report.h"

#include "drive/drive_info.h"
#include "platform/text.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>
#include <vector>

namespace {

const std::wstring Sep(1, PathSeparator);
// Local time of the fake clock: 7 December 2026 15:30:45.
const std::wstring ReportName = L"corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html";

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string PassRow(const std::string& n, const std::string& speed, const std::string& ms) {
    return "<tr><td width=\"33%\" align=\"center\"><b>PASS " + n +
           "</b></td><td width=\"34%\" align=\"center\"><b>" + speed +
           " MB/s</b></td><td width=\"33%\" align=\"center\"><b>" + ms + " ms</b></td></tr>";
}

std::string InfoRow(const std::string& label, const std::string& value) {
    return "<tr><td width=\"250\"><b>" + label + "</b></td><td><b>" + value + "</b></td></tr>";
}

// The fake's current directory, as the front-end passes it: with its separator.
std::wstring BenchFolder() {
    return Fake().currentDirectory + Sep;
}

const std::string TableOpen =
    "<table align=\"center\" width=\"600\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">";

// Everything the header writes, for two passes of 1024 MiB in the fake's drive.
std::string ExpectedHead(const std::wstring& folder) {
    return Lines({
        "<!DOCTYPE html>",
        "<html>",
        "<head>",
        "<meta charset=\"utf-8\">",
        "  <link rel=\"icon\" type=\"image/x-icon\" href=\"favicon.ico\">",
        "<title>Corvasta V1.1.0 x64</title>",
        "</head>",
        "<body>",
        "<table align=\"center\" width=\"600\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\">",
        "<tr><td align=\"center\">",
        "<h1>Corvasta V1.1.0 x64</h1>",
        "<h2>Sequential Path Benchmark</h2>",
        "",
        "</td></tr>",
        "<tr><td>",
        TableOpen,
        InfoRow("DATE", "07/12/2026"),
        InfoRow("TIME", "15:30:45"),
        InfoRow("BENCHMARK TYPE", "SEQ1M Q8T1"),
        InfoRow("PASSES", "2"),
        InfoRow("TEST SIZE", "1024 MiB"),
        InfoRow("PATH", Utf8FromWide(folder)),
        InfoRow("MEASUREMENT WINDOW", "About 5 seconds per pass"),
        InfoRow("MANUFACTURER", "Acme &amp; Sons"),
        InfoRow("MODEL", "Disk \xC3\xA9 &lt;1&gt;"),
        InfoRow("CAPACITY", "1000.20 GB (931.51 GiB)"),
        InfoRow("BENCHMARK FOLDER", Utf8FromWide(Sep + L"opt" + Sep)),
        "</table>",
        "</td></tr>",
        "<tr><td align=\"center\">",
        "<h3>READ TEST</h3>",
        TableOpen,
        "<tr><th width='33%'>PASS</th><th width='34%'>SPEED</th>"
        "<th width='33%'>BENCHMARK TIME</th></tr>",
    });
}

const std::string WriteSection = Lines({
    "</table>",
    "</td></tr>",
    "<tr><td align=\"center\">",
    "<h3>WRITE TEST</h3>",
    TableOpen,
    "<tr><th width=\"33%\">PASS</th><th width=\"34%\">SPEED</th>"
    "<th width=\"33%\">BENCHMARK TIME</th></tr>",
});

const std::string OutcomeOpen = Lines({"</table>", "</td></tr>", "<tr><td align=\"center\">"});
const std::string PageClose = Lines({"</td></tr>", "</table>", "</body>", "</html>"});

std::string ErrorBlock(const std::string& escaped) {
    return OutcomeOpen + Lines({"<h2>ERROR</h2>", "<p><b>" + escaped + "</b></p>"}) + PageClose;
}

int Calls(const std::string& call) {
    return Fake().callCounts[call];
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        DriveInfo = {L"Acme & Sons", L"Disk \u00e9 <1>", L"1000.20 GB (931.51 GiB)",
                     Sep + L"opt" + Sep};
        ResetReportWriter();
    }
    void TearDown() override {
        EXPECT_EQ(ReportFile, INVALID_HANDLE_VALUE);
        ExpectNothingLeftOpen();
        RemoveFake();
    }

    std::wstring Open(const std::wstring& folder = BenchFolder()) {
        return OpenReport(folder, L"SEQ1MQ8T1", L"1024MiB");
    }
    std::wstring OpenWithHead() {
        const std::wstring path = Open();
        WriteReportHeader(2, 1024, BenchFolder());
        return path;
    }
};

TEST_F(ReportTest, CompletedRunWritesEveryLineAndFlushesAtEachStep) {
    const std::wstring path = Open();
    ASSERT_EQ(path, BenchFolder() + ReportName);
    EXPECT_EQ(ReportPath, path);
    const FakeHandle& handle = Fake().handles.at(ReportFile);
    EXPECT_EQ(handle.access & ~FILE_READ_ATTRIBUTES, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(handle.share, 0u);

    WriteReportHeader(2, 1024, BenchFolder());
    // Lines reach the file as they are produced: a crash here leaves the head.
    EXPECT_EQ(FakeFileBytes(path), ExpectedHead(BenchFolder()));

    const int flushes = Calls("FlushFileBuffers");
    WritePassRow(1, 3456.789, 5012.0);
    EXPECT_EQ(Calls("FlushFileBuffers"), flushes + 1);
    WritePassRow(2, 0.5, 4999.994);
    StartWriteSection();
    EXPECT_EQ(Calls("FlushFileBuffers"), flushes + 3);
    WritePassRow(1, 1200.0, 5000.005);
    WritePassRow(2, 1234.5, 5001.25);
    RunResult result;
    result.bestReadMBps = 3456.789;
    result.bestWriteMBps = 1234.5;
    FinishReport(result);
    EXPECT_EQ(Calls("FlushFileBuffers"), flushes + 6);

    const std::string expected =
        ExpectedHead(BenchFolder()) +
        Lines({PassRow("1", "3456.79", "5012.00"), PassRow("2", "0.50", "4999.99")}) +
        WriteSection +
        Lines({PassRow("1", "1200.00", "5000.01"), PassRow("2", "1234.50", "5001.25")}) +
        OutcomeOpen +
        Lines({
            "<h3>RESULT</h3>",
            TableOpen,
            "<tr><th width='50%'>BENCHMARK</th><th width='50%'>SPEED</th></tr>",
            "<tr><td width='50%' align='center'><b>SEQ READ</b></td>"
            "<td width='50%' align='center'><b>3456.79 MB/s</b></td></tr>",
            "<tr><td width='50%' align='center'><b>SEQ WRITE</b></td>"
            "<td width='50%' align='center'><b>1234.50 MB/s</b></td></tr>",
            "</table>",
            "<br>",
        }) +
        PageClose;
    EXPECT_EQ(FakeFileBytes(path), expected);
}

TEST_F(ReportTest, RunFailingBeforeItsFirstPassHasOnlyTheReadHead) {
    const std::wstring path = OpenWithHead();
    RunResult result;
    result.errorText = L"Unable to allocate pattern";
    FinishReport(result);
    EXPECT_EQ(FakeFileBytes(path),
              ExpectedHead(BenchFolder()) + ErrorBlock("Unable to allocate pattern"));
}

TEST_F(ReportTest, RunFailingInTheWritePhaseKeepsItsRowsAndEscapesTheError) {
    const std::wstring path = OpenWithHead();
    WritePassRow(1, 900.0, 5000.0);
    WritePassRow(2, 901.0, 5000.0);
    StartWriteSection();
    WritePassRow(1, 450.0, 5000.0);
    RunResult result;
    result.bestReadMBps = 901.0;
    result.bestWriteMBps = 450.0;
    result.errorText = L"A<B&\"x\" (Windows Error 112)";
    FinishReport(result);
    EXPECT_EQ(FakeFileBytes(path),
              ExpectedHead(BenchFolder()) +
                  Lines({PassRow("1", "900.00", "5000.00"), PassRow("2", "901.00", "5000.00")}) +
                  WriteSection + Lines({PassRow("1", "450.00", "5000.00")}) +
                  ErrorBlock("A&lt;B&amp;&quot;x&quot; (Windows Error 112)"));
}

TEST(EscapeHtml, EscapesMarkupCharactersOnceAndLeavesTheRest) {
    EXPECT_EQ(EscapeHtml(L"A<B&\"x\""), L"A&lt;B&amp;&quot;x&quot;");
    EXPECT_EQ(EscapeHtml(L"&amp; > 'q'"), L"&amp;amp; &gt; 'q'");
    EXPECT_EQ(EscapeHtml(L""), L"");
}

TEST_F(ReportTest, StoppedRunLeavesNoFile) {
    const std::wstring path = OpenWithHead();
    WritePassRow(1, 900.0, 5000.0);
    StartWriteSection();
    WritePassRow(1, 450.0, 5000.0);
    DiscardReport();
    EXPECT_FALSE(FakeExists(path));
    EXPECT_EQ(ReportPath, path);
}

TEST_F(ReportTest, FileNameHasOneSeparatorWhateverTheFolderEndsWith) {
    for (const std::wstring& folder :
         {BenchFolder(), BenchFolder() + Sep + Sep, Fake().currentDirectory}) {
        SCOPED_TRACE(Utf8FromWide(folder));
        EXPECT_EQ(Open(folder), BenchFolder() + ReportName);
        WriteReportHeader(2, 1024, folder);
        FinishReport(RunResult{});
        EXPECT_NE(FakeFileBytes(ReportPath).find(InfoRow("PATH", Utf8FromWide(folder))),
                  std::string::npos);
    }
}

TEST_F(ReportTest, DateAndTimeFieldsAreZeroPadded) {
    Fake().localTime = {2027, 1, 6, 2, 3, 4, 5, 0};
    const std::wstring path = OpenWithHead();
    FinishReport(RunResult{});
    EXPECT_EQ(path, BenchFolder() + L"corvasta_02012027030405_SEQ1MQ8T1_1024MiB.html");
    const std::string bytes = FakeFileBytes(path);
    EXPECT_NE(bytes.find(InfoRow("DATE", "02/01/2027")), std::string::npos);
    EXPECT_NE(bytes.find(InfoRow("TIME", "03:04:05")), std::string::npos);
}

TEST_F(ReportTest, NumbersUseADotInACommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "de-DE"}) {
        if (std::setlocale(LC_ALL, name) != nullptr && *std::localeconv()->decimal_point == ',') {
            comma = name;
            break;
        }
    }
    if (comma == nullptr) {
        std::setlocale(LC_ALL, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
#ifndef _WIN32
    // MinGW's C++ library knows only the "C" locale by name; its C runtime does the rest.
    std::locale::global(std::locale(comma));
#endif
    const std::wstring path = OpenWithHead();
    WritePassRow(1, 3456.789, 12345.678);
    RunResult result;
    result.bestReadMBps = 3456.789;
    FinishReport(result);
#ifndef _WIN32
    std::locale::global(std::locale::classic());
#endif
    std::setlocale(LC_ALL, previous.c_str());
    const std::string bytes = FakeFileBytes(path);
    EXPECT_NE(bytes.find(PassRow("1", "3456.79", "12345.68")), std::string::npos);
    EXPECT_NE(bytes.find("<b>3456.79 MB/s</b></td></tr>\r\n<tr><td width='50%' align='center'>"
                         "<b>SEQ WRITE</b></td><td width='50%' align='center'><b>0.00 MB/s"),
              std::string::npos);
}

TEST_F(ReportTest, ExistingReportOfTheSameNameIsReplaced) {
    AddFakeFile(BenchFolder() + ReportName, std::string(20000, '~'));
    const std::wstring path = OpenWithHead();
    FinishReport(RunResult{});
    const std::string bytes = FakeFileBytes(path);
    EXPECT_EQ(bytes.rfind(ExpectedHead(BenchFolder()), 0), 0u);
    EXPECT_EQ(bytes.find('~'), std::string::npos);
}

TEST_F(ReportTest, TruncatingRetryOpensTheFileWhenCreationFails) {
    AddFakeFile(BenchFolder() + ReportName, std::string(20000, '~'));
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    const std::wstring path = Open();
    ASSERT_EQ(path, BenchFolder() + ReportName);
    const FakeHandle& handle = Fake().handles.at(ReportFile);
    EXPECT_EQ(handle.access & ~FILE_READ_ATTRIBUTES, static_cast<DWORD>(GENERIC_WRITE));
    EXPECT_EQ(handle.share, 0u);
    WriteReportHeader(2, 1024, BenchFolder());
    FinishReport(RunResult{});
    EXPECT_EQ(FakeFileBytes(path).find('~'), std::string::npos);
}

TEST_F(ReportTest, FailedCreationMakesEveryLaterStepDoNothing) {
    AddFakeFile(BenchFolder() + L"keep.html", "mine");
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    FailCall("CreateFileW", ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(), L"");
    EXPECT_EQ(Platform.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ReportPath, BenchFolder() + ReportName);
    EXPECT_EQ(ReportFile, INVALID_HANDLE_VALUE);

    WriteReportHeader(2, 1024, BenchFolder());
    WritePassRow(1, 900.0, 5000.0);
    StartWriteSection();
    FinishReport(RunResult{});
    DiscardReport();
    EXPECT_EQ(Calls("WriteFile"), 0);
    EXPECT_EQ(Calls("FlushFileBuffers"), 0);
    EXPECT_EQ(Calls("CloseHandle"), 0);
    EXPECT_EQ(Calls("DeleteFileW"), 0);
    EXPECT_FALSE(FakeExists(ReportPath));
    EXPECT_TRUE(FakeExists(BenchFolder() + L"keep.html"));
}

TEST_F(ReportTest, FailedCreationReportsWhyTheFileCouldNotBeCreated) {
    // The retry finds no file to truncate; that is not the reason to show.
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open(), L"");
    EXPECT_EQ(Platform.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReportCreationFailedText(BenchFolder(), Platform.GetLastError()),
              L"Impossibile creare il log HTML in:\r\n" + BenchFolder() +
                  L"\r\n\r\nErrore Windows: 5");
}

}  // namespace
