#include "render/image/film.h"

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

} // namespace xr
