// Arbitrary bytes through the comparison's readers, as a file or a stream
// would bring them: prefixed lines of JSON documents and HTML reports. They
// never crash, and whatever runs they give compare and render.
#include "cli/compare_documents.h"
#include "cli/compare_html.h"
#include "cli/compare_report.h"
#include "cli/compare_stream.h"
#include "cli/compare_table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

void CompareAll(InputRuns runs) {
    Require(!runs.runs.empty() || !runs.errors.empty(), "an input that gave neither runs nor a reason");
    if (runs.runs.empty()) return;
    const Comparison comparison = CompareRuns(std::move(runs.runs), 0);
    ComparisonTableLines(comparison);
    ComparisonCsv(comparison);
    Require(ComparisonHtml(comparison).find("<script") == std::string::npos, "a script in the page");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const StreamDocument& document : SplitDocuments(text)) {
        Require(document.truncated || document.text.front() == '{', "a document that does not start with {");
    }
    CompareAll(RunsFromStream(text));
    CompareAll(RunFromReport(text));
    return 0;
}
