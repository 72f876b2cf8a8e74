// What a pass asks of the storage: how large its requests are, how many are
// in flight, and in what order they visit the file.
#pragma once

#include <cstdint>

constexpr int64_t BlockBytes = 1'048'576;
constexpr int64_t SmallestRequestBytes = 512;
constexpr int64_t LargestRequestBytes = 64 * BlockBytes;
constexpr int MostRequestsInFlight = 256;

struct PassShape {
    int64_t requestBytes = BlockBytes;  // a power of two, 512 bytes to 64 MiB
    int depth = 8;                      // requests in flight, 1 to 256
    bool random = false;                // uniform over the file instead of front to back
    uint64_t seed = 0;                  // of the random offsets; a pass replays from it
};

// The window's pass: 1 MiB requests, eight in flight, front to back.
constexpr PassShape WindowShape{};

bool IsValidShape(const PassShape& shape);

inline bool IsWindowShape(const PassShape& shape) {
    return shape.requestBytes == WindowShape.requestBytes && shape.depth == WindowShape.depth &&
           shape.random == WindowShape.random;
}

// SplitMix64: one add and a few multiplies per offset, and every seed,
// zero included, gives a full-period stream.
inline uint64_t NextRandom(uint64_t& state) {
    state += 0x9E3779B97F4A7C15u;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

// A fresh seed for each random pass, different in every process. 53 bits,
// so a JSON reader that keeps numbers as doubles keeps it exactly.
constexpr uint64_t SeedMask = (uint64_t{1} << 53) - 1;
uint64_t NewPassSeed();

// The seed of the pass `ordinal` places after the one seeded `first` (0
// gives `first`), so a run from one given seed repeats request for request.
inline uint64_t SeriesSeed(uint64_t first, int64_t ordinal) {
    if (ordinal == 0) return first;
    uint64_t state = first + static_cast<uint64_t>(ordinal) * 0xD1B54A32D192ED03u;
    return NextRandom(state) & SeedMask;
}
