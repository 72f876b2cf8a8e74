// The run's temporary folder and test file, known by name and by identity,
// so that no later open goes through a name someone swapped in meanwhile.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

constexpr const wchar_t* ReplacedText = L"The test file was replaced during the run";

// Another program (a virus scanner, an indexer) may hold the test file for a
// moment after we let it go: it is given up to a second, in short pauses.
constexpr int HeldAttempts = 20;
constexpr DWORD HeldPauseMs = 50;

// Volume serial number and file id: the same pair, the same object. Where
// the file system tells them (NTFS, ReFS, Dev Drives) they are the 64-bit
// serial and the 128-bit id; elsewhere the 32-bit serial and 64-bit index.
struct ObjectIdentity {
    uint64_t volume = 0;
    uint64_t idLow = 0;
    uint64_t idHigh = 0;
    bool known = false;
};

struct RunObjects {
    std::wstring folder;
    std::wstring testFile;
    ObjectIdentity folderIdentity;
    ObjectIdentity testFileIdentity;
    DWORD testFileAttributes = INVALID_FILE_ATTRIBUTES;  // as it was made
};

enum class Removal { Removed, Refused, Replaced };

// Creates the temporary folder new under the first free tag from tickCount's
// on, and records its identity. False when it could not; folder then names
// the last one tried.
bool CreateRunFolder(const std::wstring& benchmarkFolder, DWORD tickCount, RunObjects& objects);

// The object behind an open handle; not known for a link, junction or mount
// point (a name surrogate), or when the system does not tell. Other reparse
// points, such as cloud files' placeholders, are the object itself. The
// same read gives the object's attributes, INVALID_FILE_ATTRIBUTES when it
// failed.
ObjectIdentity IdentityOf(HANDLE handle, DWORD* attributes = nullptr);

// Opens an existing path as itself, never what a reparse point there leads
// to, and keeps the handle only when it is the expected object. Otherwise
// the handle is closed again and `replaced` set; after a failed open the
// last error tells why.
HANDLE OpenChecked(const std::wstring& path, DWORD access, DWORD share, DWORD flags,
                   const ObjectIdentity& expected, bool& replaced);

// The run's folder when its name still leads to it, held so that it cannot
// be renamed meanwhile. Otherwise errorText is ReplacedText, or
// failureText with the code when the open failed.
HANDLE OpenRunFolder(const RunObjects& objects, const wchar_t* failureText, std::wstring& errorText);

// Deletes the test file and then the folder through handles to the checked
// objects, for up to a second while another program holds them. Refused
// when the folder stays for that reason; Replaced when a name now leads
// elsewhere, and then nothing was deleted through it.
Removal RemoveRunObjects(const RunObjects& objects);
