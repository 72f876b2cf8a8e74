// The check every fake-seam test ends with: its path released everything it
// opened and misused nothing.
#pragma once

#include "tests/fake/fake_platform.h"

#include <gtest/gtest.h>

inline void ExpectNothingLeftOpen() {
    EXPECT_EQ(OpenHandleCount(), 0u);
    EXPECT_EQ(OpenAllocationCount(), 0u);
    EXPECT_EQ(RequestsInFlight(), 0u);
    EXPECT_TRUE(Fake().violations.empty()) << Fake().violations.front();
}
