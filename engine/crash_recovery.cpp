#include "engine/benchmark_run.h"
#include "engine/folder_entries.h"
#include "engine/recovery_marker.h"
#include "engine/run_names.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

// A marker of ours is two paths; more than this is not one.
constexpr DWORD MarkerReadLimit = 64 * 1024;
// Our temporary folder holds only files; the bound keeps a strange tree from
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

// A link is removed itself, never followed. Some systems remove a link to a
// folder only as a file, so that is the second attempt.
void RemoveLink(const std::wstring& path, DWORD attributes) {
    if (IsDirectory(attributes) && Platform.RemoveDirectoryW(path.c_str())) return;
    Platform.DeleteFileW(path.c_str());
}

// Only junctions and symbolic links lead elsewhere. A search that names
// another kind of reparse point (a cloud file's placeholder) shows an
// ordinary file or folder; one that marks no reparse point is checked
// against the path itself, so a backend that follows links cannot hide one.
bool IsLink(const std::wstring& path, const FolderEntry& entry) {
    if (IsReparsePoint(entry.attributes)) return IsReparseTagNameSurrogate(entry.reparseTag) != 0;
    return IsReparsePoint(Platform.GetFileAttributesW(path.c_str()));
}

void RemoveEntry(const std::wstring& path, const FolderEntry& entry, int depth);

void DeleteTree(const std::wstring& folder, int depth) {
    if (depth > DeletionDepthLimit) return;
    for (const FolderEntry& entry : ListFolder(folder)) {
        RemoveEntry(JoinPath(folder, entry.name), entry, depth + 1);
    }
    Platform.RemoveDirectoryW(folder.c_str());
}

void RemoveEntry(const std::wstring& path, const FolderEntry& entry, int depth) {
    if (IsLink(path, entry)) {
        RemoveLink(path, entry.attributes);
    } else if (IsDirectory(entry.attributes)) {
        DeleteTree(path, depth);
    } else {
        Platform.DeleteFileW(path.c_str());
    }
}

// The folder as the search of the folder it sits in shows it: the search
// tells what kind of reparse point it is. That folder is searched as the
// marker spells it, like the path itself.
void RemoveTemporaryFolder(const std::wstring& path, const std::wstring& parent) {
    const size_t nameAt = JoinPath(parent, L"").size();
    const std::wstring name = path.substr(nameAt);
    for (const FolderEntry& entry : ListFolder(path.substr(0, nameAt))) {
        if (SamePath(entry.name, name) && IsDirectory(entry.attributes)) {
            RemoveEntry(path, entry, 0);
        }
    }
}

// A killed run's test file stays open for a moment after its process is
// gone, while the system retires the requests it had in flight, and refuses
// deletion until then. Four attempts in a row were not always enough, and
// the marker goes in any case, so the folder would stay for good.
void RemoveTemporaryFolderOnceFree(const std::wstring& path, const std::wstring& parent) {
    for (int attempt = 0; attempt < FolderAttempts; ++attempt) {
        RemoveTemporaryFolder(path, parent);
        if (Platform.GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return;
        Platform.Sleep(FolderAttemptPauseMs);
    }
}

void RemoveLeftovers(const MarkerLines& lines) {
    const std::wstring currentDirectory = CurrentDirectory();
    if (IsOurTemporaryFolder(lines.temporaryFolder, currentDirectory)) {
        RemoveTemporaryFolderOnceFree(lines.temporaryFolder, currentDirectory);
    }
    if (IsOurReport(lines.reportPath, currentDirectory)) {
        const DWORD attributes = Platform.GetFileAttributesW(lines.reportPath.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !IsDirectory(attributes)) {
            for (int i = 0; i < 3; ++i) Platform.DeleteFileW(lines.reportPath.c_str());
        }
    }
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
