// The threads of one pass: each sets up on its own, one after the other,
// then all start their requests at one reading of the clock, and the first
// to fail or stop ends the window for all.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

struct PassCrew {
    explicit PassCrew(int threadCount) : threads(threadCount) {}
    const int threads;
    // Held while a thread allocates its buffers and makes its port: a port
    // registers the newest buffers, which are then its own thread's.
    std::mutex setUp;
    std::atomic<bool> ended{false};
    std::atomic<int> firstFailed{-1};  // the thread whose text the pass reports
    std::mutex gate;
    std::condition_variable opened;
    int arrived = 0;  // guarded by gate
    int64_t start = 0;
};

// Where a thread of a crew sits: which of the crew's threads it is.
struct CrewSeat {
    PassCrew* crew;
    int thread;
};

// Waits until every thread of the crew has arrived; the last one reads the
// clock for all. False, for every thread, when any arrived not ready.
bool StartTogether(PassCrew& crew, int thread, bool ready, int64_t& start);

// Threads that will never arrive, as when they could not be started: the
// crew ends, and those waiting go on.
void LeaveCrew(PassCrew& crew, int absent);

// The thread failed or stopped: the others drain their requests and end.
void EndCrew(PassCrew& crew, int thread, bool failed);
