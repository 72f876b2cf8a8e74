#include "engine/benchmark_run.h"
#include "engine/folder_entries.h"
#include "engine/recovery_marker.h"
#include "engine/run_names.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// A marker of ours is two paths; more than this is not one.
constexpr DWORD MarkerReadLimit = 64 * 1024;
// Our temporary folder holds only files; the bound keeps a planted tree from
// exhausting the stack.
constexpr int DeletionDepthLimit = 64;
// Up to a second for a dead run's files to be let go.
constexpr int FolderAttempts = 20;
constexpr DWORD FolderAttemptPauseMs = 50;

std::string ReadMarker(HANDLE marker) {
    std::string bytes(MarkerReadLimit, '\0');
    size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD done = 0;
        const auto wanted = static_cast<DWORD>(bytes.size() - filled);
        if (!Platform.ReadFile(marker, bytes.data() + filled, wanted, &done, nullptr) || done == 0) break;
        filled += done;
    }
    bytes.resize(filled);
    return bytes;
}

// Without FILE_SHARE_DELETE nobody can rename or move what we hold.
constexpr DWORD HoldShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Everything is opened as itself: a link is never followed.
constexpr DWORD AsItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
constexpr DWORD HoldAccess = GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES;

bool RemoveHeldFolder(HANDLE folder, int depth);

// An entry of the held folder, opened relative to it and deleted through its
// own handle: a link goes as a link, a sub-folder the same way as its folder.
void RemoveEntry(HANDLE folder, const std::wstring& name, int depth) {
    const HANDLE entry = Platform.OpenFileRelative(folder, name.c_str(), HoldAccess, HoldShare, AsItself);
    if (entry == INVALID_HANDLE_VALUE) return;
    const HeldKind kind = KindOfHeld(entry);
    if (kind == HeldKind::Folder) {
        RemoveHeldFolder(entry, depth + 1);
    } else if (kind != HeldKind::Unknown) {
        DeleteThrough(entry);
    }
    Platform.CloseHandle(entry);
}

// Empties the held folder and deletes it; true when it went.
bool RemoveHeldFolder(HANDLE folder, int depth) {
    std::vector<FolderEntry> entries;
    if (depth > DeletionDepthLimit || !ListHeldFolder(folder, entries)) return false;
    for (const FolderEntry& entry : entries) RemoveEntry(folder, entry.name, depth);
    return DeleteThrough(folder);
}

enum class Attempt { Done, Again };

// The folder the marker names, held as itself while it is emptied; a link
// in its place is refused, and nothing is deleted through it.
Attempt RemoveTemporaryFolder(const std::wstring& path) {
    const HANDLE folder = Platform.CreateFileW(path.c_str(), HoldAccess, HoldShare, nullptr,
                                               OPEN_EXISTING, AsItself, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
        const DWORD code = Platform.GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Attempt::Done
                                                                            : Attempt::Again;
    }
    const HeldKind kind = KindOfHeld(folder);
    const bool removed = kind == HeldKind::Folder && RemoveHeldFolder(folder, 0);
    Platform.CloseHandle(folder);
    return removed || kind == HeldKind::Link || kind == HeldKind::File ? Attempt::Done
                                                                        : Attempt::Again;
}

// A killed run's test file stays open for a moment after its process is
// gone, while the system retires the requests it had in flight, and refuses
// deletion until then. Four attempts in a row were not always enough, and
// the marker goes in any case, so the folder would stay for good.
void RemoveTemporaryFolderOnceFree(const std::wstring& path) {
    for (int attempt = 1; RemoveTemporaryFolder(path) == Attempt::Again; ++attempt) {
        if (attempt == FolderAttempts) return;
        Platform.Sleep(FolderAttemptPauseMs);
    }
}

// The unfinished report, opened as itself and deleted through that handle
// only when it is a plain file with no other name.
void RemoveReport(const std::wstring& path) {
    const HANDLE report = Platform.CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, HoldShare,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (report == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool plain = Platform.GetFileInformationByHandle(report, &information) &&
                       (information.dwFileAttributes &
                        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
                       information.nNumberOfLinks == 1;
    if (plain) DeleteThrough(report);
    Platform.CloseHandle(report);
}

void RemoveLeftovers(const MarkerLines& lines) {
    const std::wstring currentDirectory = CurrentDirectory();
    if (IsOurTemporaryFolder(lines.temporaryFolder, currentDirectory)) {
        RemoveTemporaryFolderOnceFree(lines.temporaryFolder);
    }
    if (IsOurReport(lines.reportPath, currentDirectory)) RemoveReport(lines.reportPath);
}

}  // namespace

void RecoverCrashedRun() {
    if (Platform.GetFileAttributesW(RecoveryMarkerName) == INVALID_FILE_ATTRIBUTES) return;
    const HANDLE marker = Platform.CreateFileW(RecoveryMarkerName, GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE && Platform.GetLastError() == ERROR_SHARING_VIOLATION) return;
    if (marker != INVALID_HANDLE_VALUE) {
        const std::string bytes = ReadMarker(marker);
        Platform.CloseHandle(marker);
        RemoveLeftovers(ParseMarker(bytes));
    }
    for (int i = 0; i < 4; ++i) Platform.DeleteFileW(RecoveryMarkerName);
}
