#include "render/output/frame_sequence.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace xr {

namespace {

// A whole number from 1 up, nothing else.
bool parse_frame(const std::string& text, int& frame) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, frame);
    return !text.empty() && text[0] != '-' && error == std::errc() && stop == end;
}

} // namespace

FrameRange parse_frame_range(const std::string& text) {
    const size_t dash = text.find('-');
    FrameRange range;
    if (!parse_frame(text.substr(0, dash), range.first) ||
        !parse_frame(dash == std::string::npos ? text : text.substr(dash + 1), range.last))
        throw std::runtime_error("expected A-B or A, whole numbers");
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
}

std::string frame_path(const std::string& pattern, int frame) {
    const size_t run = pattern.find('#');
    const size_t length = std::min(pattern.find_first_not_of('#', run), pattern.size()) - run;
    std::string number = std::to_string(frame);
    if (number.size() < length)
        number.insert(0, length - number.size(), '0');
    return pattern.substr(0, run) + number + pattern.substr(run + length);
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
