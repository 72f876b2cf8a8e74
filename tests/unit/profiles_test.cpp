// Profile names: the grammar, its limits, and the names the fixed sets and
// the reports use.
#include "engine/profiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct NameCase {
    const char* given;
    const char* option;
    int64_t bytes;
    int depth;
    int threads;
};

TEST(ProfileNames, GrammarLimitsAndSpellings) {
    const std::vector<NameCase> accepted = {
        {"SEQ1M-Q8T1", "SEQ1M-Q8T1", 1048576, 8, 1},
        {"rnd4k-q32t16", "RND4K-Q32T16", 4096, 32, 16},
        {"RND4K Q32T16", "RND4K-Q32T16", 4096, 32, 16},
        {"Rnd4kQ32T2", "RND4K-Q32T2", 4096, 32, 2},
        {"SEQ128K-Q32T1", "SEQ128K-Q32T1", 131072, 32, 1},
        {"RND512-Q1T1", "RND512-Q1T1", 512, 1, 1},
        {"SEQ64M-Q1T1", "SEQ64M-Q1T1", 67108864, 1, 1},
        {"SEQ512K-Q256T64", "SEQ512K-Q256T64", 524288, 256, 64},
    };
    for (const NameCase& c : accepted) {
        SCOPED_TRACE(c.given);
        Profile profile{};
        ASSERT_TRUE(ProfileFromName(c.given, profile));
        EXPECT_STREQ(profile.option, c.option);
        EXPECT_EQ(profile.shape.requestBytes, c.bytes);
        EXPECT_EQ(profile.shape.depth, c.depth);
        EXPECT_EQ(profile.threads, c.threads);
        EXPECT_EQ(profile.shape.random, c.given[0] == 'r' || c.given[0] == 'R');
        EXPECT_TRUE(IsValidShape(profile.shape));
    }
    const char* const refused[] = {
        // Each limit, just past it.
        "SEQ128M-Q1T1", "RND2K-Q1T1", "RND256-Q1T1", "SEQ1M-Q0T1", "SEQ1M-Q257T1", "SEQ1M-Q1T0",
        "SEQ1M-Q1T65", "RND3K-Q1T1", "RND48K-Q1T1",
        // Spellings that are no profile's own.
        "RND04K-Q1T1", "SEQ1024K-Q1T1", "RND4096-Q1T1", "SEQ1M-Q08T1", "SEQ1M--Q8T1", "SEQ1M_Q8T1",
        "SEQ1M-Q8", "SEQ1M-T1", "SEQ1M-Q8T1 ", "SEQ-Q8T1", "ABC1M-Q8T1", "SEQ1G-Q1T1", "", "all",
        "SEQ99999999999M-Q1T1"};
    for (const char* name : refused) {
        Profile profile{};
        EXPECT_FALSE(ProfileFromName(name, profile)) << name;
    }
}

// The fixed sets spell their names as the grammar does.
TEST(ProfileNames, FixedSetsAreTheGrammarsOwn) {
    std::vector<Profile> all(std::begin(Profiles), std::end(Profiles));
    all.insert(all.end(), std::begin(NvmeProfiles), std::end(NvmeProfiles));
    for (const Profile& fixed : all) {
        SCOPED_TRACE(fixed.option);
        Profile parsed{};
        ASSERT_TRUE(ProfileFromName(fixed.option, parsed));
        EXPECT_EQ(std::wstring(parsed.name), fixed.name);
        EXPECT_EQ(std::wstring(parsed.fileTag), fixed.fileTag);
        EXPECT_EQ(parsed.shape.requestBytes, fixed.shape.requestBytes);
        EXPECT_EQ(parsed.shape.depth, fixed.shape.depth);
        EXPECT_EQ(parsed.shape.random, fixed.shape.random);
        EXPECT_EQ(parsed.threads, fixed.threads);
    }
    EXPECT_TRUE(IsWindowProfile(WindowProfile));
    EXPECT_FALSE(IsWindowProfile(NvmeProfiles[2]));
}

}  // namespace
