// The Linux engines behind the completion ports, on real files: which engine
// the process took, and the buffers that a port registered with the kernel.
#ifndef _WIN32
#include "platform/platform.h"
#include "platform/text.h"

#include <gtest/gtest.h>
#include <linux/io_uring.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr DWORD Block = 1048576;
constexpr int Blocks = 4;

void* NewBlock(DWORD bytes = Block) {
    return Platform.VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

// What the kernel says of the process's one ring (the registered files and
// buffers among it), or nothing.
std::string RingInfo() {
    for (int fd = 0; fd < 1024; ++fd) {
        std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
        const std::string text((std::istreambuf_iterator<char>(info)),
                               std::istreambuf_iterator<char>());
        if (text.find("UserFiles:") != std::string::npos) return text;
    }
    return std::string();
}

std::string AddressText(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p/", address);
    return text;
}

// A file of Blocks blocks, block b filled with the byte first + b.
bool MakeFile(const std::wstring& name, char first) {
    std::ofstream file(Utf8FromWide(name), std::ios::binary | std::ios::trunc);
    std::string block;
    for (int b = 0; b < Blocks; ++b) {
        block.assign(Block, static_cast<char>(first + b));
        file.write(block.data(), Block);
    }
    return static_cast<bool>(file);
}

HANDLE OpenOverlapped(const std::wstring& name) {
    return Platform.CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING,
                                nullptr);
}

// One request through the port and its completion; the bytes moved.
DWORD Move(HANDLE file, HANDLE port, void* buffer, int block, bool isWrite) {
    OVERLAPPED record{};
    record.Offset = static_cast<DWORD>(block) * Block;
    const BOOL started = isWrite ? Platform.WriteFile(file, buffer, Block, nullptr, &record)
                                 : Platform.ReadFile(file, buffer, Block, nullptr, &record);
    if (!started && Platform.GetLastError() != ERROR_IO_PENDING) return 0;
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* taken = nullptr;
    if (!Platform.GetQueuedCompletionStatus(port, &bytes, &key, &taken, INFINITE)) return 0;
    return taken == &record ? bytes : 0;
}

// Under io_uring, buffers allocated before the port are registered with it.
template <size_t Count>
void ExpectRegistered(void* const (&buffers)[Count]) {
    if (std::wstring(IoBackendName()) != L"io_uring") return;
    const std::string ring = RingInfo();
    EXPECT_NE(ring.find("0: /"), std::string::npos) << "the file was not registered\n" << ring;
    for (void* buffer : buffers) EXPECT_NE(ring.find(AddressText(buffer)), std::string::npos) << ring;
}

// The memory the kernel holds pinned for this process, in KiB: registered
// buffers count there until their ring is gone.
long PinnedKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmPin:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The pinned memory once the rings that earlier tests closed have gone, which
// happens in the background: the first figure that holds for a tenth of a
// second, or the last one after five.
long SettledPinnedKiB() {
    long now = PinnedKiB();
    for (int wait = 0; wait < 50; ++wait) {
        usleep(100000);
        const long then = now;
        now = PinnedKiB();
        if (now == then) break;
    }
    return now;
}

// A registered file held by the port would still hold the file's lock.
void CloseAndDelete(HANDLE port, HANDLE file, const std::wstring& name) {
    EXPECT_TRUE(Platform.CloseHandle(port));
    EXPECT_TRUE(Platform.CloseHandle(file));
    EXPECT_TRUE(Platform.DeleteFileW(name.c_str())) << Platform.GetLastError();
}

}  // namespace

// Whether the kernel lets this process set up a ring, asked directly rather
// than through the backend under test.
bool KernelAllowsRings() {
    io_uring_params params{};
    const long fd = syscall(__NR_io_uring_setup, 1, &params);
    if (fd < 0) return false;
    close(static_cast<int>(fd));
    return true;
}

// The denied run says which engine it expects; otherwise io_uring wherever
// the kernel allows it.
TEST(IoEngine, IsTheOneThisRunExpects) {
    const std::string name = Utf8FromWide(IoBackendName());
    const char* expected = std::getenv("CORVASTA_EXPECT_IO");
    EXPECT_EQ(name, expected != nullptr ? expected : KernelAllowsRings() ? "io_uring" : "libaio");
    EXPECT_EQ(Utf8FromWide(IoBackendName()), name) << "chosen once per process";
}

