// Threads behind HANDLEs on POSIX threads: waiting is joining, and closing
// the handle of a thread nobody waited for lets it run on. The handle and
// the running thread each hold the object; the last to let go frees it.
#include "platform/linux/linux_native.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <pthread.h>

namespace linux_native {

namespace {

struct ThreadObject {
    HandleKind kind;
    pthread_t id;
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    bool joined;
    std::atomic<int> holders;
};

void LetGo(ThreadObject* thread) {
    if (thread->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete thread;
}

void* RunThread(void* object) {
    auto* thread = static_cast<ThreadObject*>(object);
    thread->start(thread->parameter);
    LetGo(thread);
    return nullptr;
}

ThreadObject* ThreadOf(HANDLE handle) {
    if (KindOf(handle) == HandleKind::Thread) return static_cast<ThreadObject*>(handle);
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace

HANDLE CreateThread(SECURITY_ATTRIBUTES*, size_t stackBytes, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD, DWORD* threadId) {
    auto* thread = new (std::nothrow) ThreadObject{HandleKind::Thread, {}, start, parameter, false, 2};
    if (thread == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackBytes > 0) pthread_attr_setstacksize(&attributes, stackBytes);
    const int failure = pthread_create(&thread->id, &attributes, RunThread, thread);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete thread;
        SetError(WindowsCodeOf(failure == EAGAIN ? ENOMEM : failure));
        return nullptr;
    }
    if (threadId != nullptr) *threadId = 0;
    return thread;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) return WAIT_FAILED;
    if (milliseconds != INFINITE) {
        SetError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    if (!thread->joined) pthread_join(thread->id, nullptr);
    thread->joined = true;
    return WAIT_OBJECT_0;
}

BOOL CloseThread(HANDLE handle) {
    ThreadObject* thread = ThreadOf(handle);
    if (thread == nullptr) return FALSE;
    if (!thread->joined) pthread_detach(thread->id);
    LetGo(thread);
    return TRUE;
}

}  // namespace linux_native
