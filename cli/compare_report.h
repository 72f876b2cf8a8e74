// The HTML reports the window and the console leave, read back for
// comparison: the details, the pass rows and the RESULT rows of a benchmark,
// or the details and plateaus of a sustained write.
#pragma once

#include "cli/compare_runs.h"

#include <string>

// True when the text is HTML at all, whoever wrote it.
bool LooksLikeHtml(const std::string& text);
// The run, or the error saying why there is none.
InputRuns RunFromReport(const std::string& html);
