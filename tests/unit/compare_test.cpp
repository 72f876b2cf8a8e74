#include "cli/compare_documents.h"
#include "cli/compare_options.h"
#include "cli/compare_html.h"
#include "cli/compare_report.h"
#include "cli/compare_stream.h"
#include "cli/compare_table.h"
#include "cli/run_origin.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

// A console document of one run, as docs/json.md describes it.
std::string RunDocument(const std::string& label, const std::string& profile, double readMBps, double writeMBps,
                        const std::string& outcome = "completed") {
    auto pass = [](int n, double mbps, double p99) {
        return "{\"pass\":" + std::to_string(n) + ",\"MBps\":" + std::to_string(mbps) +
               ",\"IOPS\":" + std::to_string(mbps) + ",\"latencyUs\":{\"p50\":10.5,\"p99\":" +
               std::to_string(p99) + "},\"future\":[1,{\"x\":\"}\"}]}";
    };
    return "{\n  \"program\": \"corvasta-cli\", \"version\": \"1.4.0\", \"host\": \"h-" + label +
           "\", \"label\": \"" + label + "\",\n  \"startedAt\": \"2026-12-10T16:00:12Z\", \"profile\": \"" +
           profile + "\",\n  \"drive\": {\"model\": \"Disk " + label + "\"},\n  \"read\": [" +
           pass(1, readMBps / 2, 900.0) + ", " + pass(2, readMBps, 100.0) + "],\n  \"write\": [" +
           pass(1, writeMBps, 200.0) + "],\n  \"outcome\": \"" + outcome + "\"\n}\n";
}

std::vector<std::string> Prefixed(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(prefix + text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(CompareStream, DocumentsComeApartWhateverPrefixesTheirLines) {
    const std::string a = RunDocument("a", "SEQ1M Q8T1", 400, 300), b = RunDocument("b", "SEQ1M Q8T1", 200, 150);
    // Two pods' lines interleaved, an Ansible host's header and lines, talk between.
    const std::vector<std::string> pa = Prefixed(a, "[pod/a/c] "), pb = Prefixed(b, "[pod/b/c] ");
    std::vector<std::string> interleaved;
    for (size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        if (i < pa.size()) interleaved.push_back(pa[i]);
        if (i < pb.size()) interleaved.push_back(pb[i]);
    }
    const struct {
        std::string stream;
        std::vector<std::string> labels;
    } cases[] = {
        {a + b, {"a", "b"}},
        {Joined(interleaved), {"a", "b"}},
        {"node1 | CHANGED | rc=0 >>\n" + Joined(Prefixed(a, "node1 | ")) + "Warning: noise {\n" + b, {"a", "b"}},
        {"PLAY [all]\n" + a + "}{\n", {"a"}},
    };
    for (const auto& c : cases) {
        const InputRuns runs = RunsFromStream(c.stream);
        EXPECT_TRUE(runs.errors.empty()) << c.stream;
        ASSERT_EQ(runs.runs.size(), c.labels.size()) << c.stream;
        for (size_t i = 0; i < c.labels.size(); ++i) EXPECT_EQ(runs.runs[i].label, c.labels[i]);
    }
    const std::vector<StreamDocument> split = SplitDocuments(Joined(interleaved));
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].prefix, "[pod/a/c]");
    EXPECT_EQ(split[1].prefix, "[pod/b/c]");
}

TEST(CompareStream, ABadDocumentIsNamedAndTheOthersStillCount) {
    const std::string good = RunDocument("a", "SEQ1M Q8T1", 400, 300);
    const struct {
        std::string stream;
        size_t runs;
        std::string error;
    } cases[] = {
        {good + Joined(Prefixed("{\"program\": \"corvasta-cli\",\n\"version\": \"1.1", "[pod/b/c] ")), 1,
         "document 2 of [pod/b/c]: truncated: the input ends inside the document"},
        {"{\"program\": \"corvasta-cli\", \"version\": \"2.0.0\"}\n" + good, 1,
         "document 1: written by corvasta-cli 2.0.0, a newer major version than this one reads (1.x)"},
        {"{\"program\": \"other\"}", 0, "not a Corvasta document"},
        {"{\"program\": \"corvasta-cli\", \"comparison\": true}", 0, "a comparison, not a run"},
        {"{\"program\": \"corvasta-cli\" \"version\"}", 0, "not valid JSON"},
        {"plain text\n", 0, "not a Corvasta document: it holds no JSON document"},
    };
    for (const auto& c : cases) {
        const InputRuns runs = RunsFromStream(c.stream);
        EXPECT_EQ(runs.runs.size(), c.runs) << c.stream;
        ASSERT_EQ(runs.errors.size(), 1u) << c.stream;
        EXPECT_EQ(runs.errors[0], c.error);
    }
}

