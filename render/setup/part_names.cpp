#include "render/setup/part_names.h"

#include "render/util/text.h"

#include <stdexcept>

namespace xr {

std::string file_stem(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

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
