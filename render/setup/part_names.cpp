#include "render/setup/part_names.h"

#include "render/util/text.h"

#include <stdexcept>

namespace xr {

std::string PartNames::name(const std::string& path) {
    const std::string name = prefix_.empty() ? path : prefix_ + "/" + path;
    if (name.size() > max_part_name)
        throw std::runtime_error(file_ + " has a part whose name is longer than " +
                                 std::to_string(max_part_name) + " bytes");
    const std::string text = utf8_text(name);
    const int seen = ++seen_[text];
    return seen == 1 ? text : text + "#" + std::to_string(seen);
}

} // namespace xr
