// xray-render: a small ray-tracing host for the x-ray shader library.
#include "render/cli/command_line.h"
#include "render/cli/compare_command.h"
#include "render/cli/encode_command.h"
#include "render/cli/merge_command.h"
#include "render/cli/render_command.h"
#include "render/cli/serve_command.h"
#include "render/util/interrupt.h"
#include "render/util/standard_output.h"
#include "render/util/text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The program's exit statuses, chosen here alone.
enum : int {
    exit_success = 0,
    exit_failure = 1, // the render, server, merge or encoding failed; compare: the images differ
    exit_usage = 2,   // the command line cannot be read
    exit_compare_error = 2, // compare: an image cannot be read or written, as cmp and diff have it
};

int run(const xr::Command& command) {
    switch (command.kind) {
    case xr::Command::Kind::compare:
        return xr::compare(command.compare) ? exit_success : exit_failure;
    case xr::Command::Kind::serve:
        xr::serve_command(command.render, command.serve);
        return exit_success;
    case xr::Command::Kind::merge:
        xr::merge_command(command.merge);
        return exit_success;
    case xr::Command::Kind::encode:
        xr::encode_command(command.encode);
        return exit_success;
    case xr::Command::Kind::render:
        break;
    }
    xr::render_command(command.render);
    return exit_success;
}

// Standard streams the program was started without are opened on /dev/null
// before anything else opens a file, which would otherwise take the number:
// a video opened as descriptor 1 would get the program's lines. Opened the
// wrong way round, as coreutils do, so that a line meant for a closed
// standard output still fails.
bool open_missing_standard_streams() {
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lower ones are open, so the lowest free number is this one.
        if (open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) != fd)
            return false;
    }
    return true;
}

// One line on standard error, after what standard output holds, whatever
// bytes (a file name's) the message carries.
void report(const xr::CommandLine& command_line, const std::exception& e, const char* after = "") {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s%s\n", command_line.program().c_str(),
                 xr::printable(e.what()).c_str(), after);
}

} // namespace

int main(int argc, char** argv) {
    if (!open_missing_standard_streams()) {
        // Standard error may be open still, and then says why.
        std::fprintf(stderr, "xray-render: cannot hold a closed standard stream on /dev/null: %s\n",
                     std::strerror(errno));
        return exit_failure;
    }
    xr::CommandLine command_line;
    const xr::Command* command = nullptr;
    try {
        command = &command_line.parse(argc, argv);
    } catch (const CLI::Success& e) { // --help or --version
        const int status = command_line.exit(e);
        try {
            xr::check_standard_output(); // as after any command
            return status;
        } catch (const std::exception& failure) {
            report(command_line, failure);
            return exit_failure;
        }
    } catch (const CLI::ParseError& e) {
        report(command_line, e, " (see --help)");
        return exit_usage;
    }
    xr::handle_interrupts();
    try {
        const int status = run(*command);
        // A full disk or a closed file is a failure, not a success with lines missing.
        xr::check_standard_output();
        return status;
    } catch (const std::exception& e) {
        report(command_line, e);
        return command->kind == xr::Command::Kind::compare ? exit_compare_error : exit_failure;
    }
}
