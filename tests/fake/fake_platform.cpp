#include "tests/fake/fake_platform.h"

#include "platform/text.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

std::unique_ptr<FakeState> state;
uintptr_t nextHandle = 0x1000;

constexpr DWORD WaitAbandoned = 735;
constexpr DWORD InsufficientBuffer = 122;
constexpr DWORD NotFound = 1168;
constexpr size_t PageBytes = 4096;
uint64_t nextFileIndex = 1;

FakeState& S() {
    return *state;
}

// Each thread has its own last error, as on Windows: a pass's threads call
// the fake at once.
DWORD& ThreadLastError() {
    thread_local DWORD code = 0;
    return code;
}

std::string Narrow(const std::wstring& text) {
    return Utf8FromWide(text);
}

// Counts the call, lets the test act, and tells whether a failure was
// scripted for it (its code is then the last error).
bool Failing(const std::string& call) {
    const int count = ++S().callCounts[call];
    if (S().beforeCall) S().beforeCall(call, count);
    auto found = S().failures.find(call);
    if (found == S().failures.end() || found->second.empty()) return false;
    FakeState::Failure& next = found->second.front();
    if (next.skip > 0) {
        --next.skip;
        return false;
    }
    ThreadLastError() = next.code;
    found->second.pop_front();
    return true;
}

BOOL Fail(DWORD code) {
    ThreadLastError() = code;
    return FALSE;
}

bool IsAbsolute(const std::wstring& path) {
    return (!path.empty() && path[0] == PathSeparator) || (path.size() >= 2 && path[1] == L':');
}

const std::wstring ExtendedPrefix = L"\\\\?\\";

bool IsExtended(const std::wstring& path) {
    return path.compare(0, ExtendedPrefix.size(), ExtendedPrefix) == 0;
}

// "\\?\D:\x" names D:\x and "\\?\UNC\server\x" names \\server\x; a volume
// GUID path stays as it is.
std::wstring WithoutExtendedPrefix(const std::wstring& path) {
    if (!IsExtended(path)) return path;
    const std::wstring rest = path.substr(ExtendedPrefix.size());
    if (rest.compare(0, 4, L"UNC\\") == 0) return L"\\" + rest.substr(3);
    return rest.size() >= 2 && rest[1] == L':' ? rest : path;
}

std::wstring Absolute(const std::wstring& given) {
    const std::wstring path = WithoutExtendedPrefix(given);
    return IsAbsolute(path) ? path : JoinPath(S().currentDirectory, path);
}

// The limit of a Windows without the long-path setting, which only the
// extended form escapes.
bool TooLong(const wchar_t* given, size_t limit) {
    const std::wstring full = Absolute(given);
    if (full.size() < limit || full[1] != L':') return false;
    S().longPathCalls += 1;
    if (!S().longPathsLimited || IsExtended(given)) return false;
    ThreadLastError() = ERROR_FILENAME_EXCED_RANGE;
    return true;
}

std::wstring ParentOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(PathSeparator);
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// A drive ("D:") or the root of the tree always exists.
bool IsRoot(const std::wstring& path) {
    return path.empty() || (path.size() == 2 && path[1] == L':');
}

// Follows links in every component but the last, as the file system does
// for a name inside a linked folder.
std::wstring ResolveParents(const std::wstring& path) {
    std::wstring resolved;
    size_t start = 0;
    while (true) {
        const size_t cut = path.find(PathSeparator, start);
        if (cut == std::wstring::npos) return resolved + path.substr(start);
        resolved += path.substr(start, cut - start);
        auto node = S().nodes.find(resolved);
        if (node != S().nodes.end() && !node->second.linkTarget.empty())
            resolved = node->second.linkTarget;
        resolved += PathSeparator;
        start = cut + 1;
    }
}

// "D:\\bench\\" names D:\\bench; Windows paths keep their '\\' in the Linux build.
std::wstring Resolve(const std::wstring& path) {
    std::wstring resolved = ResolveParents(Absolute(path));
    while (resolved.size() > 3 && (resolved.back() == PathSeparator || resolved.back() == L'\\'))
        resolved.pop_back();
    return resolved;
}

FakeNode* NodeAt(const std::wstring& resolved) {
    auto found = S().nodes.find(resolved);
    return found == S().nodes.end() ? nullptr : &found->second;
}

bool ParentExists(const std::wstring& resolved) {
    const std::wstring parent = ParentOf(resolved);
    if (IsRoot(parent)) return true;
    const FakeNode* node = NodeAt(parent);
    return node != nullptr && node->directory;
}

