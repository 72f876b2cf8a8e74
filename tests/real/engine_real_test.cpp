#include "engine/pattern.h"
#include "engine/prepare_test_file.h"
#include "engine/run_record.h"
#include "engine/threaded_pass.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int64_t Blocks = 256;
constexpr size_t MiB = 1'048'576;

class EngineOnRealFiles : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested.store(0);
        Platform.DeleteFileW(path.c_str());  // left by a run that was killed: made new below
        pattern = Platform.VirtualAlloc(nullptr, MiB, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        ASSERT_NE(pattern, nullptr);
        FillPattern(pattern, MiB);
    }

    void TearDown() override {
        Platform.DeleteFileW(path.c_str());
        if (pattern != nullptr) Platform.VirtualFree(pattern, 0, MEM_RELEASE);
    }

    const std::wstring path = L"engine_real.tmp";
    void* pattern = nullptr;
};

// The file is prepared and checked once, then read and rewritten in two real
// five-second passes; the passes are few on purpose.
TEST_F(EngineOnRealFiles, PreparedFileThenOneReadAndOneWritePass) {
    std::wstring errorText;
    EXPECT_TRUE(PrepareTestFile(path, Blocks, pattern, errorText));
    EXPECT_EQ(errorText, L"");
    {
        std::ifstream file("engine_real.tmp", std::ios::binary | std::ios::ate);
        ASSERT_TRUE(file.is_open());
        EXPECT_EQ(static_cast<int64_t>(file.tellg()), Blocks * static_cast<int64_t>(MiB));
        file.seekg(0);
        std::vector<char> block(MiB);
        for (int64_t b = 0; b < Blocks; ++b) {
            file.read(block.data(), static_cast<std::streamsize>(MiB));
            ASSERT_EQ(std::memcmp(block.data(), pattern, MiB), 0) << "block " << b;
        }
    }

    for (int isWrite = 0; isWrite <= 1; ++isWrite) {
        SCOPED_TRACE(isWrite ? "write pass" : "read pass");
        errorText.clear();
        double elapsedMs = 0.0;
        const double speed = RunTransferPass(path, Blocks, isWrite, pattern, errorText, &elapsedMs);
        EXPECT_EQ(errorText, L"");
        EXPECT_GT(speed, 0.0);
        EXPECT_GE(elapsedMs, 4900.0);
        EXPECT_LE(elapsedMs, 6500.0);
    }
}

// One real read pass of two threads at 256 in flight each, past what one
// ring or AIO context held before: both engines take it, and the requests
// of both threads are counted in one window.
TEST_F(EngineOnRealFiles, TwoThreadsAtTheDeepestQueue) {
    std::wstring errorText;
    ASSERT_TRUE(PrepareTestFile(path, Blocks, pattern, errorText));
    const auto tally = std::make_unique<PassTally>();
    double elapsedMs = 0.0;
    const double speed = RunThreadedPass(path, Blocks, PassShape{4096, 256, true, 1}, 2, 0,
                                         pattern, errorText, &elapsedMs, tally.get());
    EXPECT_EQ(errorText, L"");
    EXPECT_GT(speed, 0.0);
    EXPECT_GE(elapsedMs, 4900.0);
    EXPECT_EQ(tally->latency.total, static_cast<uint64_t>(tally->requests));
    EXPECT_EQ(tally->bytes, tally->requests * 4096);
}

}  // namespace
