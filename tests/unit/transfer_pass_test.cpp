#include "engine/transfer_pass.h"
#include "tests/unit/fake_pass_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double Untouched = -1.0;

// A completion that has not come yet is waited for as long as it takes.
bool EveryWaitWithoutLimit() {
    const std::vector<DWORD>& waits = Fake().waitTimeouts;
    return std::all_of(waits.begin(), waits.end(), [](DWORD ms) { return ms == INFINITE; });
}

class TransferPass : public FakePassTest {
protected:
    void AddFile(int64_t blocks) {
        AddFakeFile(path, std::string(static_cast<size_t>(blocks) * MiB, 'r'));
    }

    double Run(int64_t blockCount, int isWrite = 0) {
        return RunTransferPass(path, blockCount, isWrite, pattern.data(), errorText, &elapsedMs);
    }

    // A pass that gives no speed leaves the elapsed time alone.
    void ExpectNoSpeed(double speed, const std::wstring& text) const {
        EXPECT_EQ(speed, 0.0);
        EXPECT_EQ(errorText, text);
        EXPECT_EQ(elapsedMs, Untouched);
    }

    std::vector<uint64_t> Offsets() const {
        std::vector<uint64_t> offsets;
        for (const FakeRequest& request : Fake().requests) offsets.push_back(request.offset / MiB);
        return offsets;
    }

    double elapsedMs = Untouched;
};

TEST_F(TransferPass, RequestsWrapAroundTheFileInIssueOrder) {
    for (const int64_t blocks : {1, 3}) {
        SCOPED_TRACE(blocks);
        InstallFake();
        AddFile(blocks);
        EXPECT_GT(Run(blocks), 0.0);
        const std::vector<uint64_t> offsets = Offsets();
        // Past the first eight, so the wrap of the re-issued requests shows.
        ASSERT_GE(offsets.size(), 8u + static_cast<size_t>(blocks));
        for (size_t i = 0; i < offsets.size(); ++i) EXPECT_EQ(offsets[i], i % blocks) << i;
        ExpectNothingLeftOpen();
    }
}

TEST_F(TransferPass, OffsetsBeyondFourGibibytesUseTheHighHalf) {
    // The content of a 4 GiB file is never needed: the fake is told every
    // request completes in full.
    AddFile(1);
    Fake().completionBytes = [](const FakeRequest& request) { return request.bytes; };
    Fake().counterAt = [](int64_t read) { return read < 4100 ? 0 : 60'000'000; };
    std::vector<DWORD> lowHalf;
    std::vector<DWORD> highHalf;
    Fake().beforeCall = [&](const std::string& call, int count) {
        if (call == "GetQueuedCompletionStatus" && count == 4090) {
            for (const FakeRequest& request : Fake().requests) {
                if (request.offset == 4096 * MiB && !request.completed) {
                    lowHalf.push_back(request.overlapped->Offset);
                    highHalf.push_back(request.overlapped->OffsetHigh);
                }
            }
        }
    };
    EXPECT_GT(Run(4097), 0.0);
    EXPECT_EQ(Fake().requests.at(4096).offset, 4096 * MiB);
    EXPECT_EQ(Fake().requests.at(4097).offset, 0u);
    EXPECT_EQ(lowHalf, std::vector<DWORD>{0});
    EXPECT_EQ(highHalf, std::vector<DWORD>{1});
}

// The profile itself: the file alone, unbuffered and sequential, on one port
// of one thread with key 0, each wait without a limit. While the pass runs,
// nobody else can open the file, not even to read it while sharing all.
TEST_F(TransferPass, OpensTheFileAloneUnbufferedOnOnePortAndWaitsWithoutLimit) {
    constexpr DWORD flags =
        FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
    AddFile(4);
    DWORD othersOpen = 0;
    Fake().beforeCall = [&](const std::string& call, int count) {
        if (call != "GetQueuedCompletionStatus" || count != 2) return;
        const HANDLE other = Platform.CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        othersOpen = other == INVALID_HANDLE_VALUE ? Platform.GetLastError() : 0;
        if (other != INVALID_HANDLE_VALUE) Platform.CloseHandle(other);
    };
    for (const int isWrite : {0, 1}) {
        SCOPED_TRACE(isWrite);
        Fake().opens.clear();
        Fake().portCalls.clear();
        Fake().waitTimeouts.clear();
        Fake().callCounts.clear();
        EXPECT_GT(Run(4, isWrite), 0.0);
        ASSERT_EQ(Fake().opens.size(), 2u);  // the pass, then the refused other
        const FakeOpen& open = Fake().opens.front();
        EXPECT_EQ(open.access, isWrite ? GENERIC_WRITE : GENERIC_READ);
        EXPECT_EQ(open.share, 0u);
        EXPECT_EQ(open.disposition, OPEN_EXISTING);
        EXPECT_EQ(open.flags, flags);
        ASSERT_EQ(Fake().portCalls.size(), 1u);
        EXPECT_EQ(Fake().portCalls[0].key, 0u);
        EXPECT_EQ(Fake().portCalls[0].threads, 1u);
        EXPECT_GT(Fake().waitTimeouts.size(), 8u);
        EXPECT_TRUE(EveryWaitWithoutLimit());
        EXPECT_EQ(othersOpen, ERROR_SHARING_VIOLATION);
    }
}

