#include "render/cli/command_line.h"

#include "render/cli/compare_command.h"
#include "render/cli/serve_command.h"

namespace xr {

CommandLine::CommandLine()
    : app_("Renders models with the qorv_xraytexture shader to a PNG or OpenEXR image, or a "
           "turntable's frames: a scene file, a model in the studio, or the built-in scene. "
           "The sub-commands below do other work; xray-render compare --help and xray-render "
           "serve --help give their options.",
           "xray-render") {
    app_.get_formatter()->column_width(34);
    app_.set_version_flag("--version", "xray-render " XRAY_RENDER_VERSION);
    // As with most programs, an option given twice takes its last value.
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.require_subcommand(0, 1);
    render_ = std::make_unique<RenderOptionParser>(app_, command_.render);
    compare_ = add_compare_command(app_, command_.compare);
    serve_ = add_serve_command(app_, command_.serve);
    serve_->excludes(render_->list_parts());
}

const Command& CommandLine::parse(int argc, char** argv) {
    app_.parse(argc, argv);
    if (compare_->parsed()) {
        // The render's options mean nothing to a comparison.
        if (render_->given())
            throw CLI::ValidationError("compare takes only its own options");
        command_.kind = Command::Kind::compare;
        return command_;
    }
    render_->read();
    command_.kind = serve_->parsed() ? Command::Kind::serve : Command::Kind::render;
    return command_;
}

std::string CommandLine::program() const {
    return compare_->parsed() ? "xray-render compare" : "xray-render";
}

} // namespace xr
