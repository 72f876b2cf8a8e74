#include "engine/prepare_test_file.h"

#include "engine/run_objects.h"
#include "engine/run_record.h"
#include "engine/transfer_pass.h"
#include "platform/platform.h"

namespace {

constexpr DWORD WriteBytes = static_cast<DWORD>(BlockBytes);
constexpr DWORD PrepareFlags =
    FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;

bool MovePointer(HANDLE file, int64_t offset) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    return Platform.SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != FALSE;
}

// A file made in a compressed folder is compressed too, and its passes would
// then time the compressor; it goes back to plain before any data is in it.
bool ClearInheritedCompression(HANDLE file, DWORD attributes, std::wstring& errorText) {
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_COMPRESSED) == 0)
        return true;
    uint16_t none = 0;  // COMPRESSION_FORMAT_NONE
    DWORD returned = 0;
    if (Platform.DeviceIoControl(file, FsctlSetCompression, &none, sizeof none, nullptr, 0,
                                 &returned, nullptr))
        return true;
    errorText = WithWindowsError(L"Unable to turn off compression of test file");
    return false;
}

// The whole length at once, so the file does not grow block by block and a
// full disk shows before any data is written.
bool SetLength(HANDLE file, int64_t blockCount, std::wstring& errorText) {
    if (!MovePointer(file, blockCount * BlockBytes) || !Platform.SetEndOfFile(file)) {
        errorText = WithWindowsError(L"Unable to set file size");
        return false;
    }
    if (!MovePointer(file, 0)) {
        errorText = WithWindowsError(L"Unable to reset pointer to start");
        return false;
    }
    return true;
}

// The file pointer moves on by itself, so block b lands at b MiB.
bool WriteBlocks(HANDLE file, int64_t blockCount, const void* pattern, std::wstring& errorText) {
    for (int64_t block = 1; block <= blockCount; ++block) {
        if (IsStopRequested()) return false;
        DWORD written = 0;
        const BOOL ok = Platform.WriteFile(file, pattern, WriteBytes, &written, nullptr);
        if (!ok || written != WriteBytes) {
            errorText = WithWindowsError(L"Error while preparing file");
            return false;
        }
    }
    return true;
}

}  // namespace

bool PrepareTestFile(const std::wstring& testFilePath, int64_t blockCount, const void* pattern,
                     std::wstring& errorText, ObjectIdentity* made, DWORD* madeAttributes) {
    const HANDLE file = Platform.CreateFileW(testFilePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                             nullptr, CREATE_NEW, PrepareFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorText = WithWindowsError(L"Unable to create test file");
        return false;
    }
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    const ObjectIdentity identity = IdentityOf(file, &attributes);
    if (made != nullptr) *made = identity;
    if (madeAttributes != nullptr) *madeAttributes = attributes;
    const bool complete = ClearInheritedCompression(file, attributes, errorText) &&
                          SetLength(file, blockCount, errorText) &&
                          WriteBlocks(file, blockCount, pattern, errorText);
    Platform.CloseHandle(file);
    return complete;
}
