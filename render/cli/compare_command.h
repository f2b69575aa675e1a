// xray-render compare A B: whether two images agree, as an image test.
#pragma once

namespace xr {

// Exit statuses, as diff and cmp have them.
enum : int {
    compare_pass = 0,  // the images agree within the limits
    compare_fail = 1,  // they differ beyond them, or in size
    compare_error = 2, // bad options, or an image that cannot be read or written
};

// argv[0] names the command ("compare"); the images and options follow. Prints
// a summary on the standard output, errors on one line of the standard error.
int compare_command(int argc, char** argv);

} // namespace xr
