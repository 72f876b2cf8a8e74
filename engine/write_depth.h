// How many writes really are in flight. Windows does some writes
// synchronously however many are issued: every write to an encrypted (EFS)
// file, and every write past the file's valid data length, which only
// SetFileValidData moves ahead of the writes, and only with the volume
// privilege. Such figures are of one write at a time, and say so.
#pragma once

#include "engine/run_record.h"
#include "platform/platform.h"

constexpr const wchar_t* EncryptedWritesText =
    L"The test file is encrypted (EFS): Windows does its writes one at a time, so the write "
    L"figures are at queue depth 1";
constexpr const wchar_t* NoVolumePrivilegeText =
    L"The volume privilege (SeManageVolumePrivilege) could not be enabled: Windows does each "
    L"write that reaches new space in the file on its own, so the sustained write ran at queue "
    L"depth 1";

// The writes' depth in result: depth, or 1 with its reason for an encrypted file.
void NoteWriteDepth(RunResult& result, int depth, DWORD testFileAttributes);

// Writes at depth 1 from now on, for the reason given; a first reason stays.
void NoteOneWriteAtATime(RunResult& result, const std::wstring& reason);

// Enables SeManageVolumePrivilege in the process's token; false when the
// process does not hold it (not elevated) or a call failed.
bool EnableVolumePrivilege();