TEST_F(TransferPass, StopBeforeTheCallOpensFileAndPortButIssuesNothing) {
    AddFile(4);
    StopRequested.store(1);
    ExpectNoSpeed(Run(4), L"");
    EXPECT_EQ(Fake().callCounts["CreateFileW"], 1);
    EXPECT_EQ(Fake().callCounts["CreateIoCompletionPort"], 1);
    EXPECT_TRUE(Fake().requests.empty());
}

TEST_F(TransferPass, StopDuringTheWindowDrainsWhatIsInFlightAndIssuesNoMore) {
    AddFile(16);
    size_t issuedAtStop = 0;
    Fake().beforeCall = [&](const std::string& call, int count) {
        if (call == "GetQueuedCompletionStatus" && count == 3) {
            StopRequested.store(1);
            issuedAtStop = Fake().requests.size();
        }
    };
    ExpectNoSpeed(Run(16), L"");
    EXPECT_EQ(issuedAtStop, 10u);
    EXPECT_TRUE(EveryWaitWithoutLimit());
    EXPECT_EQ(Fake().requests.size(), issuedAtStop);
    EXPECT_TRUE(std::all_of(Fake().requests.begin(), Fake().requests.end(),
                            [](const FakeRequest& request) { return request.completed; }));
}

TEST_F(TransferPass, ThroughputCountsTheDrainedTailInMegabytesOfAMillionBytes) {
    AddFile(64);
    // The window closes on the 7993rd completion; the seven still in flight
    // then drain, so 8,000 requests complete in 50,000,000 ticks.
    Fake().frequency = 10'000'000;
    Fake().counterAt = [](int64_t read) { return read >= 7993 ? int64_t{50'000'000} : read; };
    EXPECT_DOUBLE_EQ(Run(64), 1677.7216);
    EXPECT_EQ(Fake().requests.size(), 8000u);
    EXPECT_DOUBLE_EQ(elapsedMs, 5000.0);
    EXPECT_EQ(errorText, L"");
}

TEST_F(TransferPass, ThroughputWithoutElapsedTime) {
    AddFile(64);
    Fake().counterAt = [](int64_t read) { return read >= 7993 ? int64_t{50'000'000} : read; };
    EXPECT_DOUBLE_EQ(RunTransferPass(path, 64, 0, pattern.data(), errorText, nullptr), 1677.7216);
}

TEST_F(TransferPass, WindowClosesAtExactlyFiveSecondsOfTicks) {
    AddFile(8);
    // Start, one tick short, exactly five seconds, then well past.
    const int64_t reads[] = {0, 49'999'999, 50'000'000};
    Fake().counterAt = [&reads](int64_t read) { return read < 3 ? reads[read] : 60'000'000; };
    Run(8);
    // The first completion is answered with one more request; the second closes the window.
    EXPECT_EQ(Fake().requests.size(), 9u);
}

TEST_F(TransferPass, ElapsedTimeOfZeroIsAnInvalidRange) {
    AddFile(8);
    Fake().counterAt = [](int64_t read) {
        if (read == 0 || read == 9) return int64_t{100};
        return int64_t{50'000'100};
    };
    ExpectNoSpeed(Run(8), L"Invalid time range");
}

TEST_F(TransferPass, WritePassSendsCopiesOfThePattern) {
    AddFile(2);
    size_t checked = 0;
    Fake().beforeCall = [&](const std::string& call, int count) {
        if (call != "GetQueuedCompletionStatus" || count != 1) return;
        for (const FakeRequest& request : Fake().requests) {
            EXPECT_TRUE(request.isWrite);
            EXPECT_NE(request.buffer, pattern.data());
            EXPECT_EQ(std::memcmp(request.buffer, pattern.data(), MiB), 0);
            checked += 1;
        }
    };
    EXPECT_GT(Run(2, 1), 0.0);
    EXPECT_EQ(checked, 8u);
}

TEST_F(TransferPass, ReleasesPortThenFileThenBuffers) {
    AddFile(8);
    Run(8);
    std::vector<std::string> releases;
    for (const std::string& entry : Fake().log) {
        if (entry.rfind("CloseHandle", 0) == 0 || entry == "VirtualFree")
            releases.push_back(entry.substr(0, 16));
    }
    std::vector<std::string> expected(10, "VirtualFree");
    expected[0] = "CloseHandle port";
    expected[1] = "CloseHandle file";
    EXPECT_EQ(releases, expected);
}

TEST_F(TransferPass, ShortCompletionIsAnIncompleteTransfer) {
    AddFile(8);
    Fake().completionBytes = [](const FakeRequest& request) {
        return request.offset == 2 * MiB ? DWORD{4096} : request.bytes;
    };
    ExpectNoSpeed(Run(8), L"Incomplete transfer: 4096 byte");
    EXPECT_EQ(Fake().callCounts["CancelIoEx"], 1);
}

