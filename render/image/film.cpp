#include "render/image/film.h"

#include <algorithm>
#include <stdexcept>

namespace xr {

FilmChannel& Film::add_channel(const std::string& name, ChannelPrecision precision) {
    if (name.empty() || name == "R" || name == "G" || name == "B" || name == "A" || find(name))
        throw std::invalid_argument("cannot add a channel named '" + name + "' to the film");
    channels.push_back({name, precision, std::vector<float>(beauty.pixels.size(), 0.0f)});
    return channels.back();
}

const FilmChannel* Film::find(const std::string& name) const {
    for (const FilmChannel& channel : channels)
        if (channel.name == name)
            return &channel;
    return nullptr;
}

std::vector<std::string> file_channel_names(const std::vector<FilmChannel>& channels) {
    std::vector<std::string> names = {"R", "G", "B", "A"};
    for (const FilmChannel& channel : channels)
        names.push_back(channel.name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace xr
