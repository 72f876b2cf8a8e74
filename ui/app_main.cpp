// Start-up of the window program: clean up after a crashed run, gather what
// the window shows, build it, then run the event loop until the process ends.
#include "ui/window_state.h"

#include "drive/drive_info.h"
#include "engine/benchmark_run.h"
#include "report/report.h"
#include "resources/resource_ids.h"

#include <commctrl.h>
#include <objbase.h>

namespace {

std::wstring CurrentFolder() {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length < folder.size() ? length : 0);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RecoverCrashedRun();
    Window.folderText = CurrentFolder();
    ResetReportWriter();

    // The pictures come through the system's codecs, which live in COM.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    Window.startPicture = DecodePictureResource(MAKEINTRESOURCEW(StartPictureId));
    Window.runningPicture = DecodePictureResource(MAKEINTRESOURCEW(RunningPictureId));

    // Raised once for the whole process: the worker's 50 ms slices rely on it.
    Platform.timeBeginPeriod(1);
    Sleep(250);
    Sleep(250);
    GatherDriveInfo(CurrentFolder());
    if (!BuildMainWindow()) {
        Window.exitCode = 1;
        ShutDown();
    }
    ProcessPendingMessages();
    ShowFirstStartHelp();
    RunEventLoop();
}
