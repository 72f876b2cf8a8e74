// Completion ports over io_uring: one ring per port, the OVERLAPPED address
// as each request's user_data.
//
// A port and the files bound to it are driven from one thread at a time, as
// the transfer pass does; nothing here takes a lock. Queued requests reach the
// kernel in one go when the port is next waited on, which costs one system
// call per completion instead of two.
#include "platform/linux/linux_native.h"

#include <cerrno>
#include <new>

namespace linux_native {

namespace {

constexpr unsigned RingEntries = 64;
constexpr DWORD WaitTimeout = 258;

// user_data of the ring's own requests (cancels). An OVERLAPPED is aligned,
// so its address is never 1; such completions are consumed here and never
// handed to the caller.
constexpr uint64_t OwnRequest = 1;

// While a request is in flight its record carries the file's completion key
// in Internal and the requested length, with this bit for a read, in
// InternalHigh. On completion both get their Windows meaning: the status and
// the byte count.
constexpr ULONG_PTR ReadRequest = static_cast<ULONG_PTR>(1) << 63;

// A slot for one more request; a full queue is handed to the kernel first.
io_uring_sqe* NextEntry(PortObject* port) {
    io_uring_sqe* entry = io_uring_get_sqe(&port->ring);
    if (entry) return entry;
    const int submitted = io_uring_submit(&port->ring);
    entry = io_uring_get_sqe(&port->ring);
    if (entry == nullptr) SetError(WindowsCodeOf(submitted < 0 ? -submitted : EBUSY));
    return entry;
}

BOOL Queue(FileObject* file, const void* buffer, DWORD bytes, OVERLAPPED* overlapped,
           bool isWrite) {
    PortObject* port = file->port;
    if (port->closed) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    io_uring_sqe* entry = NextEntry(port);
    if (entry == nullptr) return FALSE;
    const uint64_t offset = (static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                            overlapped->Offset;
    if (isWrite) {
        io_uring_prep_write(entry, file->fd, buffer, bytes, offset);
    } else {
        // The kernel writes into the buffer; the prototype is shared with writes.
        io_uring_prep_read(entry, file->fd, const_cast<void*>(buffer), bytes, offset);
    }
    io_uring_sqe_set_data64(entry, reinterpret_cast<uint64_t>(overlapped));
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

bool InitRing(PortObject* port) {
    const int result = io_uring_queue_init(RingEntries, &port->ring, 0);
    if (result == 0) return true;
    SetError(WindowsCodeOf(-result));
    return false;
}

// Waits for the next completion of any kind, handing queued requests to the
// kernel on the way.
int WaitForEntry(PortObject* port, DWORD milliseconds, io_uring_cqe** completion) {
    io_uring* ring = &port->ring;
    int result = 0;
    if (milliseconds == INFINITE) {
        // A signal may interrupt the call before it submits; the queued
        // requests must still go, or nothing would ever complete.
        while (io_uring_sq_ready(ring) > 0) {
            result = io_uring_submit_and_wait(ring, 1);
            if (result >= 0) break;
            if (result != -EINTR) return result;
        }
        do {
            result = io_uring_wait_cqe(ring, completion);
        } while (result == -EINTR);
        return result;
    }
    if (io_uring_sq_ready(ring) > 0) result = io_uring_submit(ring);
    if (result < 0) return result;
    __kernel_timespec limit{milliseconds / 1000, static_cast<long long>(milliseconds % 1000) * 1000000};
    do {
        result = io_uring_wait_cqe_timeout(ring, completion, &limit);
    } while (result == -EINTR);
    return result;
}

// Takes a completion of the caller's requests off the ring, passing over the
// port's own.
int WaitForRequest(PortObject* port, DWORD milliseconds, io_uring_cqe** completion) {
    for (;;) {
        const int result = WaitForEntry(port, milliseconds, completion);
        if (result < 0 || (*completion)->user_data != OwnRequest) return result;
        io_uring_cqe_seen(&port->ring, *completion);
    }
}

void QueueCancel(PortObject* port, int fd, OVERLAPPED* overlapped) {
    io_uring_sqe* entry = NextEntry(port);
    if (entry == nullptr) return;
    if (overlapped) {
        io_uring_prep_cancel64(entry, reinterpret_cast<uint64_t>(overlapped), 0);
    } else if (fd >= 0) {
        io_uring_prep_cancel_fd(entry, fd, IORING_ASYNC_CANCEL_ALL);
    } else {
        io_uring_prep_cancel64(entry, 0, IORING_ASYNC_CANCEL_ANY);
    }
    io_uring_sqe_set_data64(entry, OwnRequest);
}

// Frees a port once neither its handle nor a file holds it. Requests still in
// flight are cancelled and waited for, so none can touch a buffer after the
// ring is gone.
void Retire(PortObject* port) {
    io_uring* ring = &port->ring;
    if (port->inFlight > 0) {
        QueueCancel(port, -1, nullptr);
        io_uring_submit(ring);
    }
    while (port->inFlight > 0) {
        io_uring_cqe* completion = nullptr;
        const int result = io_uring_wait_cqe(ring, &completion);
        if (result == -EINTR) continue;
        if (result < 0) break;
        if (completion->user_data != OwnRequest) --port->inFlight;
        io_uring_cqe_seen(ring, completion);
    }
    io_uring_queue_exit(ring);
    delete port;
}

PortObject* NewPort() {
    auto* port = new (std::nothrow) PortObject{HandleKind::Port, false, 0, 0, {}};
    if (port == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (InitRing(port)) return port;
    delete port;
    return nullptr;
}

}  // namespace

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
    }
    return port;
}

BOOL GetQueuedCompletionStatus(HANDLE handle, DWORD* bytes, ULONG_PTR* key,
                               OVERLAPPED** overlapped, DWORD milliseconds) {
    *overlapped = nullptr;
    PortObject* port = PortOf(handle);
    if (port == nullptr) return FALSE;
    io_uring_cqe* completion = nullptr;
    const int result = WaitForRequest(port, milliseconds, &completion);
    if (result < 0) {
        SetError(result == -ETIME ? WaitTimeout : WindowsCodeOf(-result));
        return FALSE;
    }
    auto* record = reinterpret_cast<OVERLAPPED*>(completion->user_data);
    const int outcome = completion->res;
    io_uring_cqe_seen(&port->ring, completion);
    --port->inFlight;
    // Windows ends a read that starts at or past the end with ERROR_HANDLE_EOF.
    const bool atEnd = outcome == 0 && (record->InternalHigh & ReadRequest) &&
                       static_cast<DWORD>(record->InternalHigh) > 0;
    const DWORD code = outcome < 0 ? WindowsCodeOf(-outcome) : atEnd ? ERROR_HANDLE_EOF : 0;
    *key = record->Internal;
    record->Internal = code;
    record->InternalHigh = outcome > 0 ? static_cast<ULONG_PTR>(outcome) : 0;
    *bytes = static_cast<DWORD>(record->InternalHigh);
    *overlapped = record;
    if (code == 0) return TRUE;
    SetError(code);
    return FALSE;
}

// The ring cannot say which requests of a port belong to which file, so the
// answer "nothing to cancel" is given only when nothing is in flight on the
// port at all. Cancelled requests still complete through the port.
BOOL CancelIoEx(HANDLE handle, OVERLAPPED* overlapped) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    PortObject* port = file->port;
    if (port == nullptr || port->inFlight == 0) {
        SetError(ErrorNotFound);
        return FALSE;
    }
    QueueCancel(port, file->fd, overlapped);
    const int result = io_uring_submit(&port->ring);
    if (result >= 0) return TRUE;
    SetError(WindowsCodeOf(-result));
    return FALSE;
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

void SubmitQueued(PortObject* port) {
    if (io_uring_sq_ready(&port->ring) > 0) io_uring_submit(&port->ring);
}

void ReleasePort(PortObject* port) {
    --port->boundFiles;
    if (port->closed && port->boundFiles == 0) Retire(port);
}

BOOL CloseHandle(HANDLE handle) {
    switch (KindOf(handle)) {
        case HandleKind::File: return CloseFile(static_cast<FileObject*>(handle));
        case HandleKind::Port: return ClosePort(static_cast<PortObject*>(handle)) ? TRUE : FALSE;
        default: SetError(ERROR_INVALID_HANDLE); return FALSE;
    }
}

}  // namespace linux_native
