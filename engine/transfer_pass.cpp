#include "engine/transfer_pass.h"

#include "engine/pass_crew.h"
#include "engine/run_objects.h"
#include "engine/run_record.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

constexpr int64_t WindowSeconds = 5;
constexpr DWORD PassFlags = FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;

// One record per slot in one array: a completion's record address gives its
// slot. issuedAt is the counter value when the slot's request was handed over.
struct Slots {
    OVERLAPPED records[MostRequestsInFlight];
    void* buffers[MostRequestsInFlight];
    int64_t issuedAt[MostRequestsInFlight];
};

struct Pass {
    PassShape shape;
    DWORD requestBytes = 0;
    int64_t requestCount = 1;  // of the shape's size in the file
    int isWrite = 0;
    Slots* slots = nullptr;
    LatencyHistogram* latency = nullptr;  // null: not taken
    const PassWatch* watch = nullptr;     // null: a timed pass
    const ObjectIdentity* expected = nullptr;  // the file's identity, when it is checked
    CrewSeat seat{nullptr, 0};                 // the pass's place among its threads, if any
    int64_t stretchRequests = 1;  // requests a thread takes in order before the next's turn
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE port = nullptr;
    int64_t nextRequest = 0;   // in file order
    int64_t issued = 0;
    uint64_t randomState = 0;  // in random order
    int64_t outstanding = 0;
    int64_t totalBytes = 0;
    int64_t completed = 0;  // requests that moved all their bytes
    bool draining = false;
    bool abandoned = false;  // requests the port can no longer give back
    int64_t frequency = 0;
    int64_t start = 0;
};

int64_t ReadCounter() {
    LARGE_INTEGER value{};
    Platform.QueryPerformanceCounter(&value);
    return value.QuadPart;
}

std::wstring WithShortCode(const wchar_t* message, DWORD code) {
    return message + DecimalText(code) + L")";
}

// Requests above the pattern's size repeat it.
void FillFromPattern(void* buffer, int64_t bytes, const void* pattern) {
    for (int64_t at = 0; at < bytes; at += BlockBytes) {
        std::memcpy(static_cast<char*>(buffer) + at, pattern, std::min(bytes - at, BlockBytes));
    }
}

bool AllocateBuffers(Pass& pass, const void* pattern, std::wstring& errorText) {
    for (int slot = 0; slot < pass.shape.depth; ++slot) {
        void* buffer = Platform.VirtualAlloc(nullptr, pass.requestBytes, MEM_COMMIT | MEM_RESERVE,
                                             PAGE_READWRITE);
        if (buffer == nullptr) {
            errorText = WithWindowsError(L"VirtualAlloc failed");
            return false;
        }
        pass.slots->buffers[slot] = buffer;
        if (pass.isWrite) FillFromPattern(buffer, pass.requestBytes, pattern);
    }
    return true;
}

// A scanner or indexer may still hold the file after the previous pass, so a
// sharing violation is retried for a while before the clock starts.
// The threads of a pass share the file with each other, and so with others.
HANDLE OpenTestFile(const std::wstring& path, DWORD access, DWORD share, DWORD flags,
                    const ObjectIdentity* expected, bool& replaced) {
    for (int attempt = 1;; ++attempt) {
        const HANDLE file =
            expected != nullptr
                ? OpenChecked(path, access, share, flags, *expected, replaced)
                : Platform.CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags,
                                       nullptr);
        if (file != INVALID_HANDLE_VALUE || replaced || attempt == HeldAttempts ||
            Platform.GetLastError() != ERROR_SHARING_VIOLATION) {
            return file;
        }
        Platform.Sleep(HeldPauseMs);
    }
}

