#include "engine/pattern.h"

#include <cstdint>

// xorshift64*: cheap, and the same bytes in every run, so a written block can
// be recognised on disk and is not trivially compressible.
void FillPattern(void* buffer, size_t byteCount) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (size_t offset = 0; byteCount >= 8 && offset <= byteCount - 8; offset += 8) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t word = state * 0x2545F4914F6CDD1Du;
        for (size_t i = 0; i < 8; ++i) {
            bytes[offset + i] = static_cast<unsigned char>(word >> (8 * i));
        }
    }
}
