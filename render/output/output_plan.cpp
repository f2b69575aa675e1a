#include "render/output/output_plan.h"

#include "render/image/film.h"
#include "render/image/png_image.h"
#include "render/output/output_file.h"
#include "render/output/tile.h"

#include <optional>
#include <stdexcept>

namespace xr {

namespace {

// The tile text a file records; empty for a whole frame's.
std::string recorded_tile(const ImageLayout& layout) {
    const auto text = layout.attributes.find(tile_attribute);
    return text == layout.attributes.end() ? std::string() : text->second;
}

} // namespace

OutputPlan plan_output(const OutputRequest& request, int turntable) {
    OutputPlan plan;
    plan.format = format_for(request.out);
    plan.out = request.out;
    plan.turntable = turntable;
    plan.passes = request.passes;
    plan.video = video_format_for(request.out);
    if (plan.video)
        plan.video_settings = request.video;
    if (!plan.sequence()) {
        if (request.frames)
            throw std::runtime_error("--frames: there is no sequence of frames to choose from "
                                     "(--turntable N)");
        if (request.out.find('#') != std::string::npos)
            throw std::runtime_error("--out " + request.out +
                                     ": hashes stand for the frame number of a sequence, and "
                                     "this is a still (--turntable N)");
        return plan;
    }
    try {
        if (!plan.video)
            check_frame_pattern(request.out);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("--out " + request.out + ": " + e.what());
    }
    plan.range = request.frames.value_or(FrameRange{1, turntable});
    if (plan.range.last > turntable)
        throw std::runtime_error("--frames " + std::to_string(plan.range.first) + "-" +
                                 std::to_string(plan.range.last) +
                                 ": the turntable's frames are 1 to " + std::to_string(turntable));
    return plan;
}

void check_image_name(const std::string& path, ImageFormat format, const std::string& subject) {
    bool video = true; // a container this program does not write is no image either
    try {
        video = video_format_for(path) != nullptr;
    } catch (const std::runtime_error&) {
    }
    if (!video && format_for(path) == format)
        return;
    const bool png = format == ImageFormat::png;
    throw std::runtime_error(path + ": " + subject + " is " + (png ? "a PNG" : "an OpenEXR") +
                             " image: name it NAME" + (png ? ".png" : ".exr"));
}

void check_frame_fits(const OutputPlan& plan, const RenderSettings& s) {
    Film pixel(1, 1);
    add_passes(pixel, plan.passes);
    // A tile's film, and its file, hold its window alone.
    const PixelRegion held = s.region.value_or(PixelRegion{0, 0, s.width, s.height});
    check_image_fits(plan.format, held.width(), held.height(), pixel.channels.size());
    // merge writes the tiles' own format: PNG tiles of a frame no PNG can
    // hold would all be rendered for nothing.
    if (plan.format == ImageFormat::png)
        check_png_size(s.width, s.height);
}

std::vector<int> frames_to_render(const OutputPlan& plan, const RenderSettings& settings,
                                  bool skip_existing) {
    // A tile holds its window of the frame: an OpenEXR tile keeps the frame
    // as its display window, a PNG tile is the window alone.
    const PixelRegion held =
        settings.region.value_or(PixelRegion{0, 0, settings.width, settings.height});
    ImageLayout done;
    done.window =
        plan.format == ImageFormat::exr
            ? FrameWindow{settings.width, settings.height, held}
            : FrameWindow{held.width(), held.height(), {0, 0, held.width(), held.height()}};
    // The channels this render writes: a file without a pass asked for, or
    // with one not asked for, is not this render's frame.
    Film pixel(1, 1);
    add_passes(pixel, plan.passes);
    done.channels = file_channel_names(pixel.channels);
    std::vector<int> frames;
    for (int frame = plan.range.first; frame <= plan.range.last; ++frame) {
        const std::optional<ImageLayout> found =
            skip_existing ? whole_image_layout(plan.path(frame)) : std::nullopt;
        if (!found || !(found->window == done.window) || found->channels != done.channels ||
            recorded_tile(*found) != plan.tile)
            frames.push_back(frame);
    }
    return frames;
}

void check_frames_writable(const OutputPlan& plan, const std::vector<int>& frames) {
    if (frames.empty())
        return;
    check_writable(plan.path(frames.front()));
    if (frames.size() > 1)
        check_writable(plan.path(frames.back()));
    for (size_t i = 1; i + 1 < frames.size(); ++i)
        check_output_kind(plan.path(frames[i]));
}

} // namespace xr
