#include "render/output/tile.h"

#include "render/util/regular_file.h"
#include "render/util/text.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace xr {

namespace {

// Whole numbers from 0 up, separated by `separator`, and nothing else.
std::vector<int> parse_numbers(const std::string& text, char separator) {
    std::vector<int> numbers;
    for (size_t start = 0;;) {
        const size_t end = std::min(text.find(separator, start), text.size());
        int n = 0;
        const auto [stop, error] = std::from_chars(text.data() + start, text.data() + end, n);
        if (start == end || error != std::errc() || stop != text.data() + end || n < 0)
            return {};
        numbers.push_back(n);
        if (end == text.size())
            return numbers;
        start = end + 1;
    }
}

} // namespace

const char* const tile_attribute = "xrayRenderTile";

PixelRegion parse_region(const std::string& text) {
    const std::vector<int> n = parse_numbers(text, ',');
    if (n.size() != 4)
        throw std::runtime_error("expected X0,Y0,X1,Y1, whole numbers of pixels");
    const PixelRegion region{n[0], n[1], n[2], n[3]};
    if (region.empty())
        throw std::runtime_error("an empty region: X1 must exceed X0, and Y1 exceed Y0 (the "
                                 "right and bottom ends are excluded)");
    return region;
}

TileBand parse_tile_band(const std::string& text) {
    const std::vector<int> n = parse_numbers(text, '/');
    if (n.size() != 2)
        throw std::runtime_error("expected I/N, whole numbers: band I of N");
    if (n[1] < 1)
        throw std::runtime_error("a frame splits into 1 band at least");
    if (n[0] < 1 || n[0] > n[1])
        throw std::runtime_error("the bands of " + std::to_string(n[1]) +
                                 " are numbered from 1 to " + std::to_string(n[1]));
    return {n[0], n[1]};
}

PixelRegion band_region(const TileBand& band, int width, int height) {
    if (band.count > height)
        throw std::runtime_error("a frame " + std::to_string(height) + " rows high splits into " +
                                 std::to_string(height) + " bands at most");
    auto row = [&](int k) { return int(int64_t(k) * height / band.count); };
    return {0, row(band.index - 1), width, row(band.index)};
}

void check_region(const PixelRegion& region, int width, int height) {
    if (!region.inside(width, height))
        throw std::runtime_error("reaches beyond the " + size_text(width, height) + " frame");
}

namespace {

// 64-bit FNV-1a: enough to tell apart the renders meant to be one frame.
constexpr uint64_t digest_start = 0xcbf29ce484222325u, digest_prime = 0x100000001b3u;

std::string digest_text(uint64_t hash) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

} // namespace

std::string render_digest(const std::string& text) {
    uint64_t hash = digest_start;
    for (unsigned char c : text)
        hash = (hash ^ c) * digest_prime;
    return digest_text(hash);
}

std::string contents_digest(const std::string& path) {
    try {
        const RegularFile file(path);
        uint64_t hash = digest_start;
        std::vector<uint8_t> block(size_t(1) << 20);
        for (size_t got; (got = file.read_into(block.data(), block.size())) > 0;) {
            // Eight bytes a step, as models run to gigabytes; a block is
            // short only at the end.
            size_t at = 0;
            for (uint64_t word; at + sizeof word <= got; at += sizeof word) {
                std::memcpy(&word, block.data() + at, sizeof word);
                hash = (hash ^ word) * digest_prime;
            }
            for (; at < got; ++at)
                hash = (hash ^ block[at]) * digest_prime;
        }
        return digest_text(hash);
    } catch (const std::exception&) {
        return "none";
    }
}

std::string tile_text(const TileInfo& tile) {
    const PixelRegion& r = tile.window.region;
    return nlohmann::ordered_json{{"frame", {tile.window.width, tile.window.height}},
                                  {"region", {r.x0, r.y0, r.x1, r.y1}},
                                  {"render", tile.render}}
        .dump();
}

TileInfo parse_tile_text(const std::string& text) {
    try {
        const nlohmann::json j = nlohmann::json::parse(text);
        const auto frame = j.at("frame").get<std::vector<int>>();
        const auto region = j.at("region").get<std::vector<int>>();
        if (frame.size() == 2 && region.size() == 4)
            return {{frame[0], frame[1], {region[0], region[1], region[2], region[3]}},
                    j.at("render").get<std::string>()};
    } catch (const nlohmann::json::exception&) {
    }
    throw std::runtime_error(std::string("its ") + tile_attribute + " is not a tile's");
}

} // namespace xr
