// The io_uring engine: one ring per port, the record address as each
// request's user_data. Queued requests reach the kernel in one go when the
// port is next waited on or when SubmitBatch of them have gathered, at most
// one system call per completion instead of two.
//
// The buffers that exist when a port is made (the pass allocates its eight
// before it opens the file and makes the port) are registered with the ring,
// and so is each file bound to it: the kernel then pins no pages and looks
// up no file per request. Other buffers go as plain requests.
#include "platform/linux/linux_port_engine.h"

#include <liburing.h>

#include <cerrno>
#include <new>
#include <sys/uio.h>

namespace linux_native {

namespace {

// The most requests a thread of a pass keeps in flight, so a full window
// never waits for room in the ring.
constexpr unsigned RingEntries = 256;
constexpr unsigned FileSlots = 8;

// user_data of the ring's own requests (cancels). An OVERLAPPED is aligned,
// so its address is never 1; such completions are consumed here and never
// handed to the caller.
constexpr uint64_t OwnRequest = 1;

struct UringQueue {
    io_uring ring;
    FixedBuffers buffers;
    bool fileTable;           // a sparse table of FileSlots registered files
    bool slotTaken[FileSlots];
};

UringQueue* QueueOf(PortObject* port) {
    return static_cast<UringQueue*>(port->queue);
}

// A slot for one more request; a full queue is handed to the kernel first.
io_uring_sqe* NextEntry(io_uring* ring) {
    io_uring_sqe* entry = io_uring_get_sqe(ring);
    if (entry) return entry;
    const int submitted = io_uring_submit(ring);
    entry = io_uring_get_sqe(ring);
    if (entry == nullptr) SetError(WindowsCodeOf(submitted < 0 ? -submitted : EBUSY));
    return entry;
}

// A port is made, used and closed by one thread, so its ring can have one
// issuer, and completion work waits for that thread's next system call
// rather than interrupting it. Deferring that work further, to the waits
// alone, cost a virtio disk at 32 random reads in flight a tenth of its
// IOPS and a fifth more CPU per request, side by side. Kernels that refuse
// a flag (EINVAL) get fewer, down to the plain ring.
int InitRing(io_uring* ring) {
    constexpr unsigned Choices[] = {IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_COOP_TASKRUN,
                                    IORING_SETUP_COOP_TASKRUN, 0};
    int result = -EINVAL;
    for (const unsigned flags : Choices) {
        result = io_uring_queue_init(RingEntries, ring, flags);
        if (result != -EINVAL) break;
    }
    return result;
}

// As many of the newest buffers as the kernel will pin (a locked-memory limit
// may allow fewer than all); the table keeps only what was registered.
void RegisterBuffers(UringQueue* queue) {
    FixedBuffers& table = queue->buffers;
    AdoptRegions(&table);
    iovec vectors[MostFixedBuffers];
    for (size_t i = 0; i < table.count; ++i) {
        vectors[i] = iovec{reinterpret_cast<void*>(table.address[i].load()), table.bytes[i]};
    }
    while (table.count > 0 &&
           io_uring_register_buffers(&queue->ring, vectors, static_cast<unsigned>(table.count)) != 0) {
        table.count -= 1;
        table.address[table.count].store(0);
    }
}

// The registered index of a buffer that covers the request, or -1.
int FixedIndexOf(const FixedBuffers& table, const void* buffer, DWORD bytes) {
    const auto address = reinterpret_cast<uintptr_t>(buffer);
    for (size_t i = 0; i < table.count; ++i) {
        if (table.address[i].load(std::memory_order_relaxed) == address && bytes <= table.bytes[i])
            return static_cast<int>(i);
    }
    return -1;
}

void SubmitQueued(io_uring* ring) {
    if (io_uring_sq_ready(ring) > 0) io_uring_submit(ring);
}

void QueueCancel(io_uring* ring, int fd, OVERLAPPED* overlapped) {
    io_uring_sqe* entry = NextEntry(ring);
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

// Waits for the next completion of any kind, handing queued requests to the
// kernel on the way. A completion that is there already is taken without a
// system call, so the requests queued in answer to several completions go
// to the kernel together, with the wait that has to sleep. A lone request
// is handed over before the wait rather than with it: a fast device often
// finishes it while that call returns, and the wait then finds it without
// sleeping, which at one request in flight would double its time.
int WaitForEntry(io_uring* ring, DWORD milliseconds, bool lone, io_uring_cqe** completion) {
    if (io_uring_peek_cqe(ring, completion) == 0) return 0;
    int result = 0;
    if (milliseconds == INFINITE) {
        // A signal may interrupt the call before it submits; the queued
        // requests must still go, or nothing would ever complete.
        while (io_uring_sq_ready(ring) > 0) {
            result = lone ? io_uring_submit(ring) : io_uring_submit_and_wait(ring, 1);
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
    __kernel_timespec limit{milliseconds / 1000,
                            static_cast<long long>(milliseconds % 1000) * 1000000};
    do {
        result = io_uring_wait_cqe_timeout(ring, completion, &limit);
    } while (result == -EINTR);
    return result;
}

bool Open(PortObject* port) {
    auto* queue = new (std::nothrow) UringQueue();
    if (queue == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const int result = InitRing(&queue->ring);
    if (result != 0) {
        delete queue;
        SetError(WindowsCodeOf(-result));
        return false;
    }
    // Only the thread that made the port enters its ring (see InitRing), so
    // the ring's descriptor can be registered with that thread: each system
    // call then skips looking it up, a few per cent of the CPU per request
    // at 32 in flight. Kernels without it use the plain descriptor.
    io_uring_register_ring_fd(&queue->ring);
    RegisterBuffers(queue);
    queue->fileTable = io_uring_register_files_sparse(&queue->ring, FileSlots) == 0;
    port->queue = queue;
    return true;
}

void Bind(PortObject* port, FileObject* file) {
    UringQueue* queue = QueueOf(port);
    if (!queue->fileTable) return;
    for (unsigned slot = 0; slot < FileSlots; ++slot) {
        if (queue->slotTaken[slot]) continue;
        if (io_uring_register_files_update(&queue->ring, slot, &file->fd, 1) != 1) return;
        queue->slotTaken[slot] = true;
        file->fixedIndex = static_cast<int>(slot);
        return;
    }
}

// The registered table holds its own reference to the file, which would keep
// the file's lock after its handle is closed; the slot is emptied first.
void Detach(PortObject* port, FileObject* file) {
    UringQueue* queue = QueueOf(port);
    SubmitQueued(&queue->ring);
    if (file->fixedIndex < 0) return;
    int none = -1;
    io_uring_register_files_update(&queue->ring, static_cast<unsigned>(file->fixedIndex), &none, 1);
    queue->slotTaken[file->fixedIndex] = false;
    file->fixedIndex = -1;
}

bool Queue(PortObject* port, FileObject* file, void* buffer, DWORD bytes, uint64_t offset,
           OVERLAPPED* record, bool isWrite) {
    UringQueue* queue = QueueOf(port);
    io_uring_sqe* entry = NextEntry(&queue->ring);
    if (entry == nullptr) return false;
    const bool fixedFile = file->fixedIndex >= 0;
    const int target = fixedFile ? file->fixedIndex : file->fd;
    const int index = FixedIndexOf(queue->buffers, buffer, bytes);
    if (index >= 0 && isWrite) {
        io_uring_prep_write_fixed(entry, target, buffer, bytes, offset, index);
    } else if (index >= 0) {
        io_uring_prep_read_fixed(entry, target, buffer, bytes, offset, index);
    } else if (isWrite) {
        io_uring_prep_write(entry, target, buffer, bytes, offset);
    } else {
        io_uring_prep_read(entry, target, buffer, bytes, offset);
    }
    if (fixedFile) io_uring_sqe_set_flags(entry, IOSQE_FIXED_FILE);
    io_uring_sqe_set_data64(entry, reinterpret_cast<uint64_t>(record));
    // A refused submission leaves the entries queued for the next wait.
    if (io_uring_sq_ready(&queue->ring) >= SubmitBatch) io_uring_submit(&queue->ring);
    return true;
}

// Consumes the entry; true when it completes one of the caller's requests
// rather than one of the port's own.
bool Consume(io_uring* ring, io_uring_cqe* completion, Finished& finished) {
    const uint64_t data = completion->user_data;
    finished = Finished{reinterpret_cast<OVERLAPPED*>(data), completion->res};
    io_uring_cqe_seen(ring, completion);
    return data != OwnRequest;
}

int Take(PortObject* port, DWORD milliseconds, Finished& finished) {
    io_uring* ring = &QueueOf(port)->ring;
    for (;;) {
        io_uring_cqe* completion = nullptr;
        const int result = WaitForEntry(ring, milliseconds, port->inFlight == 1, &completion);
        if (result < 0) return result;
        if (Consume(ring, completion, finished)) return 0;
    }
}

bool Peek(PortObject* port, Finished& finished) {
    io_uring* ring = &QueueOf(port)->ring;
    io_uring_cqe* completion = nullptr;
    while (io_uring_peek_cqe(ring, &completion) == 0) {
        if (Consume(ring, completion, finished)) return true;
    }
    return false;
}

// A cancel by descriptor matches the open file behind it, so it also finds
// the requests that went through the file's registered slot.
bool Cancel(PortObject* port, FileObject* file, OVERLAPPED* record) {
    io_uring* ring = &QueueOf(port)->ring;
    QueueCancel(ring, file->fd, record);
    const int result = io_uring_submit(ring);
    if (result >= 0) return true;
    SetError(WindowsCodeOf(-result));
    return false;
}

void Retire(PortObject* port) {
    UringQueue* queue = QueueOf(port);
    io_uring* ring = &queue->ring;
    if (port->inFlight > 0) {
        QueueCancel(ring, -1, nullptr);
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
    DropTable(&queue->buffers);
    io_uring_queue_exit(ring);
    delete queue;
}

}  // namespace

const PortEngine UringEngine = {L"io_uring", Open, Bind, Detach, Queue, Take, Peek, Cancel, Retire};

bool UringAllowed() {
    io_uring ring{};
    if (io_uring_queue_init(1, &ring, 0) != 0) return false;
    io_uring_queue_exit(&ring);
    return true;
}

}  // namespace linux_native