bool OpenFileAndPort(Pass& pass, const std::wstring& testFilePath, std::wstring& errorText) {
    const DWORD access = pass.isWrite ? GENERIC_WRITE : GENERIC_READ;
    const DWORD order = pass.shape.random ? FILE_FLAG_RANDOM_ACCESS : FILE_FLAG_SEQUENTIAL_SCAN;
    bool replaced = false;
    const DWORD share = pass.seat.crew == nullptr ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    pass.file =
        OpenTestFile(testFilePath, access, share, PassFlags | order, pass.expected, replaced);
    if (pass.file == INVALID_HANDLE_VALUE) {
        errorText =
            replaced ? std::wstring(ReplacedText) : WithWindowsError(L"Unable to open test file");
        return false;
    }
    pass.port = Platform.CreateIoCompletionPort(pass.file, nullptr, 0, 1);
    if (pass.port == nullptr) {
        errorText = WithWindowsError(L"CreateIoCompletionPort failed");
        return false;
    }
    return true;
}

bool ReadFrequency(Pass& pass, std::wstring& errorText) {
    LARGE_INTEGER frequency{};
    if (!Platform.QueryPerformanceFrequency(&frequency)) {
        errorText = WithWindowsError(L"QueryPerformanceFrequency failed");
        return false;
    }
    pass.frequency = frequency.QuadPart;
    return true;
}

int Threads(const Pass& pass) {
    return pass.seat.crew == nullptr ? 1 : pass.seat.crew->threads;
}

// In file order the threads take turns by stretches of the file (thread t
// of T the stretches t, t + T, ...), and each wraps to its first after its
// last; one thread reads the file front to back. Random requests are
// uniform over the file, the modulo's bias below 2^-40 for any file a run
// makes.
int64_t NextRequestIndex(Pass& pass) {
    if (pass.shape.random) {
        return static_cast<int64_t>(NextRandom(pass.randomState) %
                                    static_cast<uint64_t>(pass.requestCount));
    }
    const int64_t stretchCount = pass.requestCount / pass.stretchRequests;
    int64_t stretch = pass.nextRequest / pass.stretchRequests * Threads(pass) + pass.seat.thread;
    if (stretch >= stretchCount) {
        pass.nextRequest = 0;
        stretch = pass.seat.thread % stretchCount;
    }
    const int64_t index = stretch * pass.stretchRequests + pass.nextRequest % pass.stretchRequests;
    pass.nextRequest += 1;
    return index;
}

// Sends the next request through the slot; false with the last-error code
// when the platform refused it.
bool IssueRequest(Pass& pass, int slot, int64_t now, DWORD& code) {
    OVERLAPPED& record = pass.slots->records[slot];
    const auto offset =
        static_cast<uint64_t>(NextRequestIndex(pass)) * static_cast<uint64_t>(pass.requestBytes);
    record.Internal = 0;
    record.InternalHigh = 0;
    record.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    record.OffsetHigh = static_cast<DWORD>(offset >> 32);
    record.hEvent = nullptr;
    void* buffer = pass.slots->buffers[slot];
    pass.slots->issuedAt[slot] = now;
    const BOOL done =
        pass.isWrite ? Platform.WriteFile(pass.file, buffer, pass.requestBytes, nullptr, &record)
                     : Platform.ReadFile(pass.file, buffer, pass.requestBytes, nullptr, &record);
    if (!done) {
        code = Platform.GetLastError();
        if (code != ERROR_IO_PENDING) return false;
    }
    // Completed at once or pending: either way its completion comes through the port.
    pass.outstanding += 1;
    pass.issued += 1;
    return true;
}

// A timed pass ends with its window; a watched one once every request is
// issued or when its watch says so. The watch sees every completion, also
// those that drain the pass.
bool PassEnded(Pass& pass, int64_t now) {
    if (pass.watch == nullptr) return now - pass.start >= WindowSeconds * pass.frequency;
    const PassProgress progress{pass.file, now, pass.frequency, pass.totalBytes,
                                pass.issued * static_cast<int64_t>(pass.requestBytes)};
    const bool goOn = pass.watch->onProgress(pass.watch->context, progress);
    return !goOn || pass.issued >= pass.requestCount;
}

