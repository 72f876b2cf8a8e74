// What ends a run from outside: Ctrl+C, SIGTERM (orchestrators, timeout,
// systemd), SIGHUP (a closed terminal or ssh session), a broken standard
// output or error, and on Windows the console closing, a logoff or a
// shutdown. Each one is a stop: the worker removes everything the run created
// before the process goes, so nothing is left on the disk for good.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

// Causes of a stop, by their POSIX signal numbers on every system, so that a
// stopped console exits with 128 plus the cause, as a shell reports a signal.
constexpr int StopByHangUp = 1;
constexpr int StopByInterrupt = 2;
constexpr int StopByBrokenPipe = 13;
constexpr int StopByTerminate = 15;

// Windows waits this long for a console handler on close, logoff and shutdown
// (5 s by default), then ends the process; the wait keeps a margin.
constexpr int64_t ConsoleCloseWaitMs = 4500;

void InstallStopHandlers();
// The first cause wins; safe inside a signal handler.
void RequestStop(int cause);
// The run's objects are gone: a handler waiting for them may let the process end.
void MarkRunEnded();
// True when the run ended within the time given.
bool WaitForRunEnd(int64_t ms);

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD kind);
#endif
