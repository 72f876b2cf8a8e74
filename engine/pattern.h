// The data every written block carries: the same bytes in every run.
#pragma once

#include <cstddef>

void FillPattern(void* buffer, size_t byteCount);