TEST(CompareDocuments, TakesTheBestPassAndToleratesWhatItDoesNotKnow) {
    const InputRuns one = RunFromDocument(RunDocument("a", "RND4K-Q32T16", 400, 300));
    ASSERT_EQ(one.runs.size(), 1u);
    const ComparedRun& run = one.runs[0];
    EXPECT_EQ(run.host, "h-a");
    EXPECT_EQ(run.drive, "Disk a");
    EXPECT_EQ(run.date, "2026-12-10 16:00:12");
    ASSERT_EQ(run.profiles.size(), 1u);
    EXPECT_EQ(run.profiles[0].profile, "RND4K-Q32T16");
    EXPECT_DOUBLE_EQ(run.profiles[0].read.mbps, 400.0);
    EXPECT_DOUBLE_EQ(run.profiles[0].read.p99Us, 100.0);  // of the best pass, not the first

    // Fields of the wrong type are passed over, never trusted.
    const InputRuns odd = RunFromDocument(
        R"({"program":"corvasta-cli","profile":7,"read":{"MBps":1},"write":[[1],{"MBps":"9"}],"drive":"x",
            "outcome":"completed","bestReadMBps":"fast","sustained":[],"runs":3})");
    ASSERT_EQ(odd.runs.size(), 1u);
    EXPECT_TRUE(odd.runs[0].profiles.empty());
}

TEST(CompareDocuments, SeveralProfilesAndFailedRunsAndSustainedWrites) {
    const std::string runs = "{\"program\":\"corvasta-cli\",\"version\":\"1.1.0\",\"runs\":[" +
                             RunDocument("m", "SEQ1M Q8T1", 400, 300) + "," +
                             RunDocument("m", "RND4K Q32T1", 40, 30, "error") + "]}";
    const InputRuns several = RunFromDocument(runs);
    ASSERT_EQ(several.runs.size(), 1u);
    ASSERT_EQ(several.runs[0].profiles.size(), 1u);  // the failed profile shows as missing
    EXPECT_EQ(several.runs[0].label, "m");

    const InputRuns sustained = RunFromDocument(
        R"({"program":"corvasta-cli","version":"1.1.0","profile":"SEQ1M Q8T1","outcome":"stopped",
            "report":"/m/corvasta_09122026042002_SUSTAINED_3GiB.html",
            "sustained":{"trace":[[0.5,536870912,1073.7,null]],"cacheGiB":1.5,
                         "plateaus":[{"MBps":405.6},{"MBps":100.3}]}})");
    ASSERT_EQ(sustained.runs.size(), 1u);
    const ComparedRun& run = sustained.runs[0];
    EXPECT_EQ(run.date, "2026-12-09 04:20:02");  // from the report's name when startedAt is missing
    ASSERT_EQ(run.profiles.size(), 1u);
    EXPECT_EQ(run.profiles[0].profile, SustainedGroup);
    EXPECT_DOUBLE_EQ(run.profiles[0].written.cacheGiB, 1.5);
    ASSERT_EQ(run.profiles[0].written.curve.size(), 1u);
    EXPECT_DOUBLE_EQ(run.profiles[0].written.curve[0].first, 0.5);
}

