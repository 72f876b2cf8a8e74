// From a volume to its physical disk, and from the disk to its identity and
// length, through the storage queries of the seam.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

// The storage device descriptor is received into a buffer of this size; no
// text is ever read beyond it.
constexpr int32_t DescriptorBufferBytes = 4096;

struct DiskIdentity {
    int64_t diskNumber = 0;
    std::wstring vendor;
    std::wstring product;
    int64_t capacityBytes = 0;  // 0 when the length could not be read
    std::wstring errorText;     // the first failure, empty when there was none
};

// The physical disks that hold a volume, each once: the volume "X:" or a
// volume GUID path ("\\?\Volume{...}"). One disk for a volume on a partition,
// several for one spread over disks; false, with only errorText written,
// when the volume cannot be asked or its device is not a disk.
bool ResolveVolumeDisks(const std::wstring& volume, std::vector<int64_t>& disks,
                        std::wstring& errorText);

// Fills identity from disk diskNumber; true when a product or a length was
// read.
bool QueryDiskIdentity(int64_t diskNumber, DiskIdentity& identity);

// The text at offset in a DescriptorBufferBytes-long descriptor of which
// count bytes were returned; empty when the offset points at nothing.
std::wstring DescriptorText(const unsigned char* descriptor, int32_t count, int32_t offset);

// Device text bytes in the system code page, converted and without the
// spaces that devices pad their fields with.
std::wstring DeviceText(const char* bytes, int byteCount);

// Fills in missing vendor and product texts; true when the identity is worth
// showing (a product or a length).
bool TidyDiskIdentity(DiskIdentity& identity);

// For disks found without a descriptor (the Linux backend reads sysfs): the
// raw vendor and product bytes and the length go through the same tidying,
// and DriveInfo gets them on success, as after a gathering.
bool ApplyDiskTexts(const std::string& vendorBytes, const std::string& productBytes,
                    int64_t capacityBytes);

// Without leading and trailing U+0020; other white space stays.
std::wstring TrimSpaces(const std::wstring& text);

// message + ". Windows error: " + code in unsigned decimal.
std::wstring DriveErrorText(const std::wstring& message, DWORD code);
