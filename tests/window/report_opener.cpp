// Stands in for the browser: the driver registers it as the program that
// opens HTML files, and it writes beside itself (".txt", UTF-16 lines ended
// by LF) the file it was asked to open and the folder it was started in.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring text = std::wstring(argc > 1 ? argv[1] : L"") + L"\n" + folder + L"\n";
    FILE* out = _wfopen((std::wstring(self) + L".txt").c_str(), L"wb");
    if (!out) return 1;
    std::fwrite(text.data(), sizeof(wchar_t), text.size(), out);
    std::fclose(out);
    return 0;
}