bool IssueFirstRequests(Pass& pass, std::wstring& errorText) {
    for (int slot = 0; slot < pass.shape.depth; ++slot) {
        if (pass.watch != nullptr && PassEnded(pass, pass.start)) return true;
        DWORD code = 0;
        if (!IssueRequest(pass, slot, pass.start, code)) {
            errorText = WithShortCode(L"I/O startup error (Windows ", code);
            return false;
        }
    }
    return true;
}

// The slot whose record this is, or -1 when the record is none of the pass's.
ptrdiff_t SlotOf(const Pass& pass, const OVERLAPPED* record) {
    const ptrdiff_t slot = record - pass.slots->records;
    return slot >= 0 && slot < pass.shape.depth ? slot : -1;
}

// The checks every completion passes; its slot, or -1 with the error text.
ptrdiff_t CheckedSlot(const Pass& pass, const OVERLAPPED* record, DWORD bytes, bool ok,
                      std::wstring& errorText) {
    if (!ok) {
        const bool full = IsDiskFullCode(Platform.GetLastError());
        errorText = WithWindowsError(full ? DiskFullMessage : L"I/O completion failed");
        return -1;
    }
    if (bytes != pass.requestBytes) {
        errorText = L"Incomplete transfer: " + DecimalText(bytes) + L" byte";
        return -1;
    }
    const ptrdiff_t slot = SlotOf(pass, record);
    if (slot < 0) errorText = L"Invalid OVERLAPPED index";
    return slot;
}

// A stop, or another thread of the pass that failed or stopped.
bool Halted(const Pass& pass) {
    return IsStopRequested() ||
           (pass.seat.crew != nullptr && pass.seat.crew->ended.load(std::memory_order_relaxed));
}

// Counts a checked completion, seen at `now`, and answers it with the next
// request in the same slot unless the pass is draining.
bool AnswerCompletion(Pass& pass, ptrdiff_t slot, int64_t now, std::wstring& errorText) {
    pass.totalBytes += pass.requestBytes;
    pass.completed += 1;
    if (pass.latency != nullptr) {
        RecordLatency(*pass.latency, static_cast<uint64_t>(now - pass.slots->issuedAt[slot]));
    }
    if (PassEnded(pass, now) || Halted(pass)) {
        pass.draining = true;
    }
    if (pass.draining) return true;
    DWORD code = 0;
    if (!IssueRequest(pass, static_cast<int>(slot), now, code)) {
        errorText = WithShortCode(L"I/O re-entry error (Windows ", code);
        return false;
    }
    return true;
}

// The window's way: one completion per wait.
bool TakeCompletion(Pass& pass, std::wstring& errorText) {
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* record = nullptr;
    const BOOL ok = Platform.GetQueuedCompletionStatus(pass.port, &bytes, &key, &record, INFINITE);
    if (record == nullptr) {
        errorText = WithWindowsError(L"GetQueuedCompletionStatus failed");
        return false;
    }
    // The request is back from the platform whatever the checks below find;
    // the retirement after a failure counts on this.
    pass.outstanding -= 1;
    const ptrdiff_t slot = CheckedSlot(pass, record, bytes, ok != FALSE, errorText);
    return slot >= 0 && AnswerCompletion(pass, slot, ReadCounter(), errorText);
}

// Every completion at hand in one wait, all seen at one reading of the
// clock: a request is then not timed with the handling of those taken
// before it, and Windows enters the kernel once per batch.
bool TakeCompletions(Pass& pass, std::wstring& errorText) {
    OVERLAPPED_ENTRY entries[MostRequestsInFlight];
    ULONG removed = 0;
    if (!Platform.GetQueuedCompletionStatusEx(pass.port, entries,
                                              static_cast<ULONG>(pass.outstanding), &removed,
                                              INFINITE, FALSE)) {
        errorText = WithWindowsError(L"GetQueuedCompletionStatusEx failed");
        return false;
    }
    pass.outstanding -= removed;
    const int64_t now = ReadCounter();
    for (ULONG i = 0; i < removed; ++i) {
        OVERLAPPED* record = entries[i].lpOverlapped;
        DWORD bytes = entries[i].dwNumberOfBytesTransferred;
        // A request's own status is in its record; only a failed one needs
        // the call that turns it into a Windows error code. A record that is
        // not the pass's own is never read.
        const bool ok = SlotOf(pass, record) < 0 || record->Internal == 0 ||
                        Platform.GetOverlappedResult(pass.file, record, &bytes, FALSE);
        const ptrdiff_t slot = CheckedSlot(pass, record, bytes, ok, errorText);
        if (slot < 0 || !AnswerCompletion(pass, slot, now, errorText)) return false;
    }
    return true;
}