// The window's report as it writes it, trimmed to what matters.
const char* WindowReport = R"(<!DOCTYPE html>
<html><head><title>Corvasta V1.1.0 x64</title></head><body>
<table align="center" width="600" border="0"><tr><td align="center"><h1>Corvasta V1.1.0 x64</h1>
<h2>Sequential Path Benchmark</h2></td></tr><tr><td><table>
<tr><td width="250"><b>DATE</b></td><td><b>07/12/2026</b></td></tr>
<tr><td width="250"><b>TIME</b></td><td><b>15:30:45</b></td></tr>
<tr><td width="250"><b>BENCHMARK TYPE</b></td><td><b>RND4K Q32T1</b></td></tr>
<tr><td width="250"><b>MODEL</b></td><td><b>ACME &amp; Co SSD</b></td></tr>
</table></td></tr><tr><td align="center"><h3>READ TEST</h3><table>
<tr><td><b>PASS 1</b></td><td><b>40.96 MB/s</b></td><td><b>5001.31 ms</b></td></tr>
</table></td></tr><tr><td align="center"><h3>RESULT</h3><table>
<tr><th width='50%'>BENCHMARK</th><th width='50%'>SPEED</th></tr>
<tr><td width='50%' align='center'><b>RND READ</b></td><td><b>40.96 MB/s</b></td></tr>
<tr><td width='50%' align='center'><b>RND WRITE</b></td><td><b>20.48 MB/s</b></td></tr>
</table></td></tr></table></body></html>)";

TEST(CompareReport, ReadsTheWindowsReportAndRefusesOthers) {
    const InputRuns report = RunFromReport(WindowReport);
    ASSERT_TRUE(report.errors.empty());
    const ComparedRun& run = report.runs.at(0);
    EXPECT_EQ(run.drive, "ACME & Co SSD");
    EXPECT_EQ(run.date, "2026-12-07 15:30:45");
    const ProfileFigures& figures = run.profiles.at(0);
    EXPECT_EQ(figures.profile, "RND4K Q32T1");
    EXPECT_DOUBLE_EQ(figures.read.mbps, 40.96);
    EXPECT_DOUBLE_EQ(figures.read.iops, 40.96e6 / 4096);  // from the request size
    EXPECT_DOUBLE_EQ(figures.write.mbps, 20.48);
    EXPECT_FALSE(figures.read.haveLatency);

    std::string unfinished = WindowReport;
    unfinished.resize(unfinished.find("<h3>RESULT"));
    const struct {
        std::string html;
        std::string error;
    } bad[] = {
        {"<html><head><title>Other Benchmark 2</title></head></html>", "a report of another program, not of Corvasta"},
        {unfinished, "a Corvasta report without a result: its run did not complete"},
        {"<html><title>Corvasta V1.1.0 x64 comparison</title><h2>Comparison</h2>", "a comparison, not a run"},
    };
    for (const auto& c : bad) {
        const InputRuns runs = RunFromReport(c.html);
        EXPECT_TRUE(runs.runs.empty());
        ASSERT_EQ(runs.errors.size(), 1u);
        EXPECT_EQ(runs.errors[0], c.error);
    }
}

ComparedRun MadeRun(const std::string& label, double readMBps, double writeMBps, const std::string& profile = "P") {
    ComparedRun run;
    run.label = label;
    ProfileFigures figures;
    figures.profile = profile;
    figures.read = {true, readMBps, readMBps * 2, true, 10.0, 20.0};
    figures.write = {writeMBps > 0, writeMBps};
    run.profiles.push_back(figures);
    return run;
}

TEST(CompareTable, ChangesAgainstTheBaselineAndMissingProfiles) {
    const Comparison comparison =
        CompareRuns({MadeRun("old", 400, 300), MadeRun("new", 200, 0), MadeRun("other", 100, 100, "Q")}, 1);
    ASSERT_EQ(comparison.profiles, (std::vector<std::string>{"P", "Q"}));
    const std::vector<std::vector<std::string>> rows = ComparisonRows(comparison, "P");
    // #, label, host, drive, date, read MB/s, change, IOPS, p50, p99, write MB/s, change, ...
    EXPECT_EQ(rows[1][5], "400.00");
    EXPECT_EQ(rows[1][6], "+100.0%");
    EXPECT_EQ(rows[2][6], "baseline");
    EXPECT_EQ(rows[1][11], "\xE2\x80\x94");  // the baseline has no write figure to compare with
    EXPECT_EQ(rows[3][5], "\xE2\x80\x94");  // a run without this profile
    EXPECT_EQ(rows[3][1], "other");

    const std::vector<std::string> lines = ComparisonTableLines(comparison);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Profile P");
    // The columns line up although "—" takes three bytes.
    EXPECT_EQ(lines[1].find("read MB/s") + 9, lines[4].find("\xE2\x80\x94") + 1);
}

