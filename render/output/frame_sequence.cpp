#include "render/output/frame_sequence.h"

#include "render/util/whole_number.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace xr {

FrameRange parse_frame_range(const std::string& text) {
    const size_t dash = text.find('-');
    const std::optional<int> first = whole_number<int>(text.substr(0, dash)),
                             last = whole_number<int>(
                                 dash == std::string::npos ? text : text.substr(dash + 1));
    if (!first || !last)
        throw std::runtime_error("expected A-B or A, whole numbers");
    const FrameRange range{*first, *last};
    if (range.first < 1)
        throw std::runtime_error("frames are numbered from 1");
    if (range.first > range.last)
        throw std::runtime_error("the first frame comes after the last");
    return range;
}

void check_frame_pattern(const std::string& pattern) {
    const size_t run = pattern.find('#');
    if (run == std::string::npos)
        throw std::runtime_error("a sequence needs hashes for the frame number, as in "
                                 "name_####.png");
    if (pattern.find('#', pattern.find_first_not_of('#', run)) != std::string::npos)
        throw std::runtime_error("more than one run of hashes");
    // Frames are found by listing one folder.
    if (pattern.find('/', run) != std::string::npos)
        throw std::runtime_error("the hashes stand for the frame number in a file's name, not in "
                                 "its folder's");
}

std::string frame_path(const std::string& pattern, int frame) {
    const size_t run = pattern.find('#');
    const size_t length = std::min(pattern.find_first_not_of('#', run), pattern.size()) - run;
    std::string number = std::to_string(frame);
    if (number.size() < length)
        number.insert(0, length - number.size(), '0');
    return pattern.substr(0, run) + number + pattern.substr(run + length);
}

std::vector<int> frames_on_disk(const std::string& pattern) {
    check_frame_pattern(pattern);
    const size_t slash = pattern.find_last_of('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = slash == std::string::npos ? "." : pattern.substr(0, name_start);
    const std::string name = pattern.substr(name_start);
    const size_t run = name.find('#');
    const size_t after = std::min(name.find_first_not_of('#', run), name.size());
    const std::string prefix = name.substr(0, run), suffix = name.substr(after);
    std::vector<int> frames;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string file = entry->path().filename().string();
        if (file.size() <= prefix.size() + suffix.size() || file.rfind(prefix, 0) != 0 ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        // As the frame's own name, padded the pattern's way: no other spelling of its number.
        const std::optional<int> frame = whole_number<int>(
            file.substr(prefix.size(), file.size() - prefix.size() - suffix.size()));
        if (frame && *frame >= 1 && frame_path(name, *frame) == file)
            frames.push_back(*frame);
    }
    if (error)
        throw std::runtime_error("cannot list " + folder + ": " + error.message());
    std::sort(frames.begin(), frames.end());
    return frames;
}

std::string sequence_name(const std::string& pattern) {
    const char* const separators = "_-. ";
    std::string name = pattern;
    const size_t run = name.find('#');
    if (run == std::string::npos)
        return name;
    size_t from = run;
    while (from > 0 && std::strchr(separators, name[from - 1]))
        --from;
    name.erase(from, std::min(name.find_first_not_of('#', run), name.size()) - from);
    if (from == 0 || name[from - 1] == '/') {
        // The hashes began the file's name: so much as stays of it, or a name.
        const size_t kept = std::min(name.find_first_not_of("_- ", from), name.size());
        name.erase(from, kept - from);
        if (from == name.size() || name[from] == '.')
            name.insert(from, "sequence");
    }
    return name;
}

} // namespace xr
