#include "render/image/passes.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <stdexcept>

namespace xr {

const std::array<PassLayout, 6> pass_layouts = {{
    {Pass::depth, "depth", ChannelPrecision::single, {"Z"}},
    {Pass::normal, "normal", ChannelPrecision::single, {"N.x", "N.y", "N.z"}},
    {Pass::albedo, "albedo", ChannelPrecision::half, {"albedo.R", "albedo.G", "albedo.B"}},
    {Pass::xray, "xray", ChannelPrecision::half, {"xray.weight"}},
    // Float, not half: half counts whole numbers exactly only up to 2048.
    {Pass::id, "id", ChannelPrecision::single, {"id"}},
    // Float too: a pixel may take up to 65536 samples.
    {Pass::samples, "samples", ChannelPrecision::single, {"samples"}},
}};

std::vector<Pass> parse_passes(const std::string& list) {
    std::vector<bool> wanted(pass_layouts.size(), false);
    for (size_t begin = 0, end = 0; end != std::string::npos; begin = end + 1) {
        end = list.find(',', begin);
        const std::string name = list.substr(begin, end == std::string::npos ? end : end - begin);
        if (name.empty())
            throw std::runtime_error("empty pass name in '" + list + "'");
        const auto layout = std::find_if(pass_layouts.begin(), pass_layouts.end(),
                                         [&](const PassLayout& p) { return p.name == name; });
        if (layout == pass_layouts.end()) {
            std::string known;
            for (const PassLayout& p : pass_layouts)
                known += (known.empty() ? "" : ", ") + std::string(p.name);
            throw std::runtime_error("unknown pass '" + name + "' (known: " + known + ")");
        }
        wanted[size_t(layout - pass_layouts.begin())] = true;
    }
    std::vector<Pass> passes;
    for (size_t i = 0; i < pass_layouts.size(); ++i)
        if (wanted[i])
            passes.push_back(pass_layouts[i].pass);
    return passes;
}

void add_passes(Film& film, const std::vector<Pass>& passes) {
    for (const PassLayout& layout : pass_layouts)
        if (std::find(passes.begin(), passes.end(), layout.pass) != passes.end())
            for (std::string_view channel : layout.channels)
                if (!channel.empty())
                    film.add_channel(std::string(channel), layout.precision);
}

void add_id_manifest(Film& film, const std::vector<std::string>& names) {
    nlohmann::ordered_json manifest = nlohmann::ordered_json::object();
    for (size_t i = 0; i < names.size(); ++i)
        manifest[std::to_string(i + 1)] = names[i];
    film.attributes["idManifest"] = manifest.dump();
}

} // namespace xr
