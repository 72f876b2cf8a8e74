// The Windows build links with -municode, which makes wmain the entry point;
// the GoogleTest main library only brings main.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