// Buffers allocated before the port are registered with io_uring; each
// request must still land in its own buffer, and a buffer freed and
// allocated again (often at the same address) must not be taken for the
// pages the port registered before.
TEST(IoEngine, RegisteredBuffersCarryTheirOwnBlocks) {
    const std::wstring name = L"io_engine.tmp";
    ASSERT_TRUE(MakeFile(name, 'a'));
    void* buffers[Blocks];
    for (void*& buffer : buffers) ASSERT_NE(buffer = NewBlock(), nullptr);
    HANDLE file = OpenOverlapped(name);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE port = Platform.CreateIoCompletionPort(file, nullptr, 0, 1);
    ASSERT_NE(port, nullptr);
    ExpectRegistered(buffers);

    for (int b = 0; b < Blocks; ++b) {
        auto* into = static_cast<unsigned char*>(buffers[Blocks - 1 - b]);
        ASSERT_EQ(Move(file, port, into, b, false), Block);
        EXPECT_EQ(into[0], 'a' + b);
        EXPECT_EQ(into[Block - 1], 'a' + b);
    }

    Platform.VirtualFree(buffers[0], 0, MEM_RELEASE);
    auto* again = static_cast<unsigned char*>(buffers[0] = NewBlock());
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(Move(file, port, again, 2, false), Block);
    EXPECT_EQ(again[0], 'c');

    std::memset(buffers[1], 'z', Block);
    ASSERT_EQ(Move(file, port, buffers[1], 0, true), Block);
    ASSERT_EQ(Move(file, port, buffers[2], 0, false), Block);
    EXPECT_EQ(static_cast<unsigned char*>(buffers[2])[Block / 2], 'z');

    CloseAndDelete(port, file, name);
    for (void* buffer : buffers) Platform.VirtualFree(buffer, 0, MEM_RELEASE);
}

// Each file bound to a port has a registered place of its own, and a file
// closed while the port lives on gives its place (and its lock) back.
TEST(IoEngine, FilesSharingAPortKeepTheirOwnPlaces) {
    const std::wstring first = L"io_engine_first.tmp";
    const std::wstring second = L"io_engine_second.tmp";
    ASSERT_TRUE(MakeFile(first, 'a'));
    ASSERT_TRUE(MakeFile(second, 'k'));
    auto* buffer = static_cast<unsigned char*>(NewBlock());
    ASSERT_NE(buffer, nullptr);
    HANDLE one = OpenOverlapped(first);
    HANDLE two = OpenOverlapped(second);
    ASSERT_NE(one, INVALID_HANDLE_VALUE);
    ASSERT_NE(two, INVALID_HANDLE_VALUE);
    HANDLE port = Platform.CreateIoCompletionPort(one, nullptr, 1, 1);
    ASSERT_NE(port, nullptr);
    ASSERT_EQ(Platform.CreateIoCompletionPort(two, port, 2, 1), port);

    ASSERT_EQ(Move(one, port, buffer, 1, false), Block);
    EXPECT_EQ(buffer[0], 'b');
    ASSERT_EQ(Move(two, port, buffer, 1, false), Block);
    EXPECT_EQ(buffer[0], 'l');

    EXPECT_TRUE(Platform.CloseHandle(one));
    EXPECT_TRUE(Platform.DeleteFileW(first.c_str())) << Platform.GetLastError();
    ASSERT_EQ(Move(two, port, buffer, 3, false), Block);
    EXPECT_EQ(buffer[0], 'n');

    CloseAndDelete(port, two, second);
    Platform.VirtualFree(buffer, 0, MEM_RELEASE);
}

