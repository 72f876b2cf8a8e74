// A pass of several threads: each runs the pass on its own handle, port and
// requests over one shared window; what they moved adds up.
#pragma once

#include "engine/transfer_pass.h"

// Thread i's seed of a random pass: the pass's own for the first thread,
// derived from it for the others, so one seed replays every thread.
uint64_t ThreadSeed(uint64_t passSeed, int thread);

// As RunShapedPass, with `threads` threads (1 to 64); one thread is
// RunShapedPass itself. The tally adds up the threads' and merges their
// latencies; errorText is the text of the thread that failed first.
double RunThreadedPass(const std::wstring& testFilePath, int64_t blockCount,
                       const PassShape& shape, int threads, int isWrite, const void* pattern,
                       std::wstring& errorText, double* elapsedMs, PassTally* tally,
                       const ObjectIdentity* expected = nullptr);