DWORD MissingCode(const std::wstring& resolved) {
    return ParentExists(resolved) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool HasChildren(const std::wstring& resolved) {
    const std::wstring prefix = resolved + PathSeparator;
    auto next = S().nodes.lower_bound(prefix);
    return next != S().nodes.end() && next->first.compare(0, prefix.size(), prefix) == 0;
}

// NTFS gives a new file or folder the compression and encryption of the
// folder it is made in.
FakeNode& NewNode(const std::wstring& resolved) {
    const FakeNode* parent = NodeAt(ParentOf(resolved));
    const DWORD inherited = parent == nullptr ? 0
                                              : parent->attributes & (FILE_ATTRIBUTE_COMPRESSED |
                                                                      FILE_ATTRIBUTE_ENCRYPTED);
    FakeNode& node = S().nodes[resolved];
    node.attributes = inherited != 0 ? inherited : FILE_ATTRIBUTE_NORMAL;
    return node;
}

HANDLE NewHandle(FakeHandle handle) {
    HANDLE value = reinterpret_cast<HANDLE>(nextHandle);
    nextHandle += 8;
    S().handles[value] = std::move(handle);
    return value;
}

FakeHandle* HandleOf(HANDLE handle, FakeHandle::Kind kind) {
    auto found = S().handles.find(handle);
    if (found == S().handles.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

// Windows' rule: an open fails when it wants what an open handle does not
// share, or when it does not share what an open handle has.
bool Denies(DWORD access, DWORD share) {
    return ((access & GENERIC_READ) != 0 && (share & FILE_SHARE_READ) == 0) ||
           ((access & GENERIC_WRITE) != 0 && (share & FILE_SHARE_WRITE) == 0) ||
           ((access & DELETE) != 0 && (share & FILE_SHARE_DELETE) == 0);
}

bool SharingConflict(const std::wstring& resolved, DWORD access, DWORD share) {
    return std::any_of(S().handles.begin(), S().handles.end(), [&](const auto& entry) {
        const FakeHandle& open = entry.second;
        return open.kind == FakeHandle::Kind::File && open.path == resolved &&
               (Denies(access, open.share) || Denies(open.access, share));
    });
}

// The node an open reaches: a link leads on to its target unless the
// reparse point itself is asked for.
std::wstring OpenTarget(const std::wstring& resolved, DWORD flags) {
    const FakeNode* node = NodeAt(resolved);
    if (node == nullptr || node->linkTarget.empty() || (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) {
        return resolved;
    }
    return node->linkTarget;
}

// Why an open of an existing node fails, or 0 when it may go ahead.
DWORD RefusalOf(const FakeNode& node, const std::wstring& resolved, DWORD access, DWORD share,
                DWORD disposition, DWORD flags) {
    if (node.directory && (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0) return ERROR_ACCESS_DENIED;
    if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
    if (node.deletePending) return ERROR_ACCESS_DENIED;
    if (SharingConflict(resolved, access, share)) return ERROR_SHARING_VIOLATION;
    return 0;
}

HANDLE OpenNode(const std::wstring& resolved, DWORD access, DWORD share, DWORD disposition,
                DWORD flags);
// Where the object a handle holds is now: a handle keeps its object when the
// object's name is moved, as on Windows.
std::wstring HeldPath(const FakeHandle& handle);
// Why a disposition is refused (0 when it is not); posix tells its semantics.
DWORD DispositionRefusal(FILE_INFO_BY_HANDLE_CLASS infoClass, const void* information, DWORD bytes,
                         bool& posix);
bool DeletionAsked(FILE_INFO_BY_HANDLE_CLASS infoClass, const void* information);

HANDLE WINAPI FakeCreateFileW(const wchar_t* path, DWORD access, DWORD share,
                              SECURITY_ATTRIBUTES*, DWORD disposition, DWORD flags, HANDLE) {
    const std::wstring resolved = OpenTarget(Resolve(path), flags);
    S().log.push_back("CreateFileW " + Narrow(resolved));
    S().opens.push_back({resolved, access, share, disposition, flags});
    if (Failing("CreateFileW") || TooLong(path, MAX_PATH)) return INVALID_HANDLE_VALUE;
    if (S().devices.count(path) != 0) {
        return NewHandle({FakeHandle::Kind::Device, path, access, share, flags, 0, nullptr, {}, 0});
    }
    return OpenNode(resolved, access, share, disposition, flags);
}

HANDLE OpenNode(const std::wstring& resolved, DWORD access, DWORD share, DWORD disposition,
                DWORD flags) {
    FakeNode* node = NodeAt(resolved);
    const bool creates =
        disposition == CREATE_ALWAYS || disposition == CREATE_NEW || disposition == OPEN_ALWAYS;
    const DWORD refusal = node != nullptr ? RefusalOf(*node, resolved, access, share, disposition, flags)
                          : !creates      ? MissingCode(resolved)
                          : !ParentExists(resolved) ? ERROR_PATH_NOT_FOUND
                                                    : 0;
    if (refusal != 0) {
        Fail(refusal);
        return INVALID_HANDLE_VALUE;
    }
    const bool existed = node != nullptr;
    if (node == nullptr) node = &NewNode(resolved);
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) node->bytes.clear();
    node->openCount += 1;
    const bool tellsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    ThreadLastError() = existed && tellsExisting ? ERROR_ALREADY_EXISTS : 0;
    FakeHandle opened{FakeHandle::Kind::File, resolved, access, share, flags, 0, nullptr, {}, 0,
                      node->fileIndex, node->attributes};
    opened.volume = node->volume;
    opened.fileIdHigh = node->fileIdHigh;
    opened.privileged = S().volumePrivilegeEnabled;
    return NewHandle(std::move(opened));
}

bool Misaligned(const FakeHandle& file, const void* buffer, DWORD bytes, uint64_t offset) {
    if ((file.flags & FILE_FLAG_NO_BUFFERING) == 0) return false;
    return reinterpret_cast<uintptr_t>(buffer) % PageBytes != 0 || bytes % 512 != 0 ||
           offset % 512 != 0;
}

// Whether Windows would do this request before its call returns: past the
// valid data length, or a write to an encrypted file. A write moves the
// valid data length on as it goes.
bool DoneSynchronously(FakeNode& node, const FakeRequest& request) {
    const bool encrypted = request.isWrite && (node.attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    const uint64_t end = request.offset + request.bytes;
    const bool beyond = S().validDataLengths && end > node.validBytes;
    if (beyond && request.isWrite) node.validBytes = end;
    return encrypted || beyond;
}

void NotePending() {
    const auto pending = std::count_if(S().requests.begin(), S().requests.end(), [](const FakeRequest& r) {
        return !r.completed && !r.synchronous;
    });
    S().mostPending = std::max<int64_t>(S().mostPending, pending);
}

BOOL Queue(HANDLE handle, FakeHandle& file, const void* buffer, DWORD bytes,
           OVERLAPPED* overlapped, bool isWrite) {
    const uint64_t offset = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
    if (Misaligned(file, buffer, bytes, offset)) return Fail(ERROR_INVALID_PARAMETER);
    if (file.port == nullptr) {
        S().violations.push_back("overlapped request on a handle without a port");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    FakeRequest request{handle, overlapped, buffer, bytes, isWrite, offset, false, false};
    request.synchronous = DoneSynchronously(S().nodes[file.path], request);
    S().requests.push_back(request);
    NotePending();
    return request.synchronous ? TRUE : Fail(ERROR_IO_PENDING);
}

BOOL Transfer(HANDLE handle, void* buffer, DWORD bytes, DWORD* done, OVERLAPPED* overlapped,
              bool isWrite) {
    FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped != nullptr) return Queue(handle, *file, buffer, bytes, overlapped, isWrite);
    if (Misaligned(*file, buffer, bytes, file->position)) return Fail(ERROR_INVALID_PARAMETER);
    std::string& content = S().nodes[file->path].bytes;
    if (S().syncTransferBytes) bytes = std::min(bytes, S().syncTransferBytes(file->position, bytes));
    size_t count = bytes;
    if (isWrite) {
        if (content.size() < file->position + bytes) content.resize(file->position + bytes);
        std::memcpy(&content[file->position], buffer, bytes);
        FakeNode& node = S().nodes[file->path];
        node.validBytes = std::max<uint64_t>(node.validBytes, file->position + bytes);
    } else {
        count = file->position >= content.size()
                    ? 0
                    : std::min<size_t>(bytes, content.size() - file->position);
        if (count > 0) std::memcpy(buffer, content.data() + file->position, count);
    }
    file->position += count;
    if (done != nullptr) *done = static_cast<DWORD>(count);
    return TRUE;
}

BOOL WINAPI FakeReadFile(HANDLE handle, LPVOID buffer, DWORD bytes, DWORD* done,
                         OVERLAPPED* overlapped) {
    if (Failing("ReadFile")) return FALSE;
    return Transfer(handle, buffer, bytes, done, overlapped, false);
}

BOOL WINAPI FakeWriteFile(HANDLE handle, const void* buffer, DWORD bytes, DWORD* done,
                          OVERLAPPED* overlapped) {
    if (Failing("WriteFile")) return FALSE;
    return Transfer(handle, const_cast<void*>(buffer), bytes, done, overlapped, true);
}

HANDLE WINAPI FakeCreateIoCompletionPort(HANDLE file, HANDLE existing, ULONG_PTR key,
                                          DWORD threads) {
    S().log.push_back("CreateIoCompletionPort");
    S().portCalls.push_back({key, threads});
    if (Failing("CreateIoCompletionPort")) return nullptr;
    HANDLE port = existing;
    if (port == nullptr) port = NewHandle({FakeHandle::Kind::Port, L"", 0, 0, 0, 0, nullptr, {}, 0});
    if (file != INVALID_HANDLE_VALUE) {
        FakeHandle* bound = HandleOf(file, FakeHandle::Kind::File);
        if (bound == nullptr) {
            Fail(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        bound->port = port;
        bound->key = key;
    }
    return port;
}

// The oldest request of this port that has not been taken yet, or the newest.
FakeRequest* NextCompletion(HANDLE port) {
    std::vector<FakeRequest>& requests = S().requests;
    const size_t count = requests.size();
    for (size_t i = 0; i < count; ++i) {
        FakeRequest& request = requests[S().newestFirst ? count - 1 - i : i];
        if (request.completed) continue;
        const FakeHandle* file = HandleOf(request.file, FakeHandle::Kind::File);
        if (file != nullptr && file->port == port) return &request;
    }
    return nullptr;
}

// Takes the request off the port with its outcome: 0 or the Windows code it
// failed with.
DWORD TakeRequest(FakeRequest& request) {
    request.completed = true;
    if (request.cancelled) return ERROR_OPERATION_ABORTED;
    return Failing("Completion") ? ThreadLastError() : 0;
}

DWORD CompletedBytes(const FakeRequest& request, DWORD error) {
    if (error != 0) return 0;
    return S().completionBytes ? S().completionBytes(request) : request.bytes;
}

BOOL WINAPI FakeGetQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                                          OVERLAPPED** overlapped, DWORD milliseconds) {
    S().waitTimeouts.push_back(milliseconds);
    if (Failing("GetQueuedCompletionStatus")) return FALSE;
    if (HandleOf(port, FakeHandle::Kind::Port) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    FakeRequest* request = NextCompletion(port);
    if (request == nullptr) {
        // A real port would block for ever here.
        S().violations.push_back("waited on a port with nothing in flight");
        return Fail(WaitAbandoned);
    }
    const DWORD error = TakeRequest(*request);
    *overlapped = request->overlapped;
    *key = HandleOf(request->file, FakeHandle::Kind::File)->key;
    *bytes = CompletedBytes(*request, error);
    return error == 0 ? TRUE : Fail(error);
}

// As Windows keeps it: the record's Internal holds an NTSTATUS (0 for
// success; here a failure is 0xC0000000 with the Windows code in its low
// bits) and InternalHigh the byte count.
BOOL WINAPI FakeGetQueuedCompletionStatusEx(HANDLE port, OVERLAPPED_ENTRY* entries, ULONG count,
                                            ULONG* removed, DWORD milliseconds, BOOL) {
    S().waitTimeouts.push_back(milliseconds);
    *removed = 0;
    if (Failing("GetQueuedCompletionStatusEx")) return FALSE;
    if (HandleOf(port, FakeHandle::Kind::Port) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    // A call that succeeds leaves the last error as it was, even when a
    // request it hands back has failed.
    const DWORD lastError = ThreadLastError();
    const ULONG most = std::min(count, S().completionsPerWait);
    while (*removed < most) {
        FakeRequest* request = NextCompletion(port);
        if (request == nullptr) break;
        const DWORD error = TakeRequest(*request);
        OVERLAPPED* record = request->overlapped;
        record->Internal = error == 0 ? 0 : 0xC0000000u | error;
        record->InternalHigh = CompletedBytes(*request, error);
        const ULONG_PTR key = HandleOf(request->file, FakeHandle::Kind::File)->key;
        entries[(*removed)++] =
            OVERLAPPED_ENTRY{key, record, 0, static_cast<DWORD>(record->InternalHigh)};
    }
    ThreadLastError() = lastError;
    if (*removed > 0) return TRUE;
    S().violations.push_back("waited on a port with nothing in flight");
    return Fail(WaitAbandoned);
}

BOOL WINAPI FakeGetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes, BOOL) {
    if (Failing("GetOverlappedResult")) return FALSE;
    if (HandleOf(file, FakeHandle::Kind::File) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    *bytes = static_cast<DWORD>(overlapped->InternalHigh);
    const auto status = static_cast<DWORD>(overlapped->Internal);
    return status == 0 ? TRUE : Fail(status & 0xFFFFu);
}

BOOL WINAPI FakeCancelIoEx(HANDLE file, OVERLAPPED*) {
    S().log.push_back("CancelIoEx");
    if (Failing("CancelIoEx")) return FALSE;
    bool any = false;
    for (FakeRequest& request : S().requests) {
        if (request.file != file || request.completed) continue;
        request.cancelled = true;
        any = true;
    }
    return any ? TRUE : Fail(NotFound);
}

BOOL WINAPI FakeSetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, LARGE_INTEGER* position,
                                 DWORD method) {
    if (Failing("SetFilePointerEx")) return FALSE;
    FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    int64_t base = 0;
    if (method == 1) base = static_cast<int64_t>(file->position);
    if (method == 2) base = static_cast<int64_t>(S().nodes[file->path].bytes.size());
    if (base + distance.QuadPart < 0) return Fail(ERROR_INVALID_PARAMETER);
    file->position = static_cast<uint64_t>(base + distance.QuadPart);
    if (position != nullptr) position->QuadPart = static_cast<int64_t>(file->position);
    return TRUE;
}

BOOL WINAPI FakeSetEndOfFile(HANDLE handle) {
    if (Failing("SetEndOfFile")) return FALSE;
    FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    FakeNode& node = S().nodes[file->path];
    node.bytes.resize(file->position);
    node.validBytes = std::min<uint64_t>(node.validBytes, file->position);
    return TRUE;
}

BOOL WINAPI FakeFlushFileBuffers(HANDLE handle) {
    const FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    S().log.push_back("FlushFileBuffers " + (file ? Narrow(file->path) : std::string("?")));
    if (Failing("FlushFileBuffers")) return FALSE;
    return file != nullptr ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

const char* KindName(FakeHandle::Kind kind) {
    switch (kind) {
        case FakeHandle::Kind::File: return "file";
        case FakeHandle::Kind::Port: return "port";
        case FakeHandle::Kind::Search: return "search";
        case FakeHandle::Kind::Device: return "device";
        case FakeHandle::Kind::Token: return "token";
        case FakeHandle::Kind::Thread: return "thread";
    }
    return "?";
}

bool InFlightOn(HANDLE handle) {
    return std::any_of(S().requests.begin(), S().requests.end(), [&](const FakeRequest& r) {
        return !r.completed && r.file == handle;
    });
}

BOOL WINAPI FakeCloseHandle(HANDLE handle) {
    auto found = S().handles.find(handle);
    if (found == S().handles.end()) {
        S().violations.push_back("closed a handle that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    Failing("CloseHandle");
    const FakeHandle& closing = found->second;
    S().log.push_back(std::string("CloseHandle ") + KindName(closing.kind) + " " +
                      Narrow(closing.path));
    if (closing.kind == FakeHandle::Kind::File) {
        if (InFlightOn(handle)) S().violations.push_back("file closed with requests in flight");
        const std::wstring path = HeldPath(closing);
        FakeNode* node = NodeAt(path);
        if (node != nullptr) {
            node->openCount -= 1;
            const bool goes = closing.posixDelete || (node->deletePending && node->openCount == 0);
            if (goes) S().nodes.erase(path);
        }
    }
    if (closing.kind == FakeHandle::Kind::Thread) {
        std::thread& thread = S().threads[handle];
        if (thread.joinable()) {
            S().violations.push_back("thread closed before it was waited for");
            thread.detach();
        }
        S().threads.erase(handle);
    }
    S().handles.erase(found);
    return TRUE;
}

BOOL WINAPI FakeDeleteFileW(const wchar_t* path) {
    const std::wstring resolved = Resolve(path);
    S().log.push_back("DeleteFileW " + Narrow(resolved));
    if (Failing("DeleteFileW") || TooLong(path, MAX_PATH)) return FALSE;
    FakeNode* node = NodeAt(resolved);
    if (node == nullptr) return Fail(MissingCode(resolved));
    if (node->directory) return Fail(ERROR_ACCESS_DENIED);
    if (node->openCount > 0) return Fail(ERROR_SHARING_VIOLATION);
    S().nodes.erase(resolved);
    return TRUE;
}

BOOL WINAPI FakeCreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES*) {
    const std::wstring resolved = Resolve(path);
    S().log.push_back("CreateDirectoryW " + Narrow(resolved));
    if (Failing("CreateDirectoryW") || TooLong(path, MAX_PATH - 12)) return FALSE;
    if (NodeAt(resolved) != nullptr) return Fail(ERROR_ALREADY_EXISTS);
    if (!ParentExists(resolved)) return Fail(ERROR_PATH_NOT_FOUND);
    FakeNode& node = NewNode(resolved);
    node.directory = true;
    node.attributes = (node.attributes & ~FILE_ATTRIBUTE_NORMAL) | FILE_ATTRIBUTE_DIRECTORY;
    return TRUE;
}

BOOL WINAPI FakeRemoveDirectoryW(const wchar_t* path) {
    const std::wstring resolved = Resolve(path);
    S().log.push_back("RemoveDirectoryW " + Narrow(resolved));
    if (Failing("RemoveDirectoryW") || TooLong(path, MAX_PATH)) return FALSE;
    const FakeNode* node = NodeAt(resolved);
    if (node == nullptr) return Fail(MissingCode(resolved));
    if (!node->directory) return Fail(ERROR_INVALID_PARAMETER);
    // A link goes by itself: what it points at is not inside it.
    if (node->linkTarget.empty() && HasChildren(resolved)) return Fail(ERROR_DIR_NOT_EMPTY);
    S().nodes.erase(resolved);
    return TRUE;
}

DWORD WINAPI FakeGetFileAttributesW(const wchar_t* path) {
    if (Failing("GetFileAttributesW") || TooLong(path, MAX_PATH)) return INVALID_FILE_ATTRIBUTES;
    const std::wstring resolved = Resolve(path);
    const FakeNode* node = NodeAt(resolved);
    if (node != nullptr) return node->attributes;
    if (IsRoot(resolved)) return FILE_ATTRIBUTE_DIRECTORY;
    ThreadLastError() = MissingCode(resolved);
    return INVALID_FILE_ATTRIBUTES;
}

// The names that lead to the object itself: its hard links.
DWORD LinkCount(uint64_t fileIndex) {
    DWORD count = 0;
    for (const auto& [path, node] : S().nodes) {
        if (node.fileIndex == fileIndex && node.linkTarget.empty()) count += 1;
    }
    return count;
}

BOOL WINAPI FakeGetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    if (Failing("GetFileInformationByHandle")) return FALSE;
    const FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    // Windows reads the attributes with the identity, a right GENERIC_WRITE lacks.
    if ((file->access & (GENERIC_READ | FILE_READ_ATTRIBUTES)) == 0) return Fail(ERROR_ACCESS_DENIED);
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = file->attributes;
    information->dwVolumeSerialNumber = static_cast<DWORD>(file->volume);
    information->nNumberOfLinks = LinkCount(file->fileIndex);
    information->nFileIndexHigh = static_cast<DWORD>(file->fileIndex >> 32);
    information->nFileIndexLow = static_cast<DWORD>(file->fileIndex);
    return TRUE;
}

// Marks the object for deletion when its last handle closes, as Windows
// does, or when this handle closes with POSIX semantics; the object is
// found where it is now, as a handle holds it whatever its name.
BOOL WINAPI FakeSetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                           LPVOID information, DWORD bytes) {
    if (Failing("SetFileInformationByHandle")) return FALSE;
    const FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    bool posix = false;
    const DWORD refusal = DispositionRefusal(infoClass, information, bytes, posix);
    if (refusal != 0) return Fail(refusal);
    if ((file->access & DELETE) == 0) return Fail(ERROR_ACCESS_DENIED);
    if (!DeletionAsked(infoClass, information)) return TRUE;
    const std::wstring path = HeldPath(*file);
    FakeNode* node = NodeAt(path);
    if (node == nullptr || node->fileIndex != file->fileIndex) return Fail(ERROR_FILE_NOT_FOUND);
    if (node->directory && node->linkTarget.empty() && HasChildren(path)) {
        return Fail(ERROR_DIR_NOT_EMPTY);
    }
    S().log.push_back("SetFileInformationByHandle delete " + Narrow(path));
    node->deletePending = true;
    S().handles[handle].posixDelete = posix;
    return TRUE;
}

bool Matches(const std::wstring& pattern, const std::wstring& name) {
    return pattern == L"*" || pattern == L"*.*" || pattern == name;
}

void FillFound(const std::wstring& folder, const std::wstring& name, WIN32_FIND_DATAW* found) {
    *found = WIN32_FIND_DATAW{};
    const FakeNode* node = NodeAt(folder + PathSeparator + name);
    found->dwFileAttributes = node != nullptr ? node->attributes : FILE_ATTRIBUTE_DIRECTORY;
    found->dwReserved0 = node != nullptr ? node->reparseTag : 0;
    if (node != nullptr && !node->linkTarget.empty() && S().searchFollowsLinks) {
        found->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        found->dwReserved0 = 0;
    }
    const size_t length = std::min<size_t>(name.size(), MAX_PATH - 1);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length), found->cFileName);
}

std::vector<std::wstring> ChildNames(const std::wstring& folder, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    if (Matches(pattern, L".")) names.push_back(L".");
    if (Matches(pattern, L"..")) names.push_back(L"..");
    const std::wstring prefix = folder + PathSeparator;
    for (auto it = S().nodes.lower_bound(prefix); it != S().nodes.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        const std::wstring rest = it->first.substr(prefix.size());
        if (rest.find(PathSeparator) == std::wstring::npos && Matches(pattern, rest))
            names.push_back(rest);
    }
    return names;
}

HANDLE WINAPI FakeFindFirstFileW(const wchar_t* pattern, WIN32_FIND_DATAW* found) {
    if (Failing("FindFirstFileW") || TooLong(pattern, MAX_PATH)) return INVALID_HANDLE_VALUE;
    const std::wstring full = Absolute(pattern);
    const std::wstring name = full.substr(full.find_last_of(PathSeparator) + 1);
    std::wstring folder = ResolveParents(ParentOf(full) + PathSeparator);
    folder.pop_back();
    const FakeNode* node = NodeAt(folder);
    if (!IsRoot(folder) && (node == nullptr || !node->directory)) {
        Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::wstring> names = ChildNames(folder, name);
    if (names.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    FillFound(folder, names.front(), found);
    names.erase(names.begin());
    return NewHandle({FakeHandle::Kind::Search, folder, 0, 0, 0, 0, nullptr, names, 0});
}

BOOL WINAPI FakeFindNextFileW(HANDLE search, WIN32_FIND_DATAW* found) {
    if (Failing("FindNextFileW")) return FALSE;
    FakeHandle* handle = HandleOf(search, FakeHandle::Kind::Search);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (handle->names.empty()) return Fail(ERROR_NO_MORE_FILES);
    FillFound(handle->path, handle->names.front(), found);
    handle->names.erase(handle->names.begin());
    return TRUE;
}

BOOL WINAPI FakeFindClose(HANDLE search) {
    if (HandleOf(search, FakeHandle::Kind::Search) == nullptr) {
        S().violations.push_back("closed a search that is not open");
        return Fail(ERROR_INVALID_HANDLE);
    }
    S().log.push_back("FindClose");
    S().handles.erase(search);
    return TRUE;
}

LPVOID WINAPI FakeVirtualAlloc(LPVOID, size_t bytes, DWORD, DWORD) {
    S().log.push_back("VirtualAlloc");
    if (Failing("VirtualAlloc")) return nullptr;
    void* memory = ::operator new(bytes, std::align_val_t(PageBytes), std::nothrow);
    if (memory == nullptr) {
        Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memset(memory, 0, bytes);
    S().allocations[memory] = bytes;
    return memory;
}

bool BufferInFlight(const char* start, size_t bytes) {
    return std::any_of(S().requests.begin(), S().requests.end(), [&](const FakeRequest& r) {
        const char* buffer = static_cast<const char*>(r.buffer);
        return !r.completed && buffer >= start && buffer < start + bytes;
    });
}

BOOL WINAPI FakeVirtualFree(LPVOID address, size_t, DWORD) {
    S().log.push_back("VirtualFree");
    auto found = S().allocations.find(address);
    if (found == S().allocations.end()) {
        S().violations.push_back("freed memory that is not allocated");
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (BufferInFlight(static_cast<const char*>(address), found->second))
        S().violations.push_back("freed a buffer while its request is in flight");
    ::operator delete(address, std::align_val_t(PageBytes));
    S().allocations.erase(found);
    return TRUE;
}

BOOL WINAPI FakeQueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (Failing("QueryPerformanceCounter")) return FALSE;
    if (S().counterAt) {
        counter->QuadPart = S().counterAt(S().counterReads);
    } else {
        counter->QuadPart = S().counter;
        S().counter += S().ticksPerRead;
    }
    S().counterReads += 1;
    return TRUE;
}

BOOL WINAPI FakeQueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (Failing("QueryPerformanceFrequency")) return FALSE;
    frequency->QuadPart = S().frequency;
    return TRUE;
}

DWORD WINAPI FakeGetTickCount() {
    Failing("GetTickCount");
    return S().tickCount;
}

void WINAPI FakeSleep(DWORD milliseconds) {
    Failing("Sleep");
    S().sleptMs += milliseconds;
}

int processTimerPeriodCalls = 0;

UINT WINAPI FakeTimeBeginPeriod(UINT milliseconds) {
    Failing("timeBeginPeriod");
    if (milliseconds != 1) S().violations.push_back("timer resolution other than 1 ms");
    S().timerPeriodCalls += 1;
    processTimerPeriodCalls += 1;
    return 0;
}

void WINAPI FakeGetLocalTime(SYSTEMTIME* time) {
    Failing("GetLocalTime");
    *time = S().localTime;
}

DWORD WINAPI FakeGetLastError() {
    return ThreadLastError();
}

void WINAPI FakeSetLastError(DWORD code) {
    ThreadLastError() = code;
}

// Copies text with the Win32 convention: the length without the terminator
// on success, the size needed (terminator included) when it does not fit.
DWORD CopyOut(const std::wstring& text, DWORD length, wchar_t* buffer) {
    if (text.size() + 1 > length) return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    return static_cast<DWORD>(text.size());
}

DWORD WINAPI FakeGetCurrentDirectoryW(DWORD length, wchar_t* buffer) {
    if (Failing("GetCurrentDirectoryW")) return 0;
    return CopyOut(S().currentDirectory, length, buffer);
}

DWORD WINAPI FakeGetModuleFileNameW(HMODULE, wchar_t* buffer, DWORD length) {
    if (Failing("GetModuleFileNameW") || length == 0) return 0;
    const std::wstring& name = S().moduleFileName;
    const size_t copied = std::min<size_t>(name.size(), length - 1);
    std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(copied), buffer);
    buffer[copied] = L'\0';
    if (copied < name.size()) {
        ThreadLastError() = InsufficientBuffer;
        return length;
    }
    return static_cast<DWORD>(copied);
}

// The one control code a file answers here: FSCTL_SET_COMPRESSION with a
// USHORT format, 0 for none. It needs a handle that may read and write.
BOOL SetCompression(const FakeHandle& file, DWORD code, const void* input, DWORD inputBytes) {
    S().log.push_back("DeviceIoControl " + Narrow(file.path) + " " + std::to_string(code));
    if (code != FsctlSetCompression) return Fail(ERROR_INVALID_FUNCTION);
    if (input == nullptr || inputBytes < 2) return Fail(ERROR_INVALID_PARAMETER);
    if ((file.access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE))
        return Fail(ERROR_ACCESS_DENIED);
    uint16_t format = 0;
    std::memcpy(&format, input, sizeof format);
    DWORD& attributes = S().nodes[file.path].attributes;
    attributes = format == 0 ? attributes & ~FILE_ATTRIBUTE_COMPRESSED
                             : attributes | FILE_ATTRIBUTE_COMPRESSED;
    return TRUE;
}

BOOL WINAPI FakeDeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputBytes,
                                LPVOID output, DWORD outputBytes, DWORD* returned, OVERLAPPED*) {
    if (Failing("DeviceIoControl")) return FALSE;
    if (const FakeHandle* file = HandleOf(device, FakeHandle::Kind::File))
        return SetCompression(*file, code, input, inputBytes);
    const FakeHandle* handle = HandleOf(device, FakeHandle::Kind::Device);
    if (handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    S().log.push_back("DeviceIoControl " + Narrow(handle->path) + " " + std::to_string(code));
    if (!S().deviceControl) return Fail(ERROR_NOT_SUPPORTED);
    return S().deviceControl(handle->path, code, input, inputBytes, output, outputBytes, returned);
}

BOOL WINAPI FakeGetDiskFreeSpaceExW(const wchar_t* root, ULARGE_INTEGER* freeToCaller,
                                    ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    if (Failing("GetDiskFreeSpaceExW")) return FALSE;
    auto found = S().volumeTotalBytes.find(root);
    if (found == S().volumeTotalBytes.end()) return Fail(ERROR_PATH_NOT_FOUND);
    if (freeToCaller != nullptr) freeToCaller->QuadPart = found->second / 2;
    if (total != nullptr) total->QuadPart = found->second;
    if (totalFree != nullptr) totalFree->QuadPart = found->second / 2;
    return TRUE;
}

// The fake's code page is Latin-1: one byte, one character.
int WINAPI FakeMultiByteToWideChar(UINT, DWORD, const char* bytes, int byteCount, wchar_t* text,
                                   int textLength) {
    Failing("MultiByteToWideChar");
    const size_t count =
        byteCount < 0 ? std::strlen(bytes) + 1 : static_cast<size_t>(byteCount);
    if (textLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(textLength)) {
        ThreadLastError() = InsufficientBuffer;
        return 0;
    }
    for (size_t i = 0; i < count; ++i) text[i] = static_cast<unsigned char>(bytes[i]);
    return static_cast<int>(count);
}

wchar_t* WINAPI FakeCharUpperW(wchar_t* text) {
    Failing("CharUpperW");
    for (wchar_t* c = text; *c != L'\0'; ++c) {
        if (*c >= L'a' && *c <= L'z') *c = static_cast<wchar_t>(*c - L'a' + L'A');
    }
    return text;
}

// The mount that holds resolved: the longest mount path it lies under.
const std::pair<const std::wstring, std::wstring>* MountOf(const std::wstring& resolved) {
    const std::pair<const std::wstring, std::wstring>* best = nullptr;
    for (const auto& mount : S().volumeMounts) {
        const std::wstring& at = mount.first;
        const bool under =
            resolved == at || (resolved.compare(0, at.size(), at) == 0 && resolved.size() > at.size() &&
                               (resolved[at.size()] == PathSeparator || resolved[at.size()] == L'\\'));
        if (under && (best == nullptr || at.size() > best->first.size())) best = &mount;
    }
    return best;
}

// The path a handle was opened on, with its link followed.
std::wstring FinalPathOf(const FakeHandle& handle) {
    const FakeNode* node = NodeAt(handle.path);
    return node != nullptr && !node->linkTarget.empty() ? node->linkTarget : handle.path;
}

// As Windows names a path on its device: a share ("\\server\share\...") on
// the network redirector, anything else on one disk volume.
DWORD NtFinalPath(const std::wstring& path, DWORD length, wchar_t* buffer) {
    if (path.compare(0, 2, L"\\\\") == 0) return CopyOut(L"\\Device\\Mup\\" + path.substr(2), length, buffer);
    const size_t root = path.find(L'\\');
    return CopyOut(L"\\Device\\HarddiskVolume1" + (root == std::wstring::npos ? L"\\" : path.substr(root)),
                   length, buffer);
}

// The path with every link followed, on the volume GUID path of its mount;
// none for a share, which has no volume GUID.
DWORD WINAPI FakeGetFinalPathNameByHandleW(HANDLE handle, wchar_t* buffer, DWORD length,
                                           DWORD flags) {
    if (Failing("GetFinalPathNameByHandleW")) return 0;
    auto found = S().handles.find(handle);
    if (found == S().handles.end()) return Fail(ERROR_INVALID_HANDLE);
    const std::wstring path = FinalPathOf(found->second);
    if (flags == VOLUME_NAME_NT) return NtFinalPath(path, length, buffer);
    if (flags != VOLUME_NAME_GUID) return Fail(ERROR_INVALID_PARAMETER);
    const auto* mount = MountOf(path);
    if (mount == nullptr) return Fail(ERROR_PATH_NOT_FOUND);
    std::wstring rest = path.substr(mount->first.size());
    std::replace(rest.begin(), rest.end(), PathSeparator, L'\\');
    const std::wstring final = mount->second + (rest.empty() ? L"\\" : rest);
    return CopyOut(final, length, buffer);
}

BOOL WINAPI FakeGetVolumeInformationW(const wchar_t* root, wchar_t* volumeName,
                                      DWORD volumeNameLength, DWORD* serialNumber,
                                      DWORD* longestComponent, DWORD* fileSystemFlags,
                                      wchar_t* fileSystemName, DWORD fileSystemNameLength) {
    constexpr DWORD DirNotRoot = 144;
    if (Failing("GetVolumeInformationW")) return FALSE;
    auto found = S().fileSystems.find(root);
    if (found == S().fileSystems.end()) return Fail(DirNotRoot);
    const std::wstring& name = found->second;
    if (fileSystemName != nullptr && name.size() + 1 > fileSystemNameLength)
        return Fail(ERROR_MORE_DATA);
    if (volumeName != nullptr && volumeNameLength > 0) volumeName[0] = L'\0';
    if (serialNumber != nullptr) *serialNumber = 0x1234ABCD;
    if (longestComponent != nullptr) *longestComponent = 255;
    if (fileSystemFlags != nullptr) *fileSystemFlags = 0;
    if (fileSystemName != nullptr) CopyOut(name, fileSystemNameLength, fileSystemName);
    return TRUE;
}

// The file system of the longest root in fileSystems that the handle's
// final path lies under.
BOOL WINAPI FakeGetVolumeInformationByHandleW(HANDLE handle, wchar_t* volumeName,
                                              DWORD volumeNameLength, DWORD* serialNumber,
                                              DWORD* longestComponent, DWORD* fileSystemFlags,
                                              wchar_t* fileSystemName, DWORD fileSystemNameLength) {
    if (Failing("GetVolumeInformationByHandleW")) return FALSE;
    auto found = S().handles.find(handle);
    if (found == S().handles.end()) return Fail(ERROR_INVALID_HANDLE);
    const std::wstring path = JoinPath(FinalPathOf(found->second), L"");
    const std::wstring* root = nullptr;
    for (const auto& known : S().fileSystems) {
        if (path.compare(0, known.first.size(), known.first) == 0 &&
            (root == nullptr || known.first.size() > root->size()))
            root = &known.first;
    }
    if (root == nullptr) return Fail(ERROR_INVALID_FUNCTION);
    return FakeGetVolumeInformationW(root->c_str(), volumeName, volumeNameLength, serialNumber,
                                     longestComponent, fileSystemFlags, fileSystemName,
                                     fileSystemNameLength);
}

// Ordinal: code unit by code unit, the case folded without any locale.
int WINAPI FakeCompareStringOrdinal(const wchar_t* a, int aLength, const wchar_t* b, int bLength,
                                    BOOL ignoreCase) {
    Failing("CompareStringOrdinal");
    const auto folded = [ignoreCase](const wchar_t* text, int length) {
        std::wstring out = length < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(length));
        for (wchar_t& c : out) {
            if (ignoreCase && c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        }
        return out;
    };
    const int order = folded(a, aLength).compare(folded(b, bLength));
    return order < 0 ? CSTR_LESS_THAN : order == 0 ? CSTR_EQUAL : CSTR_GREATER_THAN;
}

// ---- Held objects: where a handle's object is now, the dispositions, the
// listing through a folder's handle and opens relative to it.

std::wstring HeldPath(const FakeHandle& handle) {
    const FakeNode* node = NodeAt(handle.path);
    if (node != nullptr && node->fileIndex == handle.fileIndex) return handle.path;
    for (const auto& [path, other] : S().nodes) {
        if (other.fileIndex == handle.fileIndex) return path;
    }
    return handle.path;
}

DWORD DispositionRefusal(FILE_INFO_BY_HANDLE_CLASS infoClass, const void* information, DWORD bytes,
                         bool& posix) {
    if (information == nullptr) return ERROR_INVALID_PARAMETER;
    if (infoClass == FileDispositionInfo) {
        return bytes < sizeof(FILE_DISPOSITION_INFO) ? ERROR_INVALID_PARAMETER : 0;
    }
    if (infoClass != FileDispositionInfoEx || bytes < sizeof(FILE_DISPOSITION_INFO_EX) ||
        !S().posixDeleteSupported) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD flags = static_cast<const FILE_DISPOSITION_INFO_EX*>(information)->Flags;
    posix = (flags & FILE_DISPOSITION_FLAG_POSIX_SEMANTICS) != 0;
    return 0;
}

bool DeletionAsked(FILE_INFO_BY_HANDLE_CLASS infoClass, const void* information) {
    if (infoClass == FileDispositionInfo) {
        return static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != 0;
    }
    return (static_cast<const FILE_DISPOSITION_INFO_EX*>(information)->Flags &
            FILE_DISPOSITION_FLAG_DELETE) != 0;
}

BOOL FakeTagInfo(const FakeHandle& file, void* information, DWORD bytes) {
    if (bytes < sizeof(FILE_ATTRIBUTE_TAG_INFO)) return Fail(ERROR_INVALID_PARAMETER);
    const FakeNode* node = NodeAt(HeldPath(file));
    auto* tag = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information);
    tag->FileAttributes = node != nullptr ? node->attributes : file.attributes;
    tag->ReparseTag = node != nullptr ? node->reparseTag : 0;
    return TRUE;
}

constexpr size_t ListedNameAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);

size_t ListedBytes(const std::wstring& name) {
    return (ListedNameAt + name.size() * sizeof(wchar_t) + 7) & ~size_t{7};
}

// Lays out the names still to give, as many as fit, as Windows does.
BOOL FakeListing(FakeHandle& folder, bool restart, void* information, DWORD bytes) {
    const std::wstring path = HeldPath(folder);
    const FakeNode* node = NodeAt(path);
    if (node == nullptr || !node->directory) return Fail(ERROR_INVALID_PARAMETER);
    if (restart) folder.names = ChildNames(path, L"*");
    auto* out = static_cast<unsigned char*>(information);
    size_t used = 0, lastAt = 0;
    while (!folder.names.empty() && used + ListedBytes(folder.names.front()) <= bytes) {
        const std::wstring& name = folder.names.front();
        const FakeNode* entry = NodeAt(path + PathSeparator + name);
        auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(out + used);
        std::memset(static_cast<void*>(record), 0, ListedNameAt);
        record->FileAttributes = entry != nullptr ? entry->attributes : FILE_ATTRIBUTE_DIRECTORY;
        record->FileId.QuadPart = entry != nullptr ? static_cast<int64_t>(entry->fileIndex) : 0;
        record->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::memcpy(record->FileName, name.data(), name.size() * sizeof(wchar_t));
        if (used != 0) {
            reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(out + lastAt)->NextEntryOffset =
                static_cast<DWORD>(used - lastAt);
        }
        lastAt = used;
        used += ListedBytes(name);
        folder.names.erase(folder.names.begin());
    }
    if (used != 0) return TRUE;
    return Fail(folder.names.empty() ? ERROR_NO_MORE_FILES : ERROR_MORE_DATA);
}

// The file system tells the 128-bit id and 64-bit serial unless it is FAT.
BOOL FakeIdInfo(const FakeHandle& file, void* information, DWORD bytes) {
    if (bytes < sizeof(FILE_ID_INFO) || !S().fileIdInfo) return Fail(ERROR_INVALID_PARAMETER);
    auto* id = static_cast<FILE_ID_INFO*>(information);
    id->VolumeSerialNumber = file.volume;
    std::memcpy(id->FileId.Identifier, &file.fileIndex, 8);
    std::memcpy(id->FileId.Identifier + 8, &file.fileIdHigh, 8);
    return TRUE;
}

BOOL WINAPI FakeGetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                             LPVOID information, DWORD bytes) {
    if (Failing("GetFileInformationByHandleEx")) return FALSE;
    FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (infoClass == FileAttributeTagInfo) return FakeTagInfo(*file, information, bytes);
    if (infoClass == FileIdInfo) return FakeIdInfo(*file, information, bytes);
    if (infoClass == FileIdBothDirectoryInfo || infoClass == FileIdBothDirectoryRestartInfo) {
        return FakeListing(*file, infoClass == FileIdBothDirectoryRestartInfo, information, bytes);
    }
    return Fail(ERROR_INVALID_PARAMETER);
}

// The entry of the object the folder handle holds, wherever that is now.
HANDLE WINAPI FakeOpenFileRelative(HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                                   DWORD flags) {
    if (Failing("OpenFileRelative")) return INVALID_HANDLE_VALUE;
    const FakeHandle* held = HandleOf(folder, FakeHandle::Kind::File);
    const FakeNode* node = held == nullptr ? nullptr : NodeAt(HeldPath(*held));
    if (node == nullptr || !node->directory || !node->linkTarget.empty()) {
        Fail(held == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring resolved = OpenTarget(HeldPath(*held) + PathSeparator + name, flags);
    S().log.push_back("OpenFileRelative " + Narrow(resolved));
    return OpenNode(resolved, access, share, OPEN_EXISTING, flags);
}

// ---- Identity, valid data length and the volume privilege: the calls
// Windows answers differently from Wine.

// Needs a handle that may write, opened while the privilege was enabled; the
// length lies past the valid data and within the file.
BOOL WINAPI FakeSetFileValidData(HANDLE handle, LONGLONG length) {
    if (Failing("SetFileValidData")) return FALSE;
    const FakeHandle* file = HandleOf(handle, FakeHandle::Kind::File);
    if (file == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if ((file->access & GENERIC_WRITE) == 0) return Fail(ERROR_ACCESS_DENIED);
    if (!file->privileged) return Fail(ERROR_PRIVILEGE_NOT_HELD);
    FakeNode& node = S().nodes[file->path];
    const auto valid = static_cast<uint64_t>(length);
    if (length <= 0 || valid <= node.validBytes || valid > node.bytes.size())
        return Fail(ERROR_INVALID_PARAMETER);
    node.validBytes = valid;
    return TRUE;
}

BOOL WINAPI FakeOpenProcessToken(HANDLE process, DWORD, HANDLE* token) {
    if (Failing("OpenProcessToken")) return FALSE;
    if (process != CurrentProcess) return Fail(ERROR_INVALID_HANDLE);
    *token = NewHandle({FakeHandle::Kind::Token, L"", 0, 0, 0, 0, nullptr, {}, 0});
    return TRUE;
}

BOOL WINAPI FakeLookupPrivilegeValueW(const wchar_t*, const wchar_t* name, LUID* luid) {
    constexpr DWORD NoSuchPrivilege = 1313;
    if (Failing("LookupPrivilegeValueW")) return FALSE;
    if (std::wstring(name) != ManageVolumePrivilege) return Fail(NoSuchPrivilege);
    *luid = LUID{28, 0};  // SE_MANAGE_VOLUME_PRIVILEGE
    return TRUE;
}

// As documented: TRUE also when the privilege is not the token's, with
// ERROR_NOT_ALL_ASSIGNED as the last error.
BOOL WINAPI FakeAdjustTokenPrivileges(HANDLE token, BOOL, TOKEN_PRIVILEGES* newState, DWORD,
                                      TOKEN_PRIVILEGES*, DWORD*) {
    if (Failing("AdjustTokenPrivileges")) return FALSE;
    if (HandleOf(token, FakeHandle::Kind::Token) == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const bool enables = newState->PrivilegeCount == 1 &&
                         newState->Privileges[0].Attributes == SE_PRIVILEGE_ENABLED &&
                         newState->Privileges[0].Luid.LowPart == 28;
    if (!S().volumePrivilegeHeld) {
        ThreadLastError() = ERROR_NOT_ALL_ASSIGNED;
        return TRUE;
    }
    S().volumePrivilegeEnabled = S().volumePrivilegeEnabled || enables;
    ThreadLastError() = ERROR_SUCCESS;
    return TRUE;
}

std::recursive_mutex& FakeLock() {
    static std::recursive_mutex lock;
    return lock;
}

// A fake entry called under the fake's lock.
template <auto Call>
struct Serialized;

template <typename Result, typename... Arguments, Result(WINAPI* Call)(Arguments...)>
struct Serialized<Call> {
    static Result WINAPI Entry(Arguments... arguments) {
        const std::lock_guard<std::recursive_mutex> hold(FakeLock());
        return Call(arguments...);
    }
};

HANDLE WINAPI FakeCreateThread(SECURITY_ATTRIBUTES*, size_t, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD, DWORD* threadId) {
    if (Failing("CreateThread")) return nullptr;
    const HANDLE handle = NewHandle({FakeHandle::Kind::Thread, L"", 0, 0, 0, 0, nullptr, {}, 0});
    S().threads[handle] = std::thread(start, parameter);
    if (threadId != nullptr) *threadId = 0;
    return handle;
}

// Not under the lock while it waits: the thread it waits for calls the fake.
DWORD WINAPI FakeWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::thread* thread = nullptr;
    {
        const std::lock_guard<std::recursive_mutex> hold(FakeLock());
        if (Failing("WaitForSingleObject")) return WAIT_FAILED;
        if (HandleOf(handle, FakeHandle::Kind::Thread) == nullptr || milliseconds != INFINITE) {
            Fail(ERROR_INVALID_PARAMETER);
            return WAIT_FAILED;
        }
        thread = &S().threads[handle];
    }
    if (thread->joinable()) thread->join();
    return WAIT_OBJECT_0;
}

const PlatformCalls FakeCalls = {
    Serialized<FakeCreateFileW>::Entry,
    Serialized<FakeReadFile>::Entry,
    Serialized<FakeWriteFile>::Entry,
    Serialized<FakeCreateIoCompletionPort>::Entry,
    Serialized<FakeGetQueuedCompletionStatus>::Entry,
    Serialized<FakeGetQueuedCompletionStatusEx>::Entry,
    Serialized<FakeGetOverlappedResult>::Entry,
    Serialized<FakeCancelIoEx>::Entry,
    Serialized<FakeSetFilePointerEx>::Entry,
    Serialized<FakeSetEndOfFile>::Entry,
    Serialized<FakeFlushFileBuffers>::Entry,
    Serialized<FakeCloseHandle>::Entry,
    Serialized<FakeDeleteFileW>::Entry,
    Serialized<FakeCreateDirectoryW>::Entry,
    Serialized<FakeRemoveDirectoryW>::Entry,
    Serialized<FakeGetFileAttributesW>::Entry,
    Serialized<FakeGetFileInformationByHandle>::Entry,
    Serialized<FakeSetFileInformationByHandle>::Entry,
    Serialized<FakeGetFileInformationByHandleEx>::Entry,
    Serialized<FakeOpenFileRelative>::Entry,
    Serialized<FakeFindFirstFileW>::Entry,
    Serialized<FakeFindNextFileW>::Entry,
    Serialized<FakeFindClose>::Entry,
    Serialized<FakeVirtualAlloc>::Entry,
    Serialized<FakeVirtualFree>::Entry,
    Serialized<FakeQueryPerformanceCounter>::Entry,
    Serialized<FakeQueryPerformanceFrequency>::Entry,
    Serialized<FakeGetTickCount>::Entry,
    Serialized<FakeSleep>::Entry,
    Serialized<FakeTimeBeginPeriod>::Entry,
    Serialized<FakeGetLocalTime>::Entry,
    Serialized<FakeGetLastError>::Entry,
    Serialized<FakeSetLastError>::Entry,
    Serialized<FakeGetCurrentDirectoryW>::Entry,
    Serialized<FakeGetModuleFileNameW>::Entry,
    Serialized<FakeDeviceIoControl>::Entry,
    Serialized<FakeGetDiskFreeSpaceExW>::Entry,
    Serialized<FakeMultiByteToWideChar>::Entry,
    Serialized<FakeCharUpperW>::Entry,
    Serialized<FakeGetFinalPathNameByHandleW>::Entry,
    Serialized<FakeGetVolumeInformationW>::Entry,
    Serialized<FakeGetVolumeInformationByHandleW>::Entry,
    Serialized<FakeCompareStringOrdinal>::Entry,
    Serialized<FakeSetFileValidData>::Entry,
    Serialized<FakeOpenProcessToken>::Entry,
    Serialized<FakeLookupPrivilegeValueW>::Entry,
    Serialized<FakeAdjustTokenPrivileges>::Entry,
    Serialized<FakeCreateThread>::Entry,
    FakeWaitForSingleObject,
};

void ReleaseAllocations() {
    for (const auto& allocation : S().allocations)
        ::operator delete(allocation.first, std::align_val_t(PageBytes));
    S().allocations.clear();
}

}  // namespace

uint64_t NewFakeFileIndex() {
    return nextFileIndex++;
}

FakeState& InstallFake() {
    if (state) ReleaseAllocations();
    state = std::make_unique<FakeState>();
    ThreadLastError() = 0;
#ifdef _WIN32
    state->currentDirectory = L"D:\\bench";
    state->moduleFileName = L"D:\\tools\\corvasta.exe";
#else
    state->currentDirectory = L"/bench";
    state->moduleFileName = L"/tools/corvasta";
#endif
    AddFakeFolder(state->currentDirectory);
    Platform = FakeCalls;
    return *state;
}

void RemoveFake() {
    if (state) ReleaseAllocations();
    state.reset();
    Platform = NativePlatform();
}

FakeState& Fake() {
    return S();
}

void FailCall(const std::string& call, DWORD code, int skip) {
    S().failures[call].push_back({skip, code});
}

std::wstring FakePath(const std::wstring& relative) {
    return JoinPath(S().currentDirectory, relative);
}

void AddFakeFolder(const std::wstring& path) {
    std::wstring partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t cut = path.find(PathSeparator, start);
        if (cut == std::wstring::npos) cut = path.size();
        partial = path.substr(0, cut);
        if (!IsRoot(partial) && S().nodes.count(partial) == 0) {
            FakeNode& node = S().nodes[partial];
            node.directory = true;
            node.attributes = FILE_ATTRIBUTE_DIRECTORY;
        }
        start = cut + 1;
    }
}

void AddFakeFile(const std::wstring& path, const std::string& bytes) {
    AddFakeFolder(ParentOf(path));
    S().nodes[path].bytes = bytes;
}

void AddFakeLink(const std::wstring& path, const std::wstring& target) {
    AddFakeFolder(ParentOf(path));
    FakeNode& node = S().nodes[path];
    node.directory = true;
    node.attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    node.reparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    node.linkTarget = target;
}

void AddFakeFileLink(const std::wstring& path, const std::wstring& target) {
    AddFakeFolder(ParentOf(path));
    FakeNode& node = S().nodes[path];
    node.attributes = FILE_ATTRIBUTE_REPARSE_POINT;
    node.reparseTag = IO_REPARSE_TAG_SYMLINK;
    node.linkTarget = target;
}

void AddFakeHardLink(const std::wstring& path, const std::wstring& existing) {
    AddFakeFolder(ParentOf(path));
    S().nodes[path] = S().nodes.at(existing);
}

bool FakeExists(const std::wstring& path) {
    return S().nodes.count(path) != 0;
}

std::string FakeFileBytes(const std::wstring& path) {
    const FakeNode* node = NodeAt(path);
    return node == nullptr ? std::string() : node->bytes;
}

BOOL AnswerVolumeExtents(const std::vector<uint32_t>& disks, void* output, DWORD outputBytes,
                   DWORD* returned) {
    if (disks.empty()) return Fail(ERROR_INVALID_FUNCTION);
    if (outputBytes < 8) return Fail(ERROR_INSUFFICIENT_BUFFER);
    auto* bytes = static_cast<unsigned char*>(output);
    const auto count = static_cast<uint32_t>(disks.size());
    std::memcpy(bytes, &count, 4);
    *returned = 8;
    if (outputBytes < 8 + 24 * disks.size()) return Fail(ERROR_MORE_DATA);
    for (size_t i = 0; i < disks.size(); ++i) {
        const int64_t extent[2] = {static_cast<int64_t>(i) << 20, 1 << 30};
        std::memcpy(bytes + 8 + 24 * i, &disks[i], 4);
        std::memcpy(bytes + 16 + 24 * i, extent, sizeof extent);
    }
    *returned = static_cast<DWORD>(8 + 24 * disks.size());
    return TRUE;
}

int ProcessTimerPeriodCalls() {
    return processTimerPeriodCalls;
}

size_t OpenHandleCount() {
    return S().handles.size();
}

size_t OpenAllocationCount() {
    return S().allocations.size();
}

size_t RequestsInFlight() {
    return static_cast<size_t>(std::count_if(S().requests.begin(), S().requests.end(),
                                             [](const FakeRequest& r) { return !r.completed; }));
}
