// Ctrl-C and SIGTERM while the output is being made: the hidden temporary file
// is removed, and the program ends as the signal would have ended it, so the
// shell reports the usual status (128 + the signal's number).
#pragma once

namespace xr {

// Installs the handlers for SIGINT and SIGTERM.
void handle_interrupts();

// The file to remove when interrupted; null for none. The text must outlive
// the registration.
void remove_on_interrupt(const char* path);

} // namespace xr
