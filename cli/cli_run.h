// The console's run: the worker benchmarks, the main thread takes its events
// and does all the printing.
#pragma once

#include "cli/cli_options.h"

// Benchmarks the current directory as options say; returns the exit code.
int RunFromConsole(const CliOptions& options);