bool RunWindow(Pass& pass, std::wstring& errorText) {
    const bool batched = !IsWindowShape(pass.shape);
    while (pass.outstanding > 0) {
        if (Halted(pass)) pass.draining = true;
        if (!(batched ? TakeCompletions(pass, errorText) : TakeCompletion(pass, errorText)))
            return false;
    }
    return true;
}

// A failure can leave requests in flight; their records and buffers belong
// to the platform until their completions are taken, so nothing may be
// freed before that.
void RetireRequests(Pass& pass) {
    if (pass.outstanding <= 0) return;
    Platform.CancelIoEx(pass.file, nullptr);
    while (pass.outstanding > 0) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* record = nullptr;
        Platform.GetQueuedCompletionStatus(pass.port, &bytes, &key, &record, INFINITE);
        if (record == nullptr) {
            pass.abandoned = true;
            return;
        }
        pass.outstanding -= 1;
    }
}

// Handles in reverse order of opening, then memory. Memory the platform may
// still write into is left allocated rather than handed back for reuse.
void Release(Pass& pass) {
    if (pass.port != nullptr) Platform.CloseHandle(pass.port);
    if (pass.file != INVALID_HANDLE_VALUE) Platform.CloseHandle(pass.file);
    if (pass.abandoned) return;
    for (void* buffer : pass.slots->buffers) {
        if (buffer != nullptr) Platform.VirtualFree(buffer, 0, MEM_RELEASE);
    }
    delete pass.slots;
}

double Throughput(const Pass& pass, std::wstring& errorText, double* elapsedMs) {
    const int64_t elapsed = ReadCounter() - pass.start;
    if (elapsed <= 0) {
        errorText = L"Invalid time range";
        return 0.0;
    }
    // total bytes × frequency overflows 64 bits, so every operand goes to double first.
    const double speed = static_cast<double>(pass.totalBytes) *
                         static_cast<double>(pass.frequency) /
                         (static_cast<double>(elapsed) * 1'000'000.0);
    if (elapsedMs != nullptr) {
        *elapsedMs = static_cast<double>(elapsed) * 1000.0 / static_cast<double>(pass.frequency);
    }
    return speed;
}

bool SetUp(Pass& pass, const std::wstring& testFilePath, const void* pattern,
           std::wstring& errorText) {
    std::unique_lock<std::mutex> turn;
    if (pass.seat.crew != nullptr) turn = std::unique_lock<std::mutex>(pass.seat.crew->setUp);
    return AllocateBuffers(pass, pattern, errorText) &&
           OpenFileAndPort(pass, testFilePath, errorText) && ReadFrequency(pass, errorText);
}

// Issuing the first requests is inside the measured time; the threads of
// a pass share its start.
bool StartClock(Pass& pass, bool ready) {
    if (pass.seat.crew == nullptr) {
        pass.start = ReadCounter();
        return ready;
    }
    return StartTogether(*pass.seat.crew, pass.seat.thread, ready, pass.start);
}

// Everything up to the result; false on a failure or a stop.
bool Transfer(Pass& pass, const std::wstring& testFilePath, const void* pattern,
              std::wstring& errorText) {
    if (!StartClock(pass, SetUp(pass, testFilePath, pattern, errorText))) return false;
    if (IsStopRequested()) return false;
    if (!IssueFirstRequests(pass, errorText) || !RunWindow(pass, errorText)) {
        if (pass.seat.crew != nullptr) EndCrew(*pass.seat.crew, pass.seat.thread, true);
        RetireRequests(pass);
        return false;
    }
    // A stopped pass gives no figure, even with all of its requests done.
    return !IsStopRequested();
}

