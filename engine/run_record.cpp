#include "engine/run_record.h"

std::atomic<int64_t> StopRequested{0};

RunRecord CurrentRun;

bool IsStopRequested() {
    return StopRequested.load(std::memory_order_relaxed) != 0;
}
