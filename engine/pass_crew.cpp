#include "engine/pass_crew.h"

#include "platform/platform.h"

bool StartTogether(PassCrew& crew, int thread, bool ready, int64_t& start) {
    if (!ready) EndCrew(crew, thread, true);
    std::unique_lock<std::mutex> hold(crew.gate);
    crew.arrived += 1;
    if (crew.arrived == crew.threads) {
        LARGE_INTEGER now{};
        Platform.QueryPerformanceCounter(&now);
        crew.start = now.QuadPart;
        crew.opened.notify_all();
    } else {
        crew.opened.wait(hold, [&crew] { return crew.arrived == crew.threads; });
    }
    start = crew.start;
    return !crew.ended.load(std::memory_order_acquire);
}

void EndCrew(PassCrew& crew, int thread, bool failed) {
    int none = -1;
    if (failed) crew.firstFailed.compare_exchange_strong(none, thread);
    crew.ended.store(true, std::memory_order_release);
}

void LeaveCrew(PassCrew& crew, int absent) {
    crew.ended.store(true, std::memory_order_release);
    const std::lock_guard<std::mutex> hold(crew.gate);
    crew.arrived += absent;
    if (crew.arrived == crew.threads) crew.opened.notify_all();
}
