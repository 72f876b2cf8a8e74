#include "cli/stop_signals.h"

#include "engine/run_record.h"

#include <atomic>
#include <chrono>
#include <thread>

#ifndef _WIN32
#include <csignal>
#endif

namespace {

// A signal handler may touch only lock-free atomics.
static_assert(std::atomic<int64_t>::is_always_lock_free);

std::atomic<int> RunEnded{0};

}  // namespace

void RequestStop(int cause) {
    int64_t none = 0;
    StopRequested.compare_exchange_strong(none, cause, std::memory_order_relaxed);
}

void MarkRunEnded() {
    RunEnded.store(1, std::memory_order_release);
}

bool WaitForRunEnd(int64_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (RunEnded.load(std::memory_order_acquire) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

#ifdef _WIN32
// Windows runs this on a thread of its own. Returning from a close, logoff or
// shutdown ends the process, so those wait for the worker's clean-up first,
// within the time Windows gives.
BOOL WINAPI OnConsoleControl(DWORD kind) {
    switch (kind) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        RequestStop(StopByInterrupt);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        RequestStop(StopByHangUp);
        break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RequestStop(StopByTerminate);
        break;
    default:
        return FALSE;
    }
    WaitForRunEnd(ConsoleCloseWaitMs);
    return TRUE;
}

void InstallStopHandlers() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
namespace {

static_assert(SIGHUP == StopByHangUp && SIGINT == StopByInterrupt && SIGPIPE == StopByBrokenPipe &&
              SIGTERM == StopByTerminate);

void OnStopSignal(int signal) {
    RequestStop(signal);
}

}  // namespace

void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    // Calls the stop interrupts carry on rather than fail.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    // A reader that went away shows as a failed write, which stops the run.
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}
#endif
