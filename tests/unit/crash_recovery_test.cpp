#include "engine/benchmark_run.h"
#include "engine/recovery_marker.h"
#include "platform/text.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const std::wstring TemporaryName = L"corvastatmp0001A2F0";
const std::wstring ReportName = L"corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html";

class CrashRecovery : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        marker = FakePath(RecoveryMarkerName);
        outside = Fake().currentDirectory + L"-outside";
        AddFakeFile(FakePath(L"keep.txt"), "mine");
        AddFakeFile(JoinPath(outside, L"precious.txt"), "precious");
    }

    void TearDown() override {
        EXPECT_FALSE(FakeExists(marker));
        EXPECT_EQ(FakeFileBytes(FakePath(L"keep.txt")), "mine");
        EXPECT_EQ(FakeFileBytes(JoinPath(outside, L"precious.txt")), "precious");
        ExpectNothingLeftOpen();
        RemoveFake();
    }

    void WriteMarker(const std::wstring& line1, const std::wstring& line2) {
        AddFakeFile(marker, Utf8FromWide(line1 + L"\r\n" + line2 + L"\r\n"));
    }

    // A leftover temporary folder with the test file and a stray sub-folder.
    std::wstring AddLeftoverFolder(const std::wstring& path) {
        AddFakeFile(JoinPath(path, TemporaryName + L".tmp"), "data");
        AddFakeFile(JoinPath(JoinPath(path, L"sub"), L"deep.bin"), "deep");
        return path;
    }

    std::wstring marker;
    std::wstring outside;
};

TEST_F(CrashRecovery, RemovesTheLeftoversItsMarkerNames) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    AddFakeFile(FakePath(ReportName), "<html");
    WriteMarker(folder, FakePath(ReportName));
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(folder));
    EXPECT_FALSE(FakeExists(JoinPath(folder, L"sub")));
    EXPECT_FALSE(FakeExists(FakePath(ReportName)));
}

TEST_F(CrashRecovery, LeavesAloneWhatIsNotOurs) {
    const std::wstring separator(1, PathSeparator);
    const std::wstring current = Fake().currentDirectory;
    const std::wstring ours = FakePath(TemporaryName);
    const std::wstring leaf = current.substr(current.find_last_of(PathSeparator) + 1);
    struct Case {
        std::wstring named;   // line 1 of the marker
        std::wstring folder;  // the folder that must survive
    };
    const Case cases[] = {
        {JoinPath(outside, TemporaryName), JoinPath(outside, TemporaryName)},
        {FakePath(L"data"), FakePath(L"data")},
        {FakePath(L"corvastatmp0001a2f0"), FakePath(L"corvastatmp0001a2f0")},
        {FakePath(L"corvastatmp0001A2F"), FakePath(L"corvastatmp0001A2F")},
        {FakePath(L"corvastatmp0001A2F00"), FakePath(L"corvastatmp0001A2F00")},
        {JoinPath(FakePath(L"sub"), TemporaryName), JoinPath(FakePath(L"sub"), TemporaryName)},
        // Other spellings of our own folder: only the exact one is trusted.
        {TemporaryName, ours},
        {current + separator + L".." + separator + leaf + separator + TemporaryName, ours},
        {current + separator + separator + TemporaryName, ours},
        {ours + separator, ours},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8FromWide(c.named));
        const std::wstring victim = FakePath(L"victim.txt");
        AddLeftoverFolder(c.folder);
        AddFakeFile(victim, "v");
        WriteMarker(c.named, victim);
        RecoverCrashedRun();
        EXPECT_TRUE(FakeExists(JoinPath(c.folder, TemporaryName + L".tmp")));
        EXPECT_TRUE(FakeExists(victim));
        EXPECT_FALSE(FakeExists(marker));
    }
}

TEST_F(CrashRecovery, ReportLineMustNameOneOfOurReportsHere) {
    struct Case {
        std::wstring named;  // line 2 of the marker
        bool removed;
    };
    const Case cases[] = {
        {FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_256MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_65536MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_1000MiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_3GiB.html"), true},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_187.25GiB.html"), true},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_1.5GiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_.25GiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_GiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SUSTAINED_3MiB.html"), false},
        {FakePath(L"corvasta_0712202615304_SEQ1MQ8T1_1024MiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_1024MiB.htm"), false},
        {FakePath(L"corvasta_07122026153045_SEQ1M Q8T1_1024MiB.html"), false},
        {FakePath(L"corvasta_07122026153045_SEQ1MQ1T1_1024MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_RND4KQ32T1_256MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_RND4KQ1T1_2048MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_RND4KQ64T1_2048MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_RND4KQ32T16_2048MiB.html"), true},
        {FakePath(L"corvasta_07122026153045_RND4KQ257T1_2048MiB.html"), false},
        {FakePath(L"corvasta_07122026153045_rnd4kq32t1_2048MiB.html"), false},
        {FakePath(L"corvasta_07122026153045_RND4K-Q32T1_2048MiB.html"), false},
        {JoinPath(outside, ReportName), false},
        {ReportName, false},  // the same name, but not as a full path
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8FromWide(c.named));
        const std::wstring file = c.named == ReportName ? FakePath(ReportName) : c.named;
        AddFakeFile(file, "r");
        WriteMarker(L"", c.named);
        RecoverCrashedRun();
        EXPECT_EQ(FakeExists(file), !c.removed);
    }
}

