// One timed pass over the test file: requests of one shape kept in flight
// through a completion port for a five-second window.
#pragma once

#include "engine/latency_histogram.h"
#include "engine/pass_shape.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

struct ObjectIdentity;
struct CrewSeat;

// What a counted pass moved and how long each of its requests took, from
// handing it to the system to taking its completion. The caller provides it
// so the pass allocates nothing for it; the pass clears it.
struct PassTally {
    int64_t bytes = 0;
    int64_t requests = 0;
    int64_t frequency = 0;  // of the latency ticks, per second
    LatencyHistogram latency;
};

// What a watched pass shows its watch once before its first request and
// after each completion: the file it writes, the counter now, and how far it got.
struct PassProgress {
    HANDLE file;
    int64_t now;
    int64_t frequency;
    int64_t bytes;        // completed
    int64_t issuedBytes;  // where the requests issued so far end
};

struct PassWatch {
    // False issues no more requests; the pass then ends with those in flight.
    bool (*onProgress)(void* context, const PassProgress& progress);
    void* context;
};

// message + " (Windows Error " + the last-error code of the call that has just failed + ")".
std::wstring WithWindowsError(const std::wstring& message);

// A write that found no room: the disk is full (112, 39), or a quota or a
// thin-provisioned volume has none left (1295). A pass that ends so says
// DiskFullMessage with the code instead of "I/O completion failed".
constexpr const wchar_t* DiskFullMessage = L"The disk is full";
bool IsDiskFullCode(DWORD code);
bool IsDiskFullText(const std::wstring& errorText);

// MB/s (1 MB = 1,000,000 bytes); 0.0 on failure (errorText set) or on a stop.
// elapsedMs, when given, receives the pass length on success only; so does
// tally, when given. blockCount is the file's size in MiB. With `expected`,
// the file opened must be that very object, not a link or another file
// swapped in under its name. The window's shape takes one completion per
// wait; any other takes all that are at hand, timed at one reading of the clock.
double RunShapedPass(const std::wstring& testFilePath, int64_t blockCount,
                     const PassShape& shape, int isWrite, const void* pattern,
                     std::wstring& errorText, double* elapsedMs, PassTally* tally,
                     const ObjectIdentity* expected = nullptr);

// One thread's share of a pass of several: the same pass, started with the
// crew's other threads and ended with them.
double RunCrewPass(const std::wstring& testFilePath, int64_t blockCount, const PassShape& shape,
                   int isWrite, const void* pattern, std::wstring& errorText, double* elapsedMs,
                   PassTally* tally, const ObjectIdentity* expected, const CrewSeat& seat);

// Every request of the file once, front to back, with no time window: it
// ends when the file is done, the watch says so, or on a stop. The speed is
// that of the whole pass; a stopped pass gives none.
double RunWatchedPass(const std::wstring& testFilePath, int64_t blockCount, const PassShape& shape,
                      int isWrite, const void* pattern, const PassWatch& watch,
                      std::wstring& errorText, double* elapsedMs,
                      const ObjectIdentity* expected = nullptr);

// The window's pass.
double RunTransferPass(const std::wstring& testFilePath, int64_t blockCount, int isWrite,
                       const void* pattern, std::wstring& errorText, double* elapsedMs,
                       const ObjectIdentity* expected = nullptr);
