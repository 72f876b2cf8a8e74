#include "engine/sustained_write.h"

#include "engine/benchmark_run.h"
#include "engine/write_depth.h"
#include "platform/text.h"
#include "report/report.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int64_t MiB = 1'048'576;
constexpr int64_t GiB = 1'073'741'824;

void Ignore(int64_t, int64_t) {}
void IgnoreBox(const std::wstring&) {}
const RunEventSink Sink = {Ignore, IgnoreBox};

// The device counts what the fake completed, as a device under no cache would.
bool CompletedWrites(int64_t& bytes) {
    bytes = 0;
    for (const FakeRequest& request : Fake().requests) {
        if (request.completed && request.isWrite) bytes += request.bytes;
    }
    return true;
}

const SustainedHooks Hooks = {CompletedWrites, nullptr};

class SustainedWrite : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        StopRequested.store(0);
        ResetReportWriter();
        CurrentSustained = SustainedRecord{};
        CurrentSustained.folder = FakePath(L"");
        CurrentSustained.sustained.limitBytes = 200 * MiB;
    }
    void TearDown() override {
        EXPECT_FALSE(FakeExists(FakePath(L"corvastatmp0001A2F0")));
        EXPECT_FALSE(FakeExists(FakePath(RecoveryMarkerName)));
        ExpectNothingLeftOpen();
        StopRequested.store(0);
        RemoveFake();
    }
    static int64_t Written() {
        const std::vector<TracePoint>& trace = CurrentSustained.sustained.trace;
        return trace.empty() ? 0 : trace.back().bytes;
    }
    static std::string Report() {
        return FakeFileBytes(ReportPath);
    }
};

TEST_F(SustainedWrite, WritesEachBlockOnceInOrderAndSamplesEveryHalfSecond) {
    SustainedThread(Sink, Hooks);
    EXPECT_EQ(CurrentSustained.result.errorText, L"");
    EXPECT_EQ(CurrentSustained.ending, SustainedEnding::Written);
    ASSERT_EQ(Fake().requests.size(), 200u);
    for (size_t i = 0; i < Fake().requests.size(); ++i) {
        EXPECT_EQ(Fake().requests[i].offset, i * MiB);
    }
    // Made empty, grown ahead of the writes to 64, 128, 192 and 200 MiB; the
    // marker is emptied at the end.
    EXPECT_EQ(Fake().callCounts["SetEndOfFile"], 6);
    const std::vector<TracePoint>& trace = CurrentSustained.sustained.trace;
    EXPECT_EQ(Written(), 200 * MiB);
    for (size_t i = 1; i < trace.size(); ++i) {
        EXPECT_GE(trace[i].seconds - trace[i - 1].seconds, 0.5 - 1e-9);
        EXPECT_EQ(trace[i].deviceBytes, trace[i].bytes - trace[i - 1].bytes);
    }
    EXPECT_EQ(trace.front().deviceBytes, trace.front().bytes);
    EXPECT_NE(ReportPath.find(L"_SUSTAINED_0.20GiB.html"), std::wstring::npos);
    EXPECT_NE(Report().find("no drop within 0.20 GiB"), std::string::npos);
    EXPECT_NE(Report().find("</html>"), std::string::npos);
}

// The file's growth finds no room, or a write does (a thin-provisioned
// volume or a quota has none left though the length was given).
TEST_F(SustainedWrite, AFullDiskStopsTheWriteAndKeepsWhatWasMeasured) {
    struct Case {
        const char* call;
        DWORD code;
        SustainedEnding ending;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"SetEndOfFile", ERROR_DISK_FULL, SustainedEnding::DiskFull,
         L"The disk is full: the sustained write stopped at 0.06 GiB"},
        {"SetEndOfFile", ERROR_ACCESS_DENIED, SustainedEnding::Failed,
         L"Unable to set file size (Windows Error 5)"},
        {"Completion", ERROR_DISK_QUOTA_EXCEEDED, SustainedEnding::DiskFull,
         L"The disk is full: the sustained write stopped at 0.06 GiB"},
        {"Completion", ERROR_HANDLE_DISK_FULL, SustainedEnding::DiskFull,
         L"The disk is full: the sustained write stopped at 0.06 GiB"},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        // Made empty, grown to 64 MiB, then the next step fails; or the
        // write after the first 64 MiB does.
        FailCall(c.call, c.code, c.call == std::string("SetEndOfFile") ? 2 : 64);
        SustainedThread(Sink, Hooks);
        EXPECT_EQ(CurrentSustained.ending, c.ending);
        EXPECT_EQ(Written(), 64 * MiB);
        EXPECT_EQ(CurrentSustained.result.errorText, c.text);
        EXPECT_NE(Report().find("<h2>ERROR</h2>"), std::string::npos);
        EXPECT_NE(Report().find("<svg"), std::string::npos);
    }
}

TEST_F(SustainedWrite, AStopEndsTheWriteButKeepsItsReport) {
    Fake().beforeCall = [](const std::string& call, int count) {
        if (call == "WriteFile" && count == 50) StopRequested.store(1);
    };
    SustainedThread(Sink, Hooks);
    EXPECT_EQ(CurrentSustained.result.stopped, 1);
    EXPECT_EQ(CurrentSustained.ending, SustainedEnding::Stopped);
    EXPECT_LT(Written(), 60 * MiB);
    EXPECT_NE(Report().find("Stopped by the user"), std::string::npos);
}

