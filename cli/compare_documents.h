// Console JSON documents (docs/json.md) read back for comparison: one run,
// several profiles, or a sustained write. Unknown fields are ignored and the
// newer ones are optional, so documents of every 1.x version compare.
#pragma once

#include "cli/compare_runs.h"

#include <string>

// The major version of the documents this program reads.
inline constexpr int ReadableMajorVersion = 1;

// One document's text; the run, or the error saying why there is none.
InputRuns RunFromDocument(const std::string& text);

// Every document of a file or stream, in order; a truncated or unreadable
// one is named by its place in it, and the others still count.
InputRuns RunsFromStream(const std::string& stream);
