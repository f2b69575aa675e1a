// Standard output carries the program's report lines, unless an output names
// it (--out /dev/stdout): then it carries the data alone, and the lines go to
// standard error, so that a pipe or a log file receives the image unmixed.
#pragma once

namespace xr {

// Flushes what was printed, keeping the first error for
// check_standard_output: a later flush knows only that one failed.
void flush_standard_output();

// Throws std::runtime_error, with the system's reason, when anything printed
// failed to reach standard output.
void check_standard_output();

// The descriptor of the data: what standard output was when first claimed.
// Descriptor 1, and stdout with it, then lead to standard error, so that
// every line printed from then on goes there. Flushes first; claiming again
// answers the same descriptor. -1, with errno set, when it cannot be done.
int claim_standard_output();

} // namespace xr
