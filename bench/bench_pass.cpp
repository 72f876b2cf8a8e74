// Runs one pass of the engine over an existing test file and prints its speed,
// the CPU time the process spent on it, the GiB it moved, its IOPS, its p50
// and p99 latency in microseconds and the I/O engine it ran on, for the
// comparison with fio.
#include "engine/prepare_test_file.h"
#include "engine/threaded_pass.h"
#include "engine/pattern.h"
#include "engine/profiles.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int Usage() {
    std::fprintf(stderr, "usage: corvasta-bench prepare|read|write FILE SIZE_MIB [PROFILE]\n");
    return 2;
}

void* Pattern() {
    void* pattern = Platform.VirtualAlloc(nullptr, BlockBytes, MEM_COMMIT | MEM_RESERVE,
                                          PAGE_READWRITE);
    if (pattern != nullptr) FillPattern(pattern, BlockBytes);
    return pattern;
}


}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return Usage();
    const std::string mode = argv[1];
    const std::wstring file = WideFromUtf8(argv[2]);
    const int64_t sizeMiB = std::strtoll(argv[3], nullptr, 10);
    Profile profile = WindowProfile;
    const bool named = argc == 4 || ProfileFromName(argv[4], profile);
    if (sizeMiB < 1 || !named || (mode != "prepare" && mode != "read" && mode != "write"))
        return Usage();
    void* pattern = Pattern();
    if (pattern == nullptr) return 1;
    std::wstring errorText;
    int status = 0;
    if (mode == "prepare") {
        if (!PrepareTestFile(file, sizeMiB, pattern, errorText)) status = 1;
    } else {
        double elapsedMs = 0.0;
        PassShape shape = profile.shape;
        shape.seed = NewPassSeed();
        const auto tally = std::make_unique<PassTally>();
        const double cpuBefore = CpuSeconds();
        const double mbps = RunThreadedPass(file, sizeMiB, shape, profile.threads, mode == "write",
                                            pattern, errorText, &elapsedMs, tally.get());
        const double cpu = CpuSeconds() - cpuBefore;
        const double gib = static_cast<double>(tally->bytes) / (1024.0 * 1024.0 * 1024.0);
        const LatencySummary latency = SummarizeLatencies(tally->latency, tally->frequency);
        if (errorText.empty()) {
            std::printf("%.2f %.4f %.4f %.1f %.2f %.2f %s\n", mbps, cpu, gib,
                        static_cast<double>(tally->requests) * 1000.0 / elapsedMs, latency.p50,
                        latency.p99, Utf8FromWide(IoBackendName()).c_str());
        } else {
            status = 1;
        }
    }
    if (status != 0) std::fprintf(stderr, "%s\n", Utf8FromWide(errorText).c_str());
    Platform.VirtualFree(pattern, 0, MEM_RELEASE);
    return status;
}
