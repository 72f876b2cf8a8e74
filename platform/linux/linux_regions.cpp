// The live transfer-sized regions of VirtualAlloc, so a new port can register
// them with the kernel, and the ports' tables of registered buffers, so a
// region's release reaches every port that registered it. The worker and the
// main thread both allocate, hence the lock; the ports read their own table
// without it.
#include "platform/linux/linux_native.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace linux_native {

namespace {

std::mutex Guard;
struct Region {
    uintptr_t address;
    size_t bytes;
};

std::vector<Region> Regions;  // oldest first
std::vector<FixedBuffers*> Tables;

}  // namespace

void AdoptRegions(FixedBuffers* table) {
    std::lock_guard<std::mutex> hold(Guard);
    table->count = std::min(Regions.size(), MostFixedBuffers);
    for (size_t i = 0; i < table->count; ++i) {
        const Region& region = Regions[Regions.size() - 1 - i];
        table->address[i].store(region.address);
        table->bytes[i] = region.bytes;
    }
    Tables.push_back(table);
}

void DropTable(FixedBuffers* table) {
    std::lock_guard<std::mutex> hold(Guard);
    std::erase(Tables, table);
}

void NoteRegion(void* address, size_t bytes) {
    if (bytes > LargestFixedBufferBytes) return;
    std::lock_guard<std::mutex> hold(Guard);
    Regions.push_back({reinterpret_cast<uintptr_t>(address), bytes});
}

void ForgetRegion(void* address) {
    const auto gone = reinterpret_cast<uintptr_t>(address);
    std::lock_guard<std::mutex> hold(Guard);
    std::erase_if(Regions, [gone](const Region& region) { return region.address == gone; });
    // Every entry, not just the first count: the count is the port's own.
    for (FixedBuffers* table : Tables) {
        for (std::atomic<uintptr_t>& entry : table->address) {
            if (entry.load() == gone) entry.store(0);
        }
    }
}

}  // namespace linux_native
