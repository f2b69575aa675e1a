// Ctrl-C, SIGTERM and a closed terminal (SIGHUP) while the output is being
// made: the hidden temporary file is removed, and the program ends as the
// signal would have ended it, so the shell reports the usual status (128 + the
// signal's number). A signal ignored when the program started stays ignored.
#pragma once

#include <csignal>

namespace xr {

// The signals that interrupt the program, as a set to block or wait for.
sigset_t interrupt_signals();

// Whether `signal` interrupts this run: one the program was started ignoring
// (under nohup, or as a script's background job for Ctrl-C) stays ignored,
// as the one who started it asked.
bool interrupts(int signal);

// Installs the handlers for the interrupt signals that interrupt.
void handle_interrupts();

// The file to remove when interrupted: its name in the folder open as
// `folder`, removed from there wherever the folder has been moved to; a null
// name for none. The name must outlive the registration.
void remove_on_interrupt(int folder, const char* name);

} // namespace xr
