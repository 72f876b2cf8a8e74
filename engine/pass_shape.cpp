#include "engine/pass_shape.h"

#include <atomic>
#include <random>

bool IsValidShape(const PassShape& shape) {
    const int64_t bytes = shape.requestBytes;
    const bool powerOfTwo = bytes > 0 && (bytes & (bytes - 1)) == 0;
    return powerOfTwo && bytes >= SmallestRequestBytes && bytes <= LargestRequestBytes &&
           shape.depth >= 1 && shape.depth <= MostRequestsInFlight;
}

uint64_t NewPassSeed() {
    static std::atomic<uint64_t> state{(static_cast<uint64_t>(std::random_device{}()) << 32) ^
                                       std::random_device{}()};
    uint64_t next = state.fetch_add(1, std::memory_order_relaxed);
    return NextRandom(next) & SeedMask;
}
