// Opens a file as the desktop's user: through the shell's own process, which
// runs with that user's token, not the administrator's this program has.
// The chain: the shell windows' collection finds the desktop's window
// (IShellWindows::FindWindowSW, SWC_DESKTOP), its top-level browser
// (IServiceProvider::QueryService, SID_STopLevelBrowser) gives the active
// view (IShellBrowser::QueryActiveShellView), whose background object
// (IShellView::GetItemObject, SVGIO_BACKGROUND) is an IShellFolderViewDual;
// its Application is the shell's IShellDispatch2, whose ShellExecute runs
// in the shell's process.
#include "ui/window_state.h"

#include "platform/win32/win32_system_dlls.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace {

template <typename T>
void Release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// BSTRs come from oleaut32, which is loaded from System32 when first needed.
struct BstrCalls {
    BSTR(WINAPI* allocate)(const OLECHAR*) = nullptr;
    void(WINAPI* free)(BSTR) = nullptr;
};

const BstrCalls& Bstr() {
    static const BstrCalls calls = [] {
        BstrCalls found;
        found.allocate =
            SystemProcedureAs<decltype(found.allocate)>(L"oleaut32.dll", "SysAllocString");
        found.free = SystemProcedureAs<decltype(found.free)>(L"oleaut32.dll", "SysFreeString");
        return found;
    }();
    return calls;
}

IShellView* DesktopView() {
    IShellWindows* windows = nullptr;
    IDispatch* desktop = nullptr;
    IServiceProvider* provider = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    VARIANT location{};
    VARIANT root{};
    long window = 0;
    // FindWindowSW answers S_FALSE, with no object, when there is no desktop.
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                   IID_PPV_ARGS(&windows))) &&
        windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              &desktop) == S_OK &&
        desktop && SUCCEEDED(desktop->QueryInterface(IID_PPV_ARGS(&provider))) &&
        SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser)))) {
        browser->QueryActiveShellView(&view);
    }
    Release(browser);
    Release(provider);
    Release(desktop);
    Release(windows);
    return view;
}

IShellDispatch2* DesktopShellDispatch() {
    IShellView* view = DesktopView();
    IDispatch* background = nullptr;
    IShellFolderViewDual* folderView = nullptr;
    IDispatch* application = nullptr;
    IShellDispatch2* shell = nullptr;
    if (view && SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) &&
        SUCCEEDED(background->QueryInterface(IID_PPV_ARGS(&folderView))) &&
        SUCCEEDED(folderView->get_Application(&application)) && application) {
        application->QueryInterface(IID_PPV_ARGS(&shell));
    }
    Release(application);
    Release(folderView);
    Release(background);
    Release(view);
    return shell;
}

}  // namespace

bool OpenAsDesktopUser(const std::wstring& file, const std::wstring& folder) {
    const BstrCalls& bstr = Bstr();
    if (!bstr.allocate || !bstr.free) return false;
    IShellDispatch2* shell = DesktopShellDispatch();
    if (!shell) return false;
    BSTR fileText = bstr.allocate(file.c_str());
    BSTR folderText = folder.empty() ? nullptr : bstr.allocate(folder.c_str());
    VARIANT arguments{};
    VARIANT directory{};
    if (folderText) {
        directory.vt = VT_BSTR;
        directory.bstrVal = folderText;
    }
    VARIANT operation{};
    VARIANT show{};
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    const bool opened = fileText && SUCCEEDED(shell->ShellExecute(fileText, arguments, directory,
                                                                 operation, show));
    if (folderText) bstr.free(folderText);
    if (fileText) bstr.free(fileText);
    shell->Release();
    return opened;
}
