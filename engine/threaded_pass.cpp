#include "engine/threaded_pass.h"

#include "engine/pass_crew.h"
#include "engine/run_record.h"
#include "platform/platform.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// What one thread is given and gives back; made before any thread starts,
// so the pass allocates nothing once the threads run.
struct Member {
    const std::wstring* testFilePath = nullptr;
    int64_t blockCount = 0;
    PassShape shape;
    int isWrite = 0;
    const void* pattern = nullptr;
    const ObjectIdentity* expected = nullptr;
    CrewSeat seat{nullptr, 0};
    std::wstring errorText;
    double elapsedMs = 0.0;
    std::unique_ptr<PassTally> tally = std::make_unique<PassTally>();
};

DWORD WINAPI RunMember(LPVOID parameter) {
    Member& member = *static_cast<Member*>(parameter);
    RunCrewPass(*member.testFilePath, member.blockCount, member.shape, member.isWrite,
                member.pattern, member.errorText, &member.elapsedMs, member.tally.get(),
                member.expected, member.seat);
    return 0;
}

// Starts every thread; those that cannot be started leave the crew, which
// then ends before its window. The handles of the started ones.
std::vector<HANDLE> StartThreads(std::vector<Member>& members, PassCrew& crew,
                                 std::wstring& errorText) {
    std::vector<HANDLE> started;
    for (Member& member : members) {
        const HANDLE thread = Platform.CreateThread(nullptr, 0, RunMember, &member, 0, nullptr);
        if (thread == nullptr) {
            errorText = WithWindowsError(L"CreateThread failed");
            LeaveCrew(crew, static_cast<int>(members.size() - started.size()));
            break;
        }
        started.push_back(thread);
    }
    return started;
}

// The text of the thread that ended the pass, else of any that failed.
std::wstring FirstFailure(const std::vector<Member>& members, int failed) {
    if (failed >= 0) return members[static_cast<size_t>(failed)].errorText;
    for (const Member& member : members) {
        if (!member.errorText.empty()) return member.errorText;
    }
    return {};
}

// The window runs from the shared start to the end of the last thread.
double Gather(const std::vector<Member>& members, double* elapsedMs, PassTally* tally) {
    double longestMs = 0.0;
    int64_t bytes = 0;
    for (const Member& member : members) {
        longestMs = std::max(longestMs, member.elapsedMs);
        bytes += member.tally->bytes;
    }
    if (longestMs <= 0.0) return 0.0;
    if (elapsedMs != nullptr) *elapsedMs = longestMs;
    if (tally != nullptr) {
        ClearLatencies(tally->latency);
        tally->bytes = bytes;
        tally->requests = 0;
        tally->frequency = members.front().tally->frequency;
        for (const Member& member : members) {
            tally->requests += member.tally->requests;
            MergeLatencies(tally->latency, member.tally->latency);
        }
    }
    return static_cast<double>(bytes) / (longestMs * 1000.0);
}

}  // namespace

uint64_t ThreadSeed(uint64_t passSeed, int thread) {
    if (thread == 0) return passSeed;
    uint64_t state = passSeed ^ (static_cast<uint64_t>(thread) << 32);
    return NextRandom(state) & SeedMask;
}

double RunThreadedPass(const std::wstring& testFilePath, int64_t blockCount,
                       const PassShape& shape, int threads, int isWrite, const void* pattern,
                       std::wstring& errorText, double* elapsedMs, PassTally* tally,
                       const ObjectIdentity* expected) {
    if (threads == 1) {
        return RunShapedPass(testFilePath, blockCount, shape, isWrite, pattern, errorText,
                             elapsedMs, tally, expected);
    }
    PassCrew crew(threads);
    std::vector<Member> members(static_cast<size_t>(threads));
    for (int i = 0; i < threads; ++i) {
        Member& member = members[static_cast<size_t>(i)];
        member.testFilePath = &testFilePath;
        member.blockCount = blockCount;
        member.shape = shape;
        member.shape.seed = ThreadSeed(shape.seed, i);
        member.isWrite = isWrite;
        member.pattern = pattern;
        member.expected = expected;
        member.seat = CrewSeat{&crew, i};
    }
    const std::vector<HANDLE> started = StartThreads(members, crew, errorText);
    for (const HANDLE thread : started) {
        Platform.WaitForSingleObject(thread, INFINITE);
        Platform.CloseHandle(thread);
    }
    if (errorText.empty()) errorText = FirstFailure(members, crew.firstFailed.load());
    if (!errorText.empty() || IsStopRequested()) return 0.0;
    return Gather(members, elapsedMs, tally);
}
