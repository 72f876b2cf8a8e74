// Start-up recovery against real files while another user swaps the folders
// it empties for symbolic links to a folder outside, holding files of the
// same names: nothing outside the benchmark folder may change.
#ifndef _WIN32
#include "engine/benchmark_run.h"
#include "engine/recovery_marker.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int FileCount = 200;
const std::string TemporaryName = "corvastatmp0000BEEF";

// The swap, done before the seam call of number `at` that recovery makes,
// whichever call that is.
struct Swap {
    fs::path swapped;
    fs::path target;
    int at = 0;
    int calls = 0;
};
Swap swap;
PlatformCalls inner;

void Count() {
    if (++swap.calls != swap.at) return;
    fs::rename(swap.swapped, swap.swapped.string() + "-away");
    fs::create_directory_symlink(swap.target, swap.swapped);
}

// The calls through which recovery could open, list or delete anything.
PlatformCalls Counting(const PlatformCalls& calls) {
    inner = calls;
    PlatformCalls counting = calls;
    counting.CreateFileW = [](const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* s,
                              DWORD disposition, DWORD flags, HANDLE t) {
        Count();
        return inner.CreateFileW(path, access, share, s, disposition, flags, t);
    };
    counting.OpenFileRelative = [](HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                                   DWORD flags) {
        Count();
        return inner.OpenFileRelative(folder, name, access, share, flags);
    };
    counting.SetFileInformationByHandle = [](HANDLE file, FILE_INFO_BY_HANDLE_CLASS c, LPVOID i,
                                             DWORD bytes) {
        Count();
        return inner.SetFileInformationByHandle(file, c, i, bytes);
    };
    counting.DeleteFileW = [](const wchar_t* path) {
        Count();
        return inner.DeleteFileW(path);
    };
    counting.RemoveDirectoryW = [](const wchar_t* path) {
        Count();
        return inner.RemoveDirectoryW(path);
    };
    return counting;
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

// FileCount files of the given text in folder.
void Fill(const fs::path& folder, const std::string& text) {
    fs::create_directories(folder);
    for (int i = 0; i < FileCount; ++i) Write(folder / ("f" + std::to_string(i)), text);
}

// Every file under folder still holds its text.
int Intact(const fs::path& folder, const std::string& text) {
    int intact = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string read;
        if (entry.is_regular_file() && std::getline(std::ifstream(entry.path()), read) && read == text) {
            ++intact;
        }
    }
    return intact;
}

class RecoverySwap : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::current_path();
        root = home / "recovery-swap";
        fs::remove_all(root);
        bench = root / "bench";
        outside = root / "outside";
        fs::create_directories(bench);
        ASSERT_EQ(chdir(bench.c_str()), 0);
    }

    void TearDown() override {
        Platform = NativePlatform();
        EXPECT_EQ(chdir(home.c_str()), 0);
        fs::remove_all(root);
    }

    void Plant(const fs::path& folder) {
        Fill(folder / "sub", "ours");
        PlantTestFile(folder);
    }

    void PlantTestFile(const fs::path& folder) {
        fs::create_directories(folder);
        Write(folder / (TemporaryName + ".tmp"), "ours");
        Write(bench / RecoveryMarkerName, folder.string() + "\r\n\r\n");
    }

    fs::path home, root, bench, outside;
};

// The attack as it was found: the folder recovery empties is renamed away
// and a link to the outside folder put in its place, early, midway and late.
TEST_F(RecoverySwap, NothingOutsideChangesWhateverIsSwappedWhenever) {
    const fs::path folder = bench / TemporaryName;
    for (const bool whole : {false, true}) {
        // Recovery makes about two calls per file.
        for (const int at : {3, FileCount, 2 * FileCount}) {
            SCOPED_TRACE(std::to_string(at) + (whole ? " folder" : " sub-folder"));
            Plant(folder);
            fs::remove_all(outside);
            Fill(outside / "sub", "outside");
            Write(outside / (TemporaryName + ".tmp"), "outside");
            swap = {whole ? folder : folder / "sub", whole ? outside : outside / "sub", at, 0};
            Platform = Counting(NativePlatform());
            RecoverCrashedRun();
            Platform = NativePlatform();
            EXPECT_EQ(swap.calls >= at, true);
            EXPECT_EQ(Intact(outside, "outside"), FileCount + 1);
            EXPECT_FALSE(fs::exists(bench / RecoveryMarkerName));
            for (const auto& entry : fs::directory_iterator(bench)) fs::remove_all(entry.path());
        }
    }
}

// Unswapped, a killed run's leftovers all go.
TEST_F(RecoverySwap, ARealLeftoverIsRemoved) {
    const fs::path folder = bench / TemporaryName;
    const std::string report = "corvasta_07122026153045_SEQ1MQ8T1_1024MiB.html";
    PlantTestFile(folder);
    Write(bench / report, "<html");
    Write(bench / RecoveryMarkerName, folder.string() + "\r\n" + (bench / report).string() + "\r\n");
    RecoverCrashedRun();
    EXPECT_TRUE(fs::is_empty(bench));
}

}  // namespace
#endif