// Also where the search shows a link as the folder it leads to: the path
// itself then tells.
TEST_F(CrashRecovery, NeverFollowsALink) {
    for (const bool searchFollows : {false, true}) {
        SCOPED_TRACE(searchFollows);
        Fake().searchFollowsLinks = searchFollows;
        // The named folder itself is a link: refused, and left as it is.
        AddFakeLink(FakePath(TemporaryName), outside);
        WriteMarker(FakePath(TemporaryName), L"");
        RecoverCrashedRun();
        EXPECT_TRUE(FakeExists(FakePath(TemporaryName)));
        Fake().nodes.erase(FakePath(TemporaryName));
        // A link inside a real one goes as a link.

        const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
        AddFakeLink(JoinPath(folder, L"link"), outside);
        WriteMarker(folder, L"");
        RecoverCrashedRun();
        EXPECT_FALSE(FakeExists(folder));
    }
}

// A folder in a synchronised cloud folder is a reparse point of another
// kind, a placeholder, and so are the files in it: they lead nowhere else,
// and go like any others.
// Renames a folder or file with everything in it, as another user may while
// recovery runs; the objects keep their identity, as a rename does.
void MoveFakeTree(const std::wstring& from, const std::wstring& to) {
    std::map<std::wstring, FakeNode> moved;
    for (auto it = Fake().nodes.begin(); it != Fake().nodes.end();) {
        const bool inside = it->first == from || it->first.rfind(from + PathSeparator, 0) == 0;
        if (!inside) {
            ++it;
            continue;
        }
        moved[to + it->first.substr(from.size())] = it->second;
        it = Fake().nodes.erase(it);
    }
    Fake().nodes.insert(moved.begin(), moved.end());
}

// Every name under a folder with the bytes it holds.
std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> found;
    for (const auto& [path, node] : Fake().nodes) {
        if (path.rfind(folder, 0) == 0) found[path] = node.bytes;
    }
    return found;
}

// Another user swaps a name for a link while recovery deletes, before any
// one of its calls: whenever it happens, recovery deletes only inside what
// it holds, and nothing of the outside folder, which holds files of the
// same names.
TEST_F(CrashRecovery, SwapsWhileRecoveryRunsChangeNothingOutside) {
    const std::wstring folder = FakePath(TemporaryName);
    const std::wstring testFileName = TemporaryName + L".tmp";
    const std::wstring sub = JoinPath(folder, L"sub");
    const auto swapFolder = [](const std::wstring& path, const std::wstring& target) {
        MoveFakeTree(path, path + L"-moved");
        AddFakeLink(path, target);
    };
    const std::function<void()> swaps[] = {
        [&] { swapFolder(folder, outside); },
        [&] { swapFolder(sub, JoinPath(outside, L"sub")); },
        [&] {
            Fake().nodes.erase(JoinPath(folder, testFileName));
            AddFakeFileLink(JoinPath(folder, testFileName), JoinPath(outside, testFileName));
        },
    };
    for (const auto& swap : swaps) {
        bool swapped = true;
        for (int moment = 1; swapped; ++moment) {
            SCOPED_TRACE(moment);
            AddLeftoverFolder(folder);
            AddFakeFile(JoinPath(outside, testFileName), "outside");
            AddFakeFile(JoinPath(JoinPath(outside, L"sub"), L"deep.bin"), "outside");
            WriteMarker(folder, L"");
            const auto before = Snapshot(outside);
            int calls = 0;
            swapped = false;
            Fake().beforeCall = [&](const std::string&, int) {
                if (++calls == moment && !swapped) {
                    swapped = true;
                    swap();
                }
            };
            RecoverCrashedRun();
            Fake().beforeCall = nullptr;
            EXPECT_EQ(Snapshot(outside), before);
            ExpectNothingLeftOpen();
            // What is left in our names, the other user's links included, goes
            // before the next moment.
            std::erase_if(Fake().nodes, [&](const auto& node) { return node.first.rfind(folder, 0) == 0; });
        }
    }
}

// The second line is deleted only when it names a plain file of its own:
// never what a link leads to, nor a file with a second name elsewhere.
TEST_F(CrashRecovery, TheReportGoesOnlyAsAPlainFileOfItsOwn) {
    const std::wstring report = FakePath(ReportName);
    const std::wstring precious = JoinPath(outside, L"precious.txt");
    const std::function<void()> plants[] = {
        [&] { AddFakeFileLink(report, precious); },
        [&] { AddFakeHardLink(report, precious); },
        [&] { AddFakeLink(report, outside); },
        [&] { AddFakeFolder(report); },
    };
    for (const auto& plant : plants) {
        plant();
        WriteMarker(L"", report);
        RecoverCrashedRun();
        EXPECT_TRUE(FakeExists(report));
        Fake().nodes.erase(report);
    }
}

