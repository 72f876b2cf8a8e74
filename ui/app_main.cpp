// Start-up of the window program: clean up after a crashed run, gather what
// the window shows, build it, then run the event loop until the process ends.
#include "ui/window_state.h"

#include "drive/drive_info.h"
#include "engine/benchmark_run.h"
#include "engine/run_names.h"
#include "platform/win32/win32_system_dlls.h"
#include "report/report.h"
#include "resources/resource_ids.h"

#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LoadDllsFromSystem32Only();
    RecoverCrashedRun();
    Window.folderText = BenchmarkFolder();
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
    GatherDriveInfo(BenchmarkFolder());
    if (!BuildMainWindow()) {
        Window.exitCode = 1;
        ShutDown();
    }
    ProcessPendingMessages();
    ShowFirstStartHelp();
    RunEventLoop();
}
