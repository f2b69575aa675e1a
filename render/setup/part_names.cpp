#include "render/setup/part_names.h"

#include "render/util/text.h"

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

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

void PartNames::add(const std::string& path) {
    const std::string name = prefix_.empty() ? path : prefix_ + "/" + path;
    if (name.size() > max_part_name)
        throw std::runtime_error(file_ + " has a part whose name is longer than " +
                                 std::to_string(max_part_name) + " bytes");
    paths_.push_back(utf8_text(name));
}

std::vector<std::string> PartNames::names() const {
    // The file's own names are known first, so that a later part's keeps it.
    const std::unordered_set<std::string> own(paths_.begin(), paths_.end());
    std::unordered_set<std::string> given;
    // The last number tried after each name.
    std::unordered_map<std::string, int> numbered;
    std::vector<std::string> names;
    for (const std::string& path : paths_) {
        if (given.insert(path).second) {
            names.push_back(path);
            continue;
        }
        int& seen = numbered.try_emplace(path, 1).first->second;
        std::string unique;
        do
            unique = path + "#" + std::to_string(++seen);
        while (own.count(unique) > 0 || !given.insert(unique).second);
        names.push_back(std::move(unique));
    }
    return names;
}

void name_parts(std::vector<Part>& parts, const PartNames& names) {
    const std::vector<std::string> given = names.names();
    for (size_t i = 0; i < parts.size(); ++i)
        parts[i].name = given[i];
}

} // namespace xr