// A request the kernel refuses (a read through a handle opened for writing)
// still comes back through the port, once, with its failure; the port goes on.
TEST(IoEngine, ARefusedRequestComesBackThroughThePort) {
    const std::wstring name = L"io_engine_refused.tmp";
    ASSERT_TRUE(MakeFile(name, 'a'));
    auto* buffer = static_cast<unsigned char*>(NewBlock());
    ASSERT_NE(buffer, nullptr);
    HANDLE file = Platform.CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE port = Platform.CreateIoCompletionPort(file, nullptr, 0, 1);
    ASSERT_NE(port, nullptr);

    OVERLAPPED record{};
    ASSERT_FALSE(Platform.ReadFile(file, buffer, Block, nullptr, &record));
    ASSERT_EQ(Platform.GetLastError(), ERROR_IO_PENDING);
    DWORD bytes = 1;
    ULONG_PTR key = 0;
    OVERLAPPED* taken = nullptr;
    EXPECT_FALSE(Platform.GetQueuedCompletionStatus(port, &bytes, &key, &taken, 5000));
    EXPECT_EQ(taken, &record);
    EXPECT_EQ(Platform.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(bytes, 0u);
    // Taken with others, the wait succeeds and the record keeps the failure.
    ASSERT_FALSE(Platform.ReadFile(file, buffer, Block, nullptr, &record));
    OVERLAPPED_ENTRY entry{};
    ULONG removed = 0;
    ASSERT_TRUE(Platform.GetQueuedCompletionStatusEx(port, &entry, 1, &removed, 5000, FALSE));
    ASSERT_EQ(removed, 1u);
    EXPECT_EQ(entry.lpOverlapped, &record);
    EXPECT_FALSE(Platform.GetOverlappedResult(file, &record, &bytes, FALSE));
    EXPECT_EQ(Platform.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Move(file, port, buffer, 0, true), Block);

    CloseAndDelete(port, file, name);
    Platform.VirtualFree(buffer, 0, MEM_RELEASE);
}

// Sixty-four small requests in flight at once, each into a small buffer the
// port registered, each mapped back to its own record whatever order the
// kernel finishes them in.
TEST(IoEngine, SixtyFourSmallRequestsInFlightLandInTheirOwnBuffers) {
    constexpr int Depth = 64;
    constexpr DWORD Small = 4096;
    const std::wstring name = L"io_engine_small.tmp";
    ASSERT_TRUE(MakeFile(name, 'a'));
    void* buffers[Depth];
    for (void*& buffer : buffers) ASSERT_NE(buffer = NewBlock(Small), nullptr);
    HANDLE file = OpenOverlapped(name);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE port = Platform.CreateIoCompletionPort(file, nullptr, 0, 1);
    ASSERT_NE(port, nullptr);
    ExpectRegistered(buffers);
    // Request r reads the small piece at the start of block r % Blocks.
    OVERLAPPED records[Depth] = {};
    for (int r = 0; r < Depth; ++r) {
        records[r].Offset = static_cast<DWORD>(r % Blocks) * Block + static_cast<DWORD>(r / Blocks) * Small;
        ASSERT_FALSE(Platform.ReadFile(file, buffers[r], Small, nullptr, &records[r]));
        ASSERT_EQ(Platform.GetLastError(), ERROR_IO_PENDING);
    }
    // Deep queues reach the kernel as they fill, not only when the port is waited on.
    if (std::wstring(IoBackendName()) == L"io_uring") {
        EXPECT_NE(RingInfo().find("SqHead:\t" + std::to_string(Depth) + "\n"), std::string::npos);
    }
    // Given the time to finish, they come back in far fewer waits than requests.
    usleep(200'000);
    bool seen[Depth] = {};
    int waits = 0;
    for (ULONG taken = 0; taken < Depth; ++waits) {
        OVERLAPPED_ENTRY entries[Depth];
        ULONG removed = 0;
        ASSERT_TRUE(
            Platform.GetQueuedCompletionStatusEx(port, entries, Depth, &removed, 5000, FALSE));
        for (ULONG i = 0; i < removed; ++i) {
            const auto r = entries[i].lpOverlapped - records;
            ASSERT_TRUE(r >= 0 && r < Depth && !seen[r]);
            seen[r] = true;
            EXPECT_EQ(entries[i].dwNumberOfBytesTransferred, Small);
            EXPECT_EQ(records[r].Internal, 0u);
            EXPECT_EQ(static_cast<unsigned char*>(buffers[r])[Small - 1], 'a' + r % Blocks);
        }
        taken += removed;
    }
    EXPECT_LT(waits, Depth / 2);
    CloseAndDelete(port, file, name);
    for (void* buffer : buffers) Platform.VirtualFree(buffer, 0, MEM_RELEASE);
}

// A closed port's ring goes, and the pages it pinned with it, also past the
// number of rings one thread can register. The ring goes away in the
// background, so the pinned memory is watched for a while.
TEST(IoEngine, ClosedPortsGiveBackWhatTheyPinned) {
    if (std::wstring(IoBackendName()) != L"io_uring") GTEST_SKIP() << "no ring";
    const std::wstring name = L"io_engine_pinned.tmp";
    ASSERT_TRUE(MakeFile(name, 'a'));
    const long before = SettledPinnedKiB();
    void* buffer = NewBlock();
    ASSERT_NE(buffer, nullptr);
    for (int round = 0; round < 20; ++round) {
        HANDLE file = OpenOverlapped(name);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        HANDLE port = Platform.CreateIoCompletionPort(file, nullptr, 0, 1);
        ASSERT_NE(port, nullptr);
        ASSERT_GT(PinnedKiB(), before) << "the buffer was not registered";
        ASSERT_EQ(Move(file, port, buffer, round % Blocks, false), Block);
        EXPECT_TRUE(Platform.CloseHandle(port));
        EXPECT_TRUE(Platform.CloseHandle(file));
    }
    EXPECT_EQ(SettledPinnedKiB(), before);
    Platform.VirtualFree(buffer, 0, MEM_RELEASE);
    EXPECT_TRUE(Platform.DeleteFileW(name.c_str()));
}

#endif