TEST_F(TransferPass, CompletionWithARecordOutsideTheSlotsIsRejected) {
    AddFile(8);
    OVERLAPPED foreign{};
    Fake().beforeCall = [&foreign](const std::string& call, int count) {
        if (call != "GetQueuedCompletionStatus" || count != 3) return;
        for (FakeRequest& request : Fake().requests) {
            if (!request.completed) {
                request.overlapped = &foreign;
                return;
            }
        }
    };
    ExpectNoSpeed(Run(8), L"Invalid OVERLAPPED index");
}

struct FailureCase {
    const char* call;
    DWORD code;
    int skip;
    int isWrite;
    const wchar_t* text;
};

// Every check of the pass in the order it meets them; each case fails one call.
const FailureCase FailureCases[] = {
    {"VirtualAlloc", 8, 0, 0, L"VirtualAlloc failed (Windows Error 8)"},
    {"VirtualAlloc", 8, 7, 1, L"VirtualAlloc failed (Windows Error 8)"},
    {"CreateFileW", 5, 0, 0, L"Unable to open test file (Windows Error 5)"},
    {"CreateIoCompletionPort", 87, 0, 0, L"CreateIoCompletionPort failed (Windows Error 87)"},
    {"QueryPerformanceFrequency", 31, 0, 0, L"QueryPerformanceFrequency failed (Windows Error 31)"},
    {"ReadFile", 1117, 0, 0, L"I/O startup error (Windows 1117)"},
    {"WriteFile", 112, 5, 1, L"I/O startup error (Windows 112)"},
    {"GetQueuedCompletionStatus", 6, 2, 0, L"GetQueuedCompletionStatus failed (Windows Error 6)"},
    {"Completion", 1117, 3, 0, L"I/O completion failed (Windows Error 1117)"},
    // No room for a write: a full disk (112, or 39 through a handle), or a
    // quota or thin-provisioned volume with none left (1295).
    {"Completion", 112, 3, 1, L"The disk is full (Windows Error 112)"},
    {"Completion", 39, 5, 1, L"The disk is full (Windows Error 39)"},
    {"Completion", 1295, 4, 1, L"The disk is full (Windows Error 1295)"},
    {"ReadFile", 5, 12, 0, L"I/O re-entry error (Windows 5)"},
    {"WriteFile", 112, 8, 1, L"I/O re-entry error (Windows 112)"},
};

TEST_F(TransferPass, EachFailureEndsThePassWithItsTextAndReleasesEverything) {
    for (const FailureCase& failure : FailureCases) {
        SCOPED_TRACE(failure.call + std::string(" skip ") + std::to_string(failure.skip));
        InstallFake();
        AddFile(16);
        errorText.clear();
        elapsedMs = Untouched;
        FailCall(failure.call, failure.code, failure.skip);
        ExpectNoSpeed(Run(16, failure.isWrite), failure.text);
        ExpectNothingLeftOpen();
        EXPECT_TRUE(EveryWaitWithoutLimit());
    }
}

// A file another program still holds is waited for, for up to a second,
// before the clock starts; then it is the open's own failure.
TEST_F(TransferPass, HeldFileIsRetriedBeforeTheClockStarts) {
    for (const int held : {19, 20}) {
        SCOPED_TRACE(held);
        InstallFake();
        AddFile(4);
        errorText.clear();
        elapsedMs = Untouched;
        for (int i = 0; i < held; ++i) FailCall("CreateFileW", ERROR_SHARING_VIOLATION);
        int64_t clockReadsWhileWaiting = 0;
        Fake().beforeCall = [&](const std::string& call, int) {
            if (call == "Sleep") clockReadsWhileWaiting += Fake().counterReads;
        };
        const double speed = Run(4);
        EXPECT_EQ(clockReadsWhileWaiting, 0);
        EXPECT_EQ(Fake().callCounts["Sleep"], 19);
        EXPECT_EQ(Fake().sleptMs, 19 * 50);
        if (held == 19) {
            EXPECT_GT(speed, 0.0);
        } else {
            ExpectNoSpeed(speed, L"Unable to open test file (Windows Error 32)");
        }
        ExpectNothingLeftOpen();
    }
}

TEST_F(TransferPass, MissingFileCannotBeOpened) {
    ExpectNoSpeed(Run(4), L"Unable to open test file (Windows Error 2)");
}

TEST_F(TransferPass, WithWindowsErrorAppendsTheCodeOfTheCallThatJustFailed) {
    Platform.SetLastError(1117);
    EXPECT_EQ(WithWindowsError(L"Unable to set file size"),
              L"Unable to set file size (Windows Error 1117)");
    Platform.SetLastError(0);
    EXPECT_EQ(WithWindowsError(L"x"), L"x (Windows Error 0)");
}

}  // namespace
