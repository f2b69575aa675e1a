// The command line of xray-render: one parser for all it does. Rendering is
// the default and takes the options on the line itself; the sub-commands
// (`compare`, `serve`, `merge`, `encode`) are named first.
#pragma once

#include "render/cli/options.h"
#include "render/cli/render_options.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <utility>
#include <vector>

namespace xr {

struct Command {
    enum class Kind { render, compare, serve, merge, encode };

    Kind kind = Kind::render;
    RenderOptions render; // for `serve` too
    ServeOptions serve;
    CompareOptions compare;
    MergeOptions merge;
    EncodeOptions encode;
};

class CommandLine {
  public:
    CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // Throws CLI::ParseError for a line that cannot be read, and CLI::Success
    // after --help or --version, which `exit` then prints.
    const Command& parse(int argc, char** argv);
    // Prints what the error asks for (help, the version) and gives CLI11's status for it.
    int exit(const CLI::Error& e) { return app_.exit(e); }

    // The name of the sub-command the line asked for, for messages: "xray-render compare".
    std::string program() const;

  private:
    CLI::App app_;
    Command command_;
    std::unique_ptr<RenderOptionParser> render_; // declared once the parser's defaults are set
    CLI::App* compare_;
    CLI::App* serve_;
    CLI::App* merge_;
    CLI::App* encode_;
    // The sub-commands that take only their own options, with what each is.
    std::vector<std::pair<CLI::App*, Command::Kind>> own_options_;
};

} // namespace xr
