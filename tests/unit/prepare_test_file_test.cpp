#include "engine/prepare_test_file.h"
#include "engine/pattern.h"
#include "engine/run_record.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t MiB = 1'048'576;

// Unbuffered writes take page-aligned memory, as the run's own pattern is.
alignas(4096) unsigned char pattern[MiB];

class PrepareFile : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        StopRequested.store(0);
        path = FakePath(L"prepare.tmp");
        FillPattern(pattern, MiB);
    }

    void TearDown() override {
        ExpectNothingLeftOpen();
        StopRequested.store(0);
        RemoveFake();
    }


    bool Prepare(int64_t blockCount) {
        return PrepareTestFile(path, blockCount, pattern, errorText);
    }

    // Length and content: blockCount copies of the pattern, back to back.
    void ExpectPatternCopies(int64_t blockCount) {
        const std::string bytes = FakeFileBytes(path);
        ASSERT_EQ(bytes.size(), static_cast<size_t>(blockCount) * MiB);
        for (int64_t block = 0; block < blockCount; ++block) {
            ASSERT_EQ(std::memcmp(bytes.data() + static_cast<size_t>(block) * MiB, pattern, MiB), 0)
                << "block " << block;
        }
    }

    std::wstring path;
    std::wstring errorText = L"untouched";
};

TEST_F(PrepareFile, FullSizeFileHoldsOneCopyOfThePatternPerBlock) {
    EXPECT_TRUE(Prepare(256));
    EXPECT_EQ(errorText, L"untouched");
    ExpectPatternCopies(256);
}

// Written past the cache, or the read passes would measure memory.
TEST_F(PrepareFile, OpensTheFileAloneUnbufferedAndSequential) {
    EXPECT_TRUE(Prepare(2));
    ASSERT_EQ(Fake().opens.size(), 1u);
    const FakeOpen& open = Fake().opens[0];
    EXPECT_EQ(open.path, path);
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.share, 0u);
    EXPECT_EQ(open.disposition, CREATE_NEW);
    EXPECT_EQ(open.flags, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL);
}

// Whatever holds the name already, a file or a link to one elsewhere, is
// neither written nor followed.
TEST_F(PrepareFile, NameThatIsTakenIsNeverWrittenThrough) {
    const std::wstring elsewhere = FakePath(L"precious.txt");
    AddFakeFile(elsewhere, "precious");
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "link" : "file");
        errorText.clear();
        if (link) {
            Fake().nodes.erase(path);
            AddFakeFileLink(path, elsewhere);
        } else {
            AddFakeFile(path, "earlier");
        }
        EXPECT_FALSE(Prepare(2));
        EXPECT_EQ(errorText, L"Unable to create test file (Windows Error 80)");
        EXPECT_EQ(FakeFileBytes(link ? elsewhere : path), link ? "precious" : "earlier");
    }
}

TEST_F(PrepareFile, StopBeforeTheCallLeavesASizedFileAndNoText) {
    StopRequested.store(1);
    EXPECT_FALSE(Prepare(3));
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(FakeFileBytes(path).size(), 3 * MiB);
    EXPECT_EQ(Fake().callCounts["WriteFile"], 0);
}

TEST_F(PrepareFile, StopBetweenBlocksEndsBeforeTheNextWrite) {
    Fake().beforeCall = [](const std::string& call, int count) {
        if (call == "WriteFile" && count == 2) StopRequested.store(1);
    };
    EXPECT_FALSE(Prepare(4));
    EXPECT_EQ(errorText, L"untouched");
    EXPECT_EQ(Fake().callCounts["WriteFile"], 2);
}

TEST_F(PrepareFile, FolderThatDoesNotExist) {
    path = FakePath(std::wstring(L"missing") + PathSeparator + L"prepare.tmp");
    EXPECT_FALSE(Prepare(1));
    EXPECT_EQ(errorText, L"Unable to create test file (Windows Error 3)");
}

struct FailureCase {
    const char* call;
    DWORD code;
    int skip;
    const wchar_t* text;
};

const FailureCase FailureCases[] = {
    {"CreateFileW", 5, 0, L"Unable to create test file (Windows Error 5)"},
    {"SetFilePointerEx", 87, 0, L"Unable to set file size (Windows Error 87)"},
    {"SetEndOfFile", 112, 0, L"Unable to set file size (Windows Error 112)"},
    {"SetFilePointerEx", 6, 1, L"Unable to reset pointer to start (Windows Error 6)"},
    {"WriteFile", 1117, 0, L"Error while preparing file (Windows Error 1117)"},
    {"WriteFile", 112, 2, L"Error while preparing file (Windows Error 112)"},
};

TEST_F(PrepareFile, EachFailureGivesItsTextAndClosesTheFile) {
    for (const FailureCase& failure : FailureCases) {
        SCOPED_TRACE(failure.call + std::string(" skip ") + std::to_string(failure.skip));
        InstallFake();
        errorText.clear();
        FailCall(failure.call, failure.code, failure.skip);
        EXPECT_FALSE(Prepare(4));
        EXPECT_EQ(errorText, failure.text);
        ExpectNothingLeftOpen();
    }
}

// NTFS compresses a file made in a compressed folder; the passes would then
// time the compressor, so the file is set back to plain before any data.
TEST_F(PrepareFile, CompressionTakenFromTheFolderIsTurnedOff) {
    Fake().nodes[Fake().currentDirectory].attributes |= FILE_ATTRIBUTE_COMPRESSED;
    EXPECT_TRUE(Prepare(2));
    EXPECT_EQ(Fake().nodes[path].attributes & FILE_ATTRIBUTE_COMPRESSED, 0u);
    ExpectPatternCopies(2);

    errorText.clear();
    Fake().nodes.erase(path);
    FailCall("DeviceIoControl", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Prepare(2));
    EXPECT_EQ(errorText, L"Unable to turn off compression of test file (Windows Error 5)");
    EXPECT_EQ(FakeFileBytes(path), "");
}

TEST_F(PrepareFile, ShortWriteFailsWithWhateverCodeTheThreadHolds) {
    // A short write that reports success sets no code of its own.
    Fake().syncTransferBytes = [](uint64_t position, DWORD bytes) {
        return position == MiB ? 512 : bytes;
    };
    EXPECT_FALSE(Prepare(4));
    EXPECT_EQ(errorText, L"Error while preparing file (Windows Error 0)");
    EXPECT_EQ(Fake().callCounts["WriteFile"], 2);
}

// The same xorshift sequence in every run, written in whole words only: the
// four bytes past the last word keep what they held.
TEST(Pattern, IsTheSameSequenceInWholeWords) {
    std::vector<unsigned char> bytes(28, 0xEE);
    FillPattern(bytes.data(), bytes.size());
    const std::vector<unsigned char> expected = {
        0x7a, 0x48, 0x21, 0x9a, 0xe2, 0xb3, 0x83, 0x0d,  // 0x0d83b3e29a21487a
        0x67, 0x9d, 0xfe, 0xf1, 0x79, 0x4c, 0xc4, 0x54,  // 0x54c44c79f1fe9d67
        0x78, 0x0e, 0x7a, 0x00, 0x42, 0xf3, 0x45, 0xa8,  // 0xa845f342007a0e78
        0xEE, 0xEE, 0xEE, 0xEE,
    };
    EXPECT_EQ(bytes, expected);
    std::vector<unsigned char> tiny(7, 0xEE);
    FillPattern(tiny.data(), tiny.size());
    EXPECT_EQ(tiny, std::vector<unsigned char>(7, 0xEE));
}

}  // namespace
