// Arbitrary descriptor and volume extent bytes and byte counts must give
// texts and disk numbers, never a read outside the buffer they came in.
#include "drive/disk_query.h"
#include "tests/fake/fake_platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Input: 4 bytes of claimed byte count, 1 byte of failure switches, then the
// descriptor bytes.
struct FuzzDisk {
    DWORD returned = 0;
    uint8_t switches = 0;
    const uint8_t* bytes = nullptr;
    size_t size = 0;
};

FuzzDisk Current;

BOOL Answer(const std::wstring&, DWORD code, const void*, DWORD, void* output, DWORD outputBytes,
            DWORD* returned) {
    if (code == IoctlStorageQueryProperty) {
        if ((Current.switches & 1) != 0) return FALSE;
        std::memcpy(output, Current.bytes, Current.size < outputBytes ? Current.size : outputBytes);
        *returned = Current.returned;
        return TRUE;
    }
    // The volume's answers: no device number, then the same bytes as its
    // extents, claimed complete or not by one switch.
    if (code == IoctlVolumeGetVolumeDiskExtents) {
        std::memcpy(output, Current.bytes, Current.size < outputBytes ? Current.size : outputBytes);
        *returned = Current.returned;
        if ((Current.switches & 4) == 0) return TRUE;
        Platform.SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    if (code == IoctlDiskGetLengthInfo && (Current.switches & 2) == 0) {
        const int64_t length = Current.switches >> 2;
        std::memcpy(output, &length, sizeof length);
        *returned = sizeof length;
        return TRUE;
    }
    return FALSE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    std::memcpy(&Current.returned, data, 4);
    Current.switches = data[4];
    Current.bytes = data + 5;
    Current.size = size - 5;
    InstallFake();
    Fake().devices = {L"\\\\.\\PhysicalDrive0", L"\\\\.\\E:"};
    Fake().deviceControl = Answer;
    DiskIdentity identity;
    const bool found = QueryDiskIdentity(0, identity);
    std::vector<int64_t> disks;
    std::wstring errorText;
    const bool resolved = ResolveVolumeDisks(L"E:", disks, errorText);
    if (resolved == disks.empty() || resolved == !errorText.empty()) std::abort();
    const bool leaked = OpenHandleCount() != 0;
    RemoveFake();
    if (leaked || identity.vendor.empty() || identity.product.empty()) std::abort();
    if (found != (identity.product != L"Not reported" || identity.capacityBytes > 0)) std::abort();
    return 0;
}