void FillTally(const Pass& pass, PassTally& tally) {
    tally.bytes = pass.totalBytes;
    tally.requests = pass.completed;
    tally.frequency = pass.frequency;
}

}  // namespace

std::wstring WithWindowsError(const std::wstring& message) {
    const DWORD code = Platform.GetLastError();
    return message + L" (Windows Error " + DecimalText(code) + L")";
}

bool IsDiskFullCode(DWORD code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ||
           code == ERROR_DISK_QUOTA_EXCEEDED;
}

bool IsDiskFullText(const std::wstring& errorText) {
    return errorText.rfind(DiskFullMessage, 0) == 0;
}

namespace {

double RunPass(Pass& pass, const std::wstring& testFilePath, int64_t blockCount,
               const PassShape& shape, int isWrite, const void* pattern, std::wstring& errorText,
               double* elapsedMs, PassTally* tally) {
    // The file holds at least one request for each thread.
    if (!IsValidShape(shape) || blockCount < 1 ||
        blockCount * BlockBytes < shape.requestBytes * Threads(pass)) {
        if (pass.seat.crew != nullptr) LeaveCrew(*pass.seat.crew, 1);
        errorText = L"Invalid pass shape";
        return 0.0;
    }
    pass.shape = shape;
    pass.requestBytes = static_cast<DWORD>(shape.requestBytes);
    pass.requestCount = blockCount * BlockBytes / shape.requestBytes;
    pass.stretchRequests = std::max<int64_t>(1, BlockBytes / shape.requestBytes);
    pass.randomState = shape.seed;
    pass.isWrite = isWrite;
    pass.slots = new Slots{};
    if (tally != nullptr) {
        ClearLatencies(tally->latency);
        pass.latency = &tally->latency;
    }
    double speed = 0.0;
    if (Transfer(pass, testFilePath, pattern, errorText)) {
        speed = Throughput(pass, errorText, elapsedMs);
        if (tally != nullptr && errorText.empty()) FillTally(pass, *tally);
    }
    Release(pass);
    return speed;
}

}  // namespace

double RunShapedPass(const std::wstring& testFilePath, int64_t blockCount,
                     const PassShape& shape, int isWrite, const void* pattern,
                     std::wstring& errorText, double* elapsedMs, PassTally* tally,
                     const ObjectIdentity* expected) {
    Pass pass;
    pass.expected = expected;
    return RunPass(pass, testFilePath, blockCount, shape, isWrite, pattern, errorText, elapsedMs,
                   tally);
}

double RunCrewPass(const std::wstring& testFilePath, int64_t blockCount, const PassShape& shape,
                   int isWrite, const void* pattern, std::wstring& errorText, double* elapsedMs,
                   PassTally* tally, const ObjectIdentity* expected, const CrewSeat& seat) {
    Pass pass;
    pass.expected = expected;
    pass.seat = seat;
    return RunPass(pass, testFilePath, blockCount, shape, isWrite, pattern, errorText, elapsedMs,
                   tally);
}

double RunWatchedPass(const std::wstring& testFilePath, int64_t blockCount, const PassShape& shape,
                      int isWrite, const void* pattern, const PassWatch& watch,
                      std::wstring& errorText, double* elapsedMs, const ObjectIdentity* expected) {
    Pass pass;
    pass.watch = &watch;
    pass.expected = expected;
    return RunPass(pass, testFilePath, blockCount, shape, isWrite, pattern, errorText, elapsedMs,
                   nullptr);
}

double RunTransferPass(const std::wstring& testFilePath, int64_t blockCount, int isWrite,
                       const void* pattern, std::wstring& errorText, double* elapsedMs,
                       const ObjectIdentity* expected) {
    return RunShapedPass(testFilePath, blockCount, WindowShape, isWrite, pattern, errorText,
                         elapsedMs, nullptr, expected);
}
