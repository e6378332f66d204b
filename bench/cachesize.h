#pragma once

#include <cstddef>

// Size of the processor's largest cache in bytes, as the kernel reports it; a conservative
// guess when it does not.
std::size_t largestCacheBytes();