TEST_F(SustainedWrite, WithoutASizeItEndsOnceADropHasHeld) {
    CurrentSustained.stopOnceHeld = true;
    CurrentSustained.sustained.limitBytes = 400 * MiB;
    // 0.1 s per MiB for the first 150 MiB, then 0.4 s: a cache of about 150 MiB.
    Fake().counterAt = [](int64_t read) {
        return read < 150 ? read * 1'000'000 : 150'000'000 + (read - 150) * 4'000'000;
    };
    SustainedThread(Sink, Hooks);
    EXPECT_EQ(CurrentSustained.ending, SustainedEnding::DropHeld);
    EXPECT_LT(Written(), 400 * MiB);
    EXPECT_TRUE(CurrentSustained.sustained.findings.dropFound);
    EXPECT_NEAR(static_cast<double>(CurrentSustained.sustained.findings.cacheBytes), 150.0 * MiB,
                10.0 * MiB);
}

TEST(SustainedLimit, FollowsTheSizeAskedForAndWhatMustStayFree) {
    struct Case {
        const char* name;
        SustainedSize size;
        uint64_t freeBytes;
        uint64_t totalBytes;
        int64_t largestFile;
        int64_t limit;
    };
    const Case cases[] = {
        {"whole GiB", {3, 0}, 100 * GiB, 200 * GiB, 0, 3 * GiB},
        {"share of the free space", {0, 80}, 100 * GiB, 200 * GiB, 0, 80 * GiB},
        {"default: three quarters", {0, 0}, 100 * GiB, 200 * GiB, 0, 75 * GiB},
        {"5% of the volume stays free", {500, 0}, 100 * GiB, 1000 * GiB, 0, 50 * GiB},
        {"2 GiB stay free", {0, 100}, 10 * GiB, 20 * GiB, 0, 8 * GiB},
        {"FAT32 takes under 4 GiB", {10, 0}, 100 * GiB, 200 * GiB, 4 * GiB - 1, 4 * GiB - MiB},
        {"no room", {3, 0}, 2 * GiB, 20 * GiB, 0, 0},
        {"whole MiB", {0, 50}, 10 * GiB + 3, 20 * GiB, 0, 5 * GiB - MiB},
        {"a size beyond any disk", {INT64_MAX / 2, 0}, 100 * GiB, 200 * GiB, 0, 90 * GiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LimitFromSpace(c.size, c.freeBytes, c.totalBytes, c.largestFile), c.limit);
    }
    EXPECT_EQ(LargestFileBytes(L"vfat"), 4 * GiB - 1);
    EXPECT_EQ(LargestFileBytes(L"ext4"), 0);
}

TEST(SustainedLimit, TooLittleRoomIsAClearFailure) {
    InstallFake();
    Fake().volumeTotalBytes[FakePath(L"")] = 4 * GiB;  // 2 GiB free
    std::wstring errorText;
    EXPECT_EQ(SustainedLimitBytes({1, 0}, FakePath(L""), L"NTFS", errorText), 0);
    EXPECT_EQ(errorText, L"Not enough free space for a sustained write: at least 0.25 GiB beyond "
                         L"the 2 GiB or 5% that stay free");
    RemoveFake();
}

}  // namespace

// Windows does a write that reaches past the file's valid data length
// synchronously (WriteFile returns TRUE at once), and SetEndOfFile does not
// move that length; SetFileValidData does, on a handle that may write,
// opened while SE_MANAGE_VOLUME_NAME was enabled. AdjustTokenPrivileges
// returns TRUE also when the token lacks the privilege, with
// ERROR_NOT_ALL_ASSIGNED as the last error. Writes to an EFS-encrypted file
// are always synchronous. The fake does all of this; the write keeps eight
// in flight where it can and otherwise says it ran one at a time.
TEST_F(SustainedWrite, WritesThatWindowsDoesOneAtATimeAreSaidToBe) {
    struct Case {
        const char* name;
        bool privilegeHeld;
        bool encrypted;
        DWORD validDataFailure;
        int64_t depth;
        std::wstring note;
    };
    const Case cases[] = {
        {"elevated", true, false, 0, 8, L""},
        {"not elevated", false, false, 0, 1, NoVolumePrivilegeText},
        {"encrypted", true, true, 0, 1, EncryptedWritesText},
        {"valid data refused", true, false, ERROR_INVALID_PARAMETER, 1,
         L"Unable to move the test file's valid data length ahead (Windows Error 87): the "
         L"sustained write went on at queue depth 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Fake().validDataLengths = true;
        Fake().volumePrivilegeHeld = c.privilegeHeld;
        if (c.encrypted) Fake().nodes[Fake().currentDirectory].attributes |= FILE_ATTRIBUTE_ENCRYPTED;
        if (c.validDataFailure != 0) FailCall("SetFileValidData", c.validDataFailure);
        SustainedThread(Sink, Hooks);
        EXPECT_EQ(CurrentSustained.ending, SustainedEnding::Written);
        EXPECT_EQ(Written(), 200 * MiB);
        // A write done before its call returns is never pending.
        EXPECT_EQ(Fake().mostPending, c.depth == 8 ? 8 : 0);
        EXPECT_EQ(CurrentSustained.result.writeDepth, c.depth);
        EXPECT_EQ(CurrentSustained.result.writeDepthNote, c.note);
        EXPECT_NE(Report().find("<th>WRITES IN FLIGHT</th><td>" + std::to_string(c.depth)),
                  std::string::npos);
        EXPECT_NE(Report().find(Utf8FromWide(c.note)), std::string::npos);
    }
}
