#include "render/output/tile_merge.h"

#include "render/output/tile.h"
#include "render/util/text.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

namespace xr {

namespace {

// What a tile's file holds and says of itself, checked against each other.
TileInfo read_tile_info(const std::string& path, const Film& film) {
    const auto text = film.attributes.find(tile_attribute);
    if (text == film.attributes.end())
        throw std::runtime_error(path + ": not a tile (it has no " + tile_attribute +
                                 "); render tiles with --tile or --region");
    TileInfo tile;
    try {
        tile = parse_tile_text(text->second);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(path + ": " + e.what());
    }
    const PixelRegion& r = tile.window.region;
    if (r.empty() || !r.inside(tile.window.width, tile.window.height) ||
        film.width() != r.width() || film.height() != r.height() ||
        (film.window && !(film.window->region == r)))
        throw std::runtime_error(path + ": its pixels are not the window its " + tile_attribute +
                                 " names");
    return tile;
}

std::vector<std::pair<std::string, ChannelPrecision>> channel_layout(const Film& film) {
    std::vector<std::pair<std::string, ChannelPrecision>> layout;
    for (const FilmChannel& channel : film.channels)
        layout.emplace_back(channel.name, channel.precision);
    return layout;
}

// Rows of `values` of the tile's width into the frame's, at the tile's place.
template <class T>
void place(const std::vector<T>& tile, std::vector<T>& frame, const PixelRegion& r,
           int frame_width) {
    for (int y = r.y0; y < r.y1; ++y)
        std::copy_n(tile.begin() + std::ptrdiff_t(size_t(y - r.y0) * size_t(r.width())), r.width(),
                    frame.begin() + std::ptrdiff_t(size_t(y) * size_t(frame_width) + size_t(r.x0)));
}

// The first pixel, row by row, that none of the regions covers; none when
// they cover the frame.
std::optional<std::pair<int, int>> first_hole(const std::vector<PixelRegion>& regions, int width,
                                              int height) {
    for (int y = 0; y < height; ++y) {
        std::vector<std::pair<int, int>> spans;
        for (const PixelRegion& r : regions)
            if (r.y0 <= y && y < r.y1)
                spans.emplace_back(r.x0, r.x1);
        std::sort(spans.begin(), spans.end());
        int x = 0;
        for (const auto& [x0, x1] : spans) {
            if (x0 > x)
                break;
            x = std::max(x, x1);
        }
        if (x < width)
            return std::pair{x, y};
    }
    return std::nullopt;
}

} // namespace

ImageFile merge_tiles(const std::vector<std::string>& paths) {
    std::optional<ImageFile> frame;
    TileInfo first;
    std::vector<PixelRegion> placed;
    for (const std::string& path : paths) {
        const ImageFile tile = read_image(path, ImageChannels::all, ImageExtent::data);
        const TileInfo info = read_tile_info(path, tile.film);
        const PixelRegion& r = info.window.region;
        if (!frame) {
            first = info;
            check_image_fits(tile.format, info.window.width, info.window.height,
                             tile.film.channels.size());
            frame.emplace(ImageFile{tile.format, Film(info.window.width, info.window.height)});
            for (const FilmChannel& channel : tile.film.channels)
                frame->film.add_channel(channel.name, channel.precision);
            frame->film.attributes = tile.film.attributes;
            frame->film.attributes.erase(tile_attribute);
        }
        // Either of two tiles that disagree may be the stale one: both named.
        auto disagree = [&](const std::string& how) {
            return std::runtime_error(paths.front() + " and " + path + " disagree: " + how);
        };
        if (tile.format != frame->format)
            throw disagree(tile.format == ImageFormat::png ? "an OpenEXR and a PNG"
                                                           : "a PNG and an OpenEXR");
        if (info.window.width != first.window.width || info.window.height != first.window.height)
            throw disagree("tiles of a " + size_text(first.window.width, first.window.height) +
                           " frame and of a " + size_text(info.window.width, info.window.height) +
                           " one");
        if (info.render != first.render)
            throw disagree("rendered from other scenes, with other settings, for other "
                           "instruction sets or by other versions");
        if (channel_layout(tile.film) != channel_layout(frame->film))
            throw disagree("their channels differ");
        for (size_t k = 0; k < placed.size(); ++k)
            if (r.overlaps(placed[k]))
                throw std::runtime_error(path + ": overlaps " + paths[k]);
        Film& film = frame->film;
        place(tile.film.beauty.pixels, film.beauty.pixels, r, film.width());
        for (size_t c = 0; c < film.channels.size(); ++c)
            place(tile.film.channels[c].values, film.channels[c].values, r, film.width());
        placed.push_back(r);
    }
    if (!frame)
        throw std::runtime_error("no tiles to merge");
    if (const auto hole = first_hole(placed, first.window.width, first.window.height))
        throw std::runtime_error("the tiles leave pixels of the " +
                                 size_text(first.window.width, first.window.height) +
                                 " frame uncovered, the first at (" + std::to_string(hole->first) +
                                 ", " + std::to_string(hole->second) + ")");
    return std::move(*frame);
}

} // namespace xr
