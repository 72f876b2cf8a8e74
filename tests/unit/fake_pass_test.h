// What every pass test over the fake starts from: a fresh fake, the test
// file's path, a filled pattern, and at the end the check that the pass
// left nothing open.
#pragma once

#include "engine/pattern.h"
#include "engine/run_record.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class FakePassTest : public ::testing::Test {
protected:
    static constexpr uint64_t MiB = 1'048'576;

    void SetUp() override {
        InstallFake();
        StopRequested.store(0);
        path = FakePath(L"pass.tmp");
        pattern.resize(MiB);
        FillPattern(pattern.data(), pattern.size());
    }

    void TearDown() override {
        ExpectNothingLeftOpen();
        StopRequested.store(0);
        RemoveFake();
    }

    std::wstring path;
    std::vector<unsigned char> pattern;
    std::wstring errorText;
};
