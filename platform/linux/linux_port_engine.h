// The engines behind the completion ports: io_uring, and native AIO where the
// kernel or a container denies io_uring. One is chosen per process; the port
// calls in linux_port.cpp keep the Win32 semantics on top of either.
#pragma once

#include "platform/linux/linux_native.h"

namespace linux_native {

// Queued requests go to the kernel once this many have gathered, without
// waiting for the port to be waited on: answering a burst of completions at
// 32 in flight would otherwise leave the device with a short queue until the
// whole burst is handled. Shallower passes never gather this many.
constexpr unsigned SubmitBatch = 8;

// A request handed back by an engine: its record, and the bytes moved or a
// negative errno.
struct Finished {
    OVERLAPPED* record;
    long result;
};

// Each entry sets the last error when it fails. Take returns 0, -ETIME when
// the wait ran out, or another negative errno.
struct PortEngine {
    const wchar_t* name;
    bool (*Open)(PortObject* port);
    void (*Bind)(PortObject* port, FileObject* file);
    void (*Detach)(PortObject* port, FileObject* file);
    bool (*Queue)(PortObject* port, FileObject* file, void* buffer, DWORD bytes,
                  uint64_t offset, OVERLAPPED* record, bool isWrite);
    int (*Take)(PortObject* port, DWORD milliseconds, Finished& finished);
    // A completion already at hand, without a system call; false when none is.
    bool (*Peek)(PortObject* port, Finished& finished);
    bool (*Cancel)(PortObject* port, FileObject* file, OVERLAPPED* record);
    // Cancels and waits for every request still in flight, then frees the
    // engine's state; nothing may touch a buffer afterwards.
    void (*Retire)(PortObject* port);
};

extern const PortEngine UringEngine;
extern const PortEngine AioEngine;

// Whether this process may set up a ring at all.
bool UringAllowed();

// The engine of this process, chosen on first use.
const PortEngine& Engine();

}  // namespace linux_native
