#include "render/cli/merge_command.h"

#include "render/cli/option_values.h"
#include "render/output/output_file.h"
#include "render/output/output_plan.h"
#include "render/output/tile_merge.h"
#include "render/output/video_format.h"
#include "render/util/text.h"

#include <cstdio>
#include <stdexcept>

namespace xr {

CLI::App* add_merge_command(CLI::App& app, MergeOptions& o) {
    CLI::App* command = app.add_subcommand(
        "merge", "Joins the tiles of one frame, rendered with --tile or --region, into the frame: "
                 "PNG tiles into a PNG, OpenEXR tiles into an OpenEXR with their passes.");
    command->positionals_at_end(); // the last argument is OUT, however many tiles come first
    command->add_option("TILE", o.tiles, "the tiles, together covering the frame once")
        ->required()
        ->check(a_file_name());
    command->add_option("OUT", o.out, "the frame to write")->required()->check(a_file_name());
    return command;
}

void merge_command(const MergeOptions& o) {
    // A frame that would replace a tile, or cannot be written, fails before
    // any tile is read.
    check_not_an_input(o.out, o.tiles);
    check_writable(o.out);
    if (video_format_for(o.out))
        throw std::runtime_error(o.out + ": merge writes an image, not a video");
    const ImageFile frame = merge_tiles(o.tiles);
    check_image_name(o.out, frame.format, "the frame of these tiles");
    // Its temporary file made only now, for a job killed while it reads to leave none.
    const std::vector<uint8_t> bytes = encode_image(frame.film, frame.format);
    OutputFile(o.out).commit(bytes);
    std::printf("%s: %s, from %s\n", printable(o.out).c_str(),
                size_text(frame.film.width(), frame.film.height()).c_str(),
                count_text(o.tiles.size(), "tile").c_str());
}

} // namespace xr