TEST_F(CrashRecovery, CloudPlaceholdersAreOrdinaryFoldersAndFiles) {
    constexpr DWORD CloudTag = 0x9000001A;
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    for (const std::wstring& path : {folder, JoinPath(folder, TemporaryName + L".tmp")}) {
        Fake().nodes[path].attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        Fake().nodes[path].reparseTag = CloudTag;
    }
    WriteMarker(folder, L"");
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(folder));
    EXPECT_FALSE(FakeExists(JoinPath(folder, L"sub")));
}

TEST_F(CrashRecovery, OddMarkersAreDeletedWithoutHarm) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    const std::string path = Utf8FromWide(folder);
    const std::string odd[] = {
        "",
        "\r\n\r\n",
        "\xff\xfe" + path + "\r\n",
        path.substr(0, path.size() - 1) + "\xc3\r\n",
        path + std::string(1, '\0') + "\r\n",
        std::string(200000, 'x') + path,
    };
    for (const std::string& bytes : odd) {
        AddFakeFile(marker, bytes);
        RecoverCrashedRun();
        EXPECT_TRUE(FakeExists(JoinPath(folder, TemporaryName + L".tmp")));
        EXPECT_FALSE(FakeExists(marker));
    }
    // A first line alone is enough; the missing second one reads as empty.
    AddFakeFile(marker, path);
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(folder));
}

// A run in progress holds its marker open without sharing; a start then
// removes nothing, and once the holder is gone it is a crash like any other.
TEST_F(CrashRecovery, LeavesALiveRunAloneAndRecoversItOnceItIsGone) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    AddFakeFile(FakePath(ReportName), "<html");
    WriteMarker(folder, FakePath(ReportName));
    const HANDLE live = Platform.CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(live, INVALID_HANDLE_VALUE);
    RecoverCrashedRun();
    EXPECT_TRUE(FakeExists(JoinPath(folder, TemporaryName + L".tmp")));
    EXPECT_TRUE(FakeExists(FakePath(ReportName)));
    EXPECT_TRUE(FakeExists(marker));
    EXPECT_EQ(Fake().callCounts["DeleteFileW"], 0);
    Platform.CloseHandle(live);
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(folder));
    EXPECT_FALSE(FakeExists(FakePath(ReportName)));
}

// A killed run's test file is let go a moment after its process is gone.
TEST_F(CrashRecovery, WaitsForAKilledRunsTestFileToBeLetGo) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    const std::wstring testFile = JoinPath(folder, TemporaryName + L".tmp");
    WriteMarker(folder, L"");
    HANDLE dying = Platform.CreateFileW(testFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    Fake().beforeCall = [&dying](const std::string& call, int count) {
        if (call == "Sleep" && count == 6) Platform.CloseHandle(dying);
    };
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(folder));
    EXPECT_EQ(Fake().callCounts["Sleep"], 6);
}

// Started again as the same folder spelled in other letter cases: the same
// folder on Windows, another one on Linux.
TEST_F(CrashRecovery, ComparesTheFolderByThePlatformsRuleForCase) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    const std::wstring report = FakePath(ReportName);
    AddFakeFile(report, "<html");
    const std::wstring current = Fake().currentDirectory;
    std::wstring otherCase = current;
    for (wchar_t& c : otherCase) {
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    // Only the current directory's spelling changes; the fake's own lookups
    // stay exact, so the leftovers are still found under the marker's paths.
    AddFakeFolder(otherCase);
    Fake().currentDirectory = otherCase;
    AddFakeFile(FakePath(RecoveryMarkerName), Utf8FromWide(folder + L"\r\n" + report + L"\r\n"));
    RecoverCrashedRun();
    EXPECT_FALSE(FakeExists(FakePath(RecoveryMarkerName)));
    EXPECT_EQ(FakeExists(folder), !PathsIgnoreCase);
    EXPECT_EQ(FakeExists(report), !PathsIgnoreCase);
    Fake().currentDirectory = current;
}

TEST_F(CrashRecovery, NoMarkerMeansNothingHappens) {
    const std::wstring folder = AddLeftoverFolder(FakePath(TemporaryName));
    RecoverCrashedRun();
    EXPECT_TRUE(FakeExists(folder));
    EXPECT_EQ(Fake().callCounts["DeleteFileW"], 0);
}

TEST(MarkerLines, SplitAtEveryKindOfLineEnd) {
    EXPECT_EQ(ParseMarker("a\r\nb\r\n").reportPath, L"b");
    EXPECT_EQ(ParseMarker("a\rb").reportPath, L"b");
    EXPECT_EQ(ParseMarker("a\nb\nc").reportPath, L"b");
    EXPECT_EQ(ParseMarker("a\r\rb").reportPath, L"");
    EXPECT_EQ(ParseMarker("a\n\rb").reportPath, L"");
    EXPECT_EQ(ParseMarker("a").temporaryFolder, L"a");
    EXPECT_EQ(ParseMarker("a").reportPath, L"");
    EXPECT_EQ(ParseMarker("").temporaryFolder, L"");
}

}  // namespace
