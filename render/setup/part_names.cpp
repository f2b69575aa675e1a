#include "render/setup/part_names.h"

#include "render/util/text.h"

#include <stdexcept>

namespace xr {

std::string file_stem(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A hidden file's name after its dot: "engine" for ".engine.obj".
    const size_t start = name.find_first_not_of('.');
    if (start == std::string::npos)
        return name;
    return name.substr(start, name.find('.', start) - start);
}

std::string PartNames::name(const std::string& path) {
    const std::string name = prefix_.empty() ? path : prefix_ + "/" + path;
    if (name.size() > max_part_name)
        throw std::runtime_error(file_ + " has a part whose name is longer than " +
                                 std::to_string(max_part_name) + " bytes");
    const std::string text = utf8_text(name);
    const auto [at, added] = seen_.try_emplace(text, 1);
    if (added)
        return text;
    // The next number whose name no part has yet: the file may name one "path#2".
    int& seen = at->second; // kept through rehashing
    std::string unique;
    do
        unique = text + "#" + std::to_string(++seen);
    while (!seen_.try_emplace(unique, 1).second);
    return unique;
}

} // namespace xr
