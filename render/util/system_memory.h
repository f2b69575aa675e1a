// What the machine's memory allows, and what this process has used.
#pragma once

#include <cstddef>
#include <string>

namespace xr {

// Bytes the system can still give this process without swapping: the kernel's
// estimate of available memory, or less: what an address-space limit leaves
// beside what the process has already mapped.
size_t available_memory();

// Throws std::runtime_error when `bytes` are more than the memory available:
// "`what` needs N MiB, more than the memory available".
void check_memory(double bytes, const std::string& what);

// The most memory this process has held at once (its peak resident set).
size_t peak_memory();

} // namespace xr
