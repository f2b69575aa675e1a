#include "render/cli/command_line.h"

#include "render/cli/compare_command.h"
#include "render/cli/encode_command.h"
#include "render/cli/merge_command.h"
#include "render/cli/serve_command.h"
#include "render/util/program_version.h"

namespace xr {

CommandLine::CommandLine()
    : app_("Renders models with the qorv_xraytexture shader to a PNG or OpenEXR image, or a "
           "turntable's frames or video: a scene file, a model in the studio, or the built-in "
           "scene. The sub-commands below do other work; xray-render compare --help, for one, "
           "gives a sub-command's options.",
           "xray-render") {
    app_.get_formatter()->column_width(34);
    app_.set_version_flag("--version", program_version);
    // As with most programs, an option given twice takes its last value.
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app_.require_subcommand(0, 1);
    render_ = std::make_unique<RenderOptionParser>(app_, command_.render);
    compare_ = add_compare_command(app_, command_.compare);
    serve_ = add_serve_command(app_, command_.serve);
    for (CLI::Option* option : render_->not_served())
        serve_->excludes(option);
    merge_ = add_merge_command(app_, command_.merge);
    encode_ = add_encode_command(app_, command_.encode);
    own_options_ = {{compare_, Command::Kind::compare},
                    {merge_, Command::Kind::merge},
                    {encode_, Command::Kind::encode}};
}

const Command& CommandLine::parse(int argc, char** argv) {
    app_.parse(argc, argv);
    for (const auto& [command, kind] : own_options_)
        if (command->parsed()) {
            // The render's options mean nothing to them.
            if (render_->given())
                throw CLI::ValidationError(command->get_name() + " takes only its own options");
            command_.kind = kind;
            return command_;
        }
    render_->read();
    command_.kind = serve_->parsed() ? Command::Kind::serve : Command::Kind::render;
    return command_;
}

std::string CommandLine::program() const {
    for (const auto& [command, kind] : own_options_)
        if (command->parsed())
            return "xray-render " + command->get_name();
    return "xray-render";
}

} // namespace xr