TEST(CompareTable, PercentTextRoundsWithoutANegativeZero) {
    EXPECT_EQ(PercentText(-50.04), "-50.0%");
    EXPECT_EQ(PercentText(3.25), "+3.3%");
    EXPECT_EQ(PercentText(-0.04), "0.0%");
}

TEST(CompareTable, CsvQuotesTextAndLeavesMissingFiguresEmpty) {
    ComparedRun named = MadeRun("a, \"quoted\"", 400, 300);
    const std::string csv = ComparisonCsv(CompareRuns({named, MadeRun("b", 100, 0)}, 0));
    EXPECT_NE(csv.find("P,1,\"a, \"\"quoted\"\"\",,,,yes,400.000000,0.000,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("P,2,b,,,,no,100.000000,-75.000,200.000000,10.000000,20.000000,,,,"), std::string::npos)
        << csv;
}

// The bars' lengths carry the figures: each as long as its speed over the
// fastest of the profile, the fastest full length.
TEST(CompareHtml, BarLengthsFollowTheFigures) {
    const std::string page = ComparisonHtml(CompareRuns({MadeRun("a", 400, 100), MadeRun("b", 200, 300)}, 0));
    const std::regex bar(R"re(width="([0-9.]+)"[^>]*class="bar (read|write)" data-mbps="([0-9.]+)")re");
    std::vector<std::pair<double, double>> bars;  // width, MB/s
    for (auto m = std::sregex_iterator(page.begin(), page.end(), bar); m != std::sregex_iterator(); ++m)
        bars.push_back({std::stod((*m)[1]), std::stod((*m)[3])});
    ASSERT_EQ(bars.size(), 4u);
    for (const auto& [width, mbps] : bars) EXPECT_NEAR(width / bars[0].first, mbps / 400.0, 1e-3);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("http://", page.find("</svg>")), std::string::npos);
}

TEST(CompareOptions, InputsFormatsAndTheirLimits) {
    const struct {
        std::vector<std::wstring> arguments;
        bool parsed;
    } cases[] = {
        {{L"-"}, true},
        {{L"a.json", L"--html", L"page.html", L"--force", L"--strict", L"--baseline", L"2", L"b"}, true},
        {{L"--json", L"--csv", L"a.json"}, false},
        {{L"--baseline", L"0", L"a.json"}, false},
        {{}, false},
        {{L"--bogus", L"a.json"}, false},
    };
    for (const auto& c : cases) {
        CompareOptions options;
        std::wstring errorText;
        EXPECT_EQ(ParseCompareOptions(c.arguments, options, errorText), c.parsed) << c.arguments.size();
        EXPECT_EQ(errorText.empty(), c.parsed);
    }
    CompareOptions options;
    std::wstring errorText;
    ASSERT_TRUE(ParseCompareOptions({L"a.json", L"--html", L"page.html", L"--baseline=2", L"-"}, options, errorText));
    EXPECT_EQ(options.inputs, (std::vector<std::wstring>{L"a.json", L"-"}));
    EXPECT_EQ(options.htmlPath, L"page.html");
    EXPECT_EQ(options.baseline, 2);
    EXPECT_FALSE(options.force);
    ASSERT_TRUE(ParseCompareOptions({L"--help"}, options, errorText));
    EXPECT_TRUE(options.help);
}

ComparedRun SustainedRun(const std::string& label, std::vector<double> plateaus) {
    ComparedRun run;
    run.label = label;
    ProfileFigures figures;
    figures.profile = SustainedGroup;
    figures.sustained = true;
    figures.written.haveCache = plateaus.size() > 1;
    figures.written.cacheGiB = 1.5;
    figures.written.plateauMBps = plateaus;
    for (size_t i = 0; i < plateaus.size(); ++i) figures.written.curve.push_back({1.5 * static_cast<double>(i), plateaus[i]});
    run.profiles.push_back(figures);
    return run;
}

// Sustained writes: cache, plateaus, and the speed after the cache compared;
// their traces drawn over each other.
TEST(CompareTable, SustainedWritesCompareTheirSpeedAfterTheCache) {
    const Comparison comparison = CompareRuns({SustainedRun("a", {400.0, 100.0}), SustainedRun("b", {300.0})}, 0);
    const auto rows = ComparisonRows(comparison, SustainedGroup);
    // #, label, host, drive, date, cache GiB, plateaus, after cache, change
    EXPECT_EQ(rows[1][5], "1.50");
    EXPECT_EQ(rows[1][6], "400.0 > 100.0");
    EXPECT_EQ(rows[2][5], "\xE2\x80\x94");
    EXPECT_EQ(rows[2][8], "+200.0%");
    EXPECT_EQ(ComparisonTableLines(comparison).front(), "Sustained write");
    const std::string page = ComparisonHtml(comparison);
    size_t lines = 0;
    for (size_t at = page.find("<polyline"); at != std::string::npos; at = page.find("<polyline", at + 1)) ++lines;
    EXPECT_EQ(lines, 2u);
}

TEST(CompareReport, ASustainedWritesReportGivesItsPlateausAndCache) {
    const InputRuns report = RunFromReport(
        "<!DOCTYPE html><html><head><title>Corvasta V1.1.0 x64 sustained write</title></head><body>"
        "<h2>Sustained Write</h2><table><tr><th>DATE</th><td>09/12/2026</td></tr>"
        "<tr><th>MODEL</th><td>Disk</td></tr></table><h3>RESULT</h3><table>"
        "<tr><th>ENDED</th><td>Completed</td></tr></table><h3>PLATEAUS</h3><table>"
        "<tr><th>#</th><th>FROM GiB</th><th>TO GiB</th><th>MEDIAN MB/s</th><th>DEVICE SAW</th></tr>"
        "<tr><td>1</td><td>0.00</td><td>1.52</td><td>405.60</td><td>100%</td></tr>"
        "<tr><td>2</td><td>1.52</td><td>3.00</td><td>100.30</td><td>100%</td></tr></table></body></html>");
    ASSERT_EQ(report.errors, std::vector<std::string>{});
    const ProfileFigures& figures = report.runs.at(0).profiles.at(0);
    EXPECT_EQ(figures.profile, SustainedGroup);
    EXPECT_EQ(figures.written.plateauMBps, (std::vector<double>{405.6, 100.3}));
    EXPECT_TRUE(figures.written.haveCache);
    EXPECT_DOUBLE_EQ(figures.written.cacheGiB, 1.52);
    EXPECT_EQ(report.runs[0].date, "2026-12-09");
}

TEST(RunOrigin, StartTimeIsIso8601InUtc) {
    using namespace std::chrono;
    const sys_seconds time = sys_days(year(2026) / 12 / 10) + hours(16) + minutes(0) + seconds(12);
    EXPECT_EQ(IsoUtcText(time + milliseconds(900)), L"2026-12-10T16:00:12Z");
    const RunOrigin origin = OriginNow(L"");
    EXPECT_EQ(origin.label, origin.host);
    EXPECT_EQ(OriginNow(L"rack 3").label, L"rack 3");
}

}  // namespace

