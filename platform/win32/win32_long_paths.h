// The Win32 file calls with every long path in its extended ("\\?\") form.
#pragma once

#include "platform/platform.h"

// inner's table with the path-taking file calls wrapped; the wrappers call
// inner, which stays in use until the next call.
PlatformCalls WithLongPaths(const PlatformCalls& inner);
