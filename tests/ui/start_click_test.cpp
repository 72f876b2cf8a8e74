// The window built in this process, with start clicks queued where the
// window pumps messages part-way through its own work: while it is built and
// while a run's outcome is written. Neither click may start a run.
#include "engine/benchmark_run.h"
#include "engine/status_text.h"
#include "tests/fake/fake_checks.h"
#include "ui/window_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HHOOK CreationHook = nullptr;
int ClicksQueuedWhileBuilding = 0;

// What a click on the start button sends its parent, queued instead.
void QueueStartClick(HWND parent, HWND button) {
    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(StartButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// Queues a click as soon as the start button exists, long before the
// controls after it.
LRESULT CALLBACK ClickOnceStartExists(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW& created = *reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (created.hwndParent && created.hMenu == reinterpret_cast<HMENU>(StartButtonId)) {
            QueueStartClick(created.hwndParent, reinterpret_cast<HWND>(wParam));
            ++ClicksQueuedWhileBuilding;
        }
    }
    return CallNextHookEx(CreationHook, code, wParam, lParam);
}

std::wstring TextOf(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    return text;
}

// One window for the whole program: a class is registered once per process.
class StartClicks : public testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallFake();
        Window.folderText = FakePath(L"");
        CreationHook = SetWindowsHookExW(WH_CBT, ClickOnceStartExists, nullptr, GetCurrentThreadId());
        built = BuildMainWindow();
        UnhookWindowsHookEx(CreationHook);
    }

    static void TearDownTestSuite() {
        if (Window.mainWindow) DestroyWindow(Window.mainWindow);
        RemoveFake();
    }

    static bool built;
};

bool StartClicks::built = false;

TEST_F(StartClicks, AClickWhileTheWindowIsBuiltIsIgnored) {
    ASSERT_TRUE(built);
    // The click is taken by the pump that follows the caption fonts.
    ASSERT_EQ(ClicksQueuedWhileBuilding, 1);
    ASSERT_NE(Window.captionFont, nullptr);
    EXPECT_EQ(Window.workerThread, 0u);
    EXPECT_EQ(TextOf(Window.statusLine), L" Developed by Quillane 2026");
    EXPECT_EQ(TextOf(Window.readSpeedDisplay), L"0.00 ");
    EXPECT_TRUE(IsWindowEnabled(Window.startButton));
}

TEST_F(StartClicks, AClickQueuedBehindTheOutcomeIsIgnoredAndTheOutcomeShows) {
    ASSERT_TRUE(built);
    // A run that fails at once; the click comes after the worker posted its
    // outcome, so the outcome's own pumps are the first to see it.
    FailCall("CreateDirectoryW", ERROR_ACCESS_DENIED);
    SendMessageW(Window.mainWindow, WM_COMMAND, MAKEWPARAM(StartButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Window.startButton));
    ASSERT_NE(Window.workerThread, 0u);
    ASSERT_EQ(WaitForSingleObject(Window.workerHandle, 30000), WAIT_OBJECT_0);
    QueueStartClick(Window.mainWindow, Window.startButton);
    ProcessPendingMessages();
    EXPECT_EQ(Window.workerThread, 0u);
    EXPECT_EQ(Fake().callCounts["CreateDirectoryW"], 1);
    EXPECT_EQ(TextOf(Window.statusLine), L"Error: Unable to create " + FakePath(L"corvastatmp0001A2F0"));
    EXPECT_EQ(TextOf(Window.readSpeedDisplay), L"Wait...   ");
    EXPECT_TRUE(IsWindowEnabled(Window.startButton));
    EXPECT_TRUE(IsWindowEnabled(Window.passCountList));
    ExpectNothingLeftOpen();
}

}  // namespace