#include "cli/whole_file.h"
#include "tests/fake/fake_checks.h"

namespace {

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override { InstallFake(); }
    void TearDown() override { RemoveFake(); }
};

// A file is there whole or not at all, and never written through a link.
TEST_F(WholeFileTest, WholeOrNothingAndNeverThroughALink) {
    const std::wstring page = FakePath(L"page.html");
    EXPECT_EQ(WriteWholeFile(page, "<html>"), "");
    EXPECT_EQ(FakeFileBytes(page), "<html>");
    EXPECT_EQ(WriteWholeFile(page, "<p>"), "");  // replaced
    EXPECT_EQ(FakeFileBytes(page), "<p>");

    FailCall("WriteFile", ERROR_DISK_FULL);
    EXPECT_EQ(WriteWholeFile(page, "<html>"), "cannot be written (error 112)");
    EXPECT_FALSE(FakeExists(page));
    FailCall("FlushFileBuffers", ERROR_IO_DEVICE);
    EXPECT_EQ(WriteWholeFile(page, "<html>"), "cannot be written (error 1117)");
    EXPECT_FALSE(FakeExists(page));

    AddFakeFile(FakePath(L"precious.txt"), "keep");
    AddFakeLink(FakePath(L"link.html"), FakePath(L"precious.txt"));
    EXPECT_EQ(WriteWholeFile(FakePath(L"link.html"), "<html>"), "cannot be created (error 5)");
    EXPECT_EQ(FakeFileBytes(FakePath(L"precious.txt")), "keep");
    ExpectNothingLeftOpen();
}

}  // namespace
