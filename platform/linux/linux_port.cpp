// Completion ports over the engine of this process: the record address goes
// with each request and comes back with its completion, in whatever order the
// device finishes them.
//
// A port and the files bound to it are driven from one thread at a time, as
// the transfer pass does; nothing here takes a lock.
#include "platform/linux/linux_port_engine.h"

#include <cerrno>
#include <new>

namespace linux_native {

namespace {

constexpr DWORD WaitTimeout = 258;

// While a request is in flight its record carries the file's completion key
// in Internal and the requested length, with this bit for a read, in
// InternalHigh. On completion both get their Windows meaning: the status and
// the byte count.
constexpr ULONG_PTR ReadRequest = static_cast<ULONG_PTR>(1) << 63;

BOOL Queue(FileObject* file, const void* buffer, DWORD bytes, OVERLAPPED* overlapped,
           bool isWrite) {
    PortObject* port = file->port;
    if (port->closed) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const uint64_t offset = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                            overlapped->Offset;
    // The kernel writes into the buffer of a read; the prototype is shared with writes.
    if (!Engine().Queue(port, file, const_cast<void*>(buffer), bytes, offset, overlapped,
                        isWrite)) {
        return FALSE;
    }
    overlapped->Internal = file->key;
    overlapped->InternalHigh = bytes | (isWrite ? 0 : ReadRequest);
    ++port->inFlight;
    SetError(ERROR_IO_PENDING);
    return FALSE;
}

// Overlapped handles bound to a port queue their requests; everything else
// is served at once.
BOOL Transfer(HANDLE handle, const void* buffer, DWORD bytes, DWORD* done,
              OVERLAPPED* overlapped, bool isWrite) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    const bool overlappedHandle = (file->flags & FILE_FLAG_OVERLAPPED) != 0;
    if (overlappedHandle && overlapped == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (overlappedHandle && file->port) {
        if (done) *done = 0;
        return Queue(file, buffer, bytes, overlapped, isWrite);
    }
    if (isWrite) return SynchronousWrite(file, buffer, bytes, done, overlapped);
    return SynchronousRead(file, const_cast<void*>(buffer), bytes, done, overlapped);
}

void Retire(PortObject* port) {
    Engine().Retire(port);
    delete port;
}

PortObject* NewPort() {
    auto* port = new (std::nothrow) PortObject{HandleKind::Port, false, 0, 0, nullptr};
    if (port == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (Engine().Open(port)) return port;
    delete port;
    return nullptr;
}

}  // namespace

const PortEngine& Engine() {
    static const PortEngine& chosen = UringAllowed() ? UringEngine : AioEngine;
    return chosen;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, DWORD* done, OVERLAPPED* overlapped) {
    return Transfer(file, buffer, bytes, done, overlapped, false);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
               OVERLAPPED* overlapped) {
    return Transfer(file, buffer, bytes, done, overlapped, true);
}

HANDLE CreateIoCompletionPort(HANDLE fileHandle, HANDLE existingPort, ULONG_PTR key, DWORD) {
    FileObject* file = nullptr;
    if (fileHandle != INVALID_HANDLE_VALUE) {
        file = FileOf(fileHandle);
        if (file == nullptr) return nullptr;
        if (file->port) {
            SetError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    PortObject* port = existingPort ? PortOf(existingPort) : NewPort();
    if (port == nullptr) return nullptr;
    if (port->closed) {
        SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (file) {
        file->port = port;
        file->key = key;
        ++port->boundFiles;
        Engine().Bind(port, file);
    }
    return port;
}

namespace {

// Gives the record back with its Windows meaning: the status (a Windows code
// here, where Windows keeps an NTSTATUS; both are 0 for success) and the
// byte count.
DWORD HandBack(PortObject* port, const Finished& finished, OVERLAPPED_ENTRY& entry) {
    --port->inFlight;
    OVERLAPPED* record = finished.record;
    const long outcome = finished.result;
    // Windows ends a read that starts at or past the end with ERROR_HANDLE_EOF.
    const bool atEnd = outcome == 0 && (record->InternalHigh & ReadRequest) &&
                       static_cast<DWORD>(record->InternalHigh) > 0;
    const DWORD code = outcome < 0 ? WindowsCodeOf(static_cast<int>(-outcome))
                       : atEnd     ? ERROR_HANDLE_EOF
                                   : 0;
    entry.lpCompletionKey = record->Internal;
    record->Internal = code;
    record->InternalHigh = outcome > 0 ? static_cast<ULONG_PTR>(outcome) : 0;
    entry.lpOverlapped = record;
    entry.Internal = 0;
    entry.dwNumberOfBytesTransferred = static_cast<DWORD>(record->InternalHigh);
    return code;
}

// The first completion, waited for; false with the last error set.
bool TakeFirst(HANDLE handle, DWORD milliseconds, PortObject*& port, Finished& finished) {
    port = PortOf(handle);
    if (port == nullptr) return false;
    const int result = Engine().Take(port, milliseconds, finished);
    if (result >= 0) return true;
    SetError(result == -ETIME ? WaitTimeout : WindowsCodeOf(-result));
    return false;
}

}  // namespace

BOOL GetQueuedCompletionStatus(HANDLE handle, DWORD* bytes, ULONG_PTR* key,
                               OVERLAPPED** overlapped, DWORD milliseconds) {
    *overlapped = nullptr;
    PortObject* port = nullptr;
    Finished finished{nullptr, 0};
    if (!TakeFirst(handle, milliseconds, port, finished)) return FALSE;
    OVERLAPPED_ENTRY entry{};
    const DWORD code = HandBack(port, finished, entry);
    *key = entry.lpCompletionKey;
    *bytes = entry.dwNumberOfBytesTransferred;
    *overlapped = entry.lpOverlapped;
    if (code == 0) return TRUE;
    SetError(code);
    return FALSE;
}

// Each request's own outcome is in its record, as on Windows; the call
// succeeds once it has taken any.
BOOL GetQueuedCompletionStatusEx(HANDLE handle, OVERLAPPED_ENTRY* entries, ULONG count,
                                 ULONG* removed, DWORD milliseconds, BOOL) {
    *removed = 0;
    if (count == 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PortObject* port = nullptr;
    Finished finished{nullptr, 0};
    if (!TakeFirst(handle, milliseconds, port, finished)) return FALSE;
    do {
        HandBack(port, finished, entries[(*removed)++]);
    } while (*removed < count && Engine().Peek(port, finished));
    return TRUE;
}

// For a record the port has given back; the call never waits, as nothing
// here hands back a record before its request is done.
BOOL GetOverlappedResult(HANDLE, OVERLAPPED* overlapped, DWORD* bytes, BOOL) {
    *bytes = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal == 0) return TRUE;
    SetError(static_cast<DWORD>(overlapped->Internal));
    return FALSE;
}

// "Nothing to cancel" is said only when nothing is in flight on the port at
// all. Cancelled requests still complete through the port.
BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    PortObject* port = file->port;
    if (port == nullptr || port->inFlight == 0) {
        SetError(ErrorNotFound);
        return FALSE;
    }
    return Engine().Cancel(port, file, overlapped) ? TRUE : FALSE;
}

bool ClosePort(PortObject* port) {
    if (port->closed) {
        SetError(ERROR_INVALID_HANDLE);
        return false;
    }
    port->closed = true;
    if (port->boundFiles == 0) Retire(port);
    return true;
}

void DetachFile(FileObject* file) {
    Engine().Detach(file->port, file);
}

void ReleasePort(PortObject* port) {
    --port->boundFiles;
    if (port->closed && port->boundFiles == 0) Retire(port);
}

BOOL CloseHandle(HANDLE handle) {
    switch (KindOf(handle)) {
        case HandleKind::File: return CloseFile(static_cast<FileObject*>(handle));
        case HandleKind::Port: return ClosePort(static_cast<PortObject*>(handle)) ? TRUE : FALSE;
        case HandleKind::Token: return TRUE;  // the process's one token is never freed
        case HandleKind::Thread: return CloseThread(handle);
        default: SetError(ERROR_INVALID_HANDLE); return FALSE;
    }
}

}  // namespace linux_native
