// The comparison as one JSON document (docs/json.md, "The comparison").
#pragma once

#include "cli/compare_table.h"

#include <string>
#include <vector>

// problems: each bad input's text, as the error lines name it.
std::string ComparisonJson(const Comparison& comparison, const std::vector<std::string>& problems);
