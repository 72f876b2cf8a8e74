// The native AIO engine, for where io_uring is denied: one AIO context per
// port, the record address as each request's data. One wait takes every
// completion that is ready, so the next waits are served without a system
// call, and the requests issued in answer to them go to the kernel together
// when the wait has to go to the kernel again or SubmitBatch have gathered.
//
// Native AIO has nothing like registered buffers or files: every request
// pins its pages and looks up its file.
#include "platform/linux/linux_port_engine.h"

#include <libaio.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <new>

namespace linux_native {

namespace {

// The most requests a thread of a pass keeps in flight.
constexpr int Depth = 256;

// A control block is free while its data is null.
struct AioQueue {
    io_context_t context;
    iocb blocks[Depth];
    iocb* pending[Depth];  // issued, not yet handed to the kernel
    int pendingCount;
    io_event events[Depth];
    int eventCount;  // events taken from the kernel
    int eventNext;   // the next of them to hand out
};

AioQueue* QueueOf(PortObject* port) {
    return static_cast<AioQueue*>(port->queue);
}

iocb* FreeBlock(AioQueue* queue) {
    for (iocb& block : queue->blocks) {
        if (block.data == nullptr) return &block;
    }
    return nullptr;
}

// Waits for at least one completion and keeps all that are ready.
int Collect(AioQueue* queue, DWORD milliseconds) {
    timespec limit{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000};
    int result;
    do {
        result = io_getevents(queue->context, 1, Depth, queue->events,
                              milliseconds == INFINITE ? nullptr : &limit);
    } while (result == -EINTR);
    if (result < 0) return result;
    if (result == 0) return -ETIME;
    queue->eventCount = result;
    queue->eventNext = 0;
    return 0;
}

// Native AIO cancels nothing on regular files (the kernel answers EINVAL):
// those requests finish by themselves and, like any cancelled one, still
// come through the context.
void CancelBlock(AioQueue* queue, iocb* block) {
    io_event unused{};
    io_cancel(queue->context, block, &unused);
}

// Keeps an event to hand out after those already kept. The events and the
// pending requests are all in-use blocks, so the array never overflows.
void KeepEvent(AioQueue* queue, const io_event& event) {
    std::copy(queue->events + queue->eventNext, queue->events + queue->eventCount, queue->events);
    queue->eventCount -= queue->eventNext;
    queue->eventNext = 0;
    queue->events[queue->eventCount++] = event;
}

// Hands the pending requests to the kernel in one call. A request it refuses
// finishes at once with the refusal, like a request that fails in flight.
void SubmitPending(AioQueue* queue) {
    int done = 0;
    while (done < queue->pendingCount) {
        const int result = io_submit(queue->context, queue->pendingCount - done,
                                     queue->pending + done);
        if (result == -EINTR) continue;
        if (result > 0) {
            done += result;
            continue;
        }
        iocb* refused = queue->pending[done++];
        io_event event{};
        event.data = refused->data;
        event.obj = refused;
        event.res = static_cast<unsigned long>(static_cast<long>(result < 0 ? result : -EAGAIN));
        KeepEvent(queue, event);
    }
    queue->pendingCount = 0;
}

bool Open(PortObject* port) {
    auto* queue = new (std::nothrow) AioQueue();
    if (queue == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    const int result = io_setup(Depth, &queue->context);
    if (result != 0) {
        delete queue;
        SetError(WindowsCodeOf(-result));
        return false;
    }
    port->queue = queue;
    return true;
}

void Bind(PortObject*, FileObject*) {}

// Pending requests must reach the kernel while their descriptor is open.
void Detach(PortObject* port, FileObject*) {
    SubmitPending(QueueOf(port));
}

bool Queue(PortObject* port, FileObject* file, void* buffer, DWORD bytes, uint64_t offset,
           OVERLAPPED* record, bool isWrite) {
    AioQueue* queue = QueueOf(port);
    iocb* block = FreeBlock(queue);
    if (block == nullptr) {
        SetError(WindowsCodeOf(EAGAIN));
        return false;
    }
    const auto at = static_cast<long long>(offset);
    if (isWrite) {
        io_prep_pwrite(block, file->fd, buffer, bytes, at);
    } else {
        io_prep_pread(block, file->fd, buffer, bytes, at);
    }
    block->data = record;
    queue->pending[queue->pendingCount++] = block;
    if (queue->pendingCount >= static_cast<int>(SubmitBatch)) SubmitPending(queue);
    return true;
}

// The next kept event; its control block is free again.
void HandOut(AioQueue* queue, Finished& finished) {
    const io_event& event = queue->events[queue->eventNext++];
    finished = Finished{static_cast<OVERLAPPED*>(event.data), static_cast<long>(event.res)};
    event.obj->data = nullptr;
}

int Take(PortObject* port, DWORD milliseconds, Finished& finished) {
    AioQueue* queue = QueueOf(port);
    if (queue->eventNext == queue->eventCount) SubmitPending(queue);
    if (queue->eventNext == queue->eventCount) {
        const int result = Collect(queue, milliseconds);
        if (result < 0) return result;
    }
    HandOut(queue, finished);
    return 0;
}

bool Peek(PortObject* port, Finished& finished) {
    AioQueue* queue = QueueOf(port);
    if (queue->eventNext == queue->eventCount) return false;
    HandOut(queue, finished);
    return true;
}

bool Cancel(PortObject* port, FileObject* file, OVERLAPPED* record) {
    AioQueue* queue = QueueOf(port);
    for (iocb& block : queue->blocks) {
        const bool ours = block.data != nullptr && block.aio_fildes == file->fd;
        if (ours && (record == nullptr || block.data == record)) CancelBlock(queue, &block);
    }
    return true;
}

void Retire(PortObject* port) {
    AioQueue* queue = QueueOf(port);
    SubmitPending(queue);
    for (iocb& block : queue->blocks) {
        if (block.data != nullptr) CancelBlock(queue, &block);
    }
    Finished finished{nullptr, 0};
    while (port->inFlight > 0 && Take(port, INFINITE, finished) == 0) --port->inFlight;
    io_destroy(queue->context);
    delete queue;
}

}  // namespace

const PortEngine AioEngine = {L"libaio", Open, Bind, Detach, Queue, Take, Peek, Cancel, Retire};

}  // namespace linux_native
