#include "render/setup/text_mesh_check.h"

#include "render/util/byte_stream.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"
#include "render/util/whole_number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace xr {

namespace {

bool is_blank(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The next word of the text, or empty past the last.
std::string next_word(ByteStream& in) {
    int c = in.get();
    while (is_blank(c))
        c = in.get();
    std::string word;
    for (; c != -1 && !is_blank(c); c = in.get())
        word += char(c);
    return word;
}

// The next line, without its end; none past the last.
std::optional<std::string> next_line(ByteStream& in) {
    int c = in.get();
    if (c == -1)
        return std::nullopt;
    std::string line;
    for (; c != -1 && c != '\n'; c = in.get())
        line += char(c);
    return line;
}

// A list's length, which the importer also takes written as a whole decimal ("3.0").
std::optional<uint64_t> list_length(const std::string& word) {
    if (const auto whole = whole_number<uint64_t>(word))
        return whole;
    double value = 0.0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !(value >= 0.0) ||
        value > 0x1p53 || value != std::floor(value))
        return std::nullopt;
    return uint64_t(value);
}

struct PlyElement {
    std::string name;
    uint64_t count = 0;
    std::vector<bool> is_list; // by property
};

// The elements a PLY in text says it holds, read through its header; none
// for another file, or a header the importer is left to judge. A header
// without its end is refused: the importer would wait for it for ever.
std::optional<std::vector<PlyElement>> ply_text_elements(ByteStream& in, const std::string& path) {
    const auto first = next_line(in);
    if (!first || (*first != "ply" && *first != "ply\r"))
        return std::nullopt;
    std::vector<PlyElement> elements;
    bool text = false;
    for (auto line = next_line(in); line; line = next_line(in)) {
        std::istringstream words(*line);
        std::string keyword, a, b;
        words >> keyword >> a >> b;
        if (keyword == "end_header")
            return text ? std::optional(elements) : std::nullopt;
        if (keyword == "format") {
            text = a == "ascii";
        } else if (keyword == "element") {
            const auto count = whole_number<uint64_t>(b);
            if (!count)
                return std::nullopt;
            elements.push_back({a, *count, {}});
        } else if (keyword == "property" && !elements.empty()) {
            elements.back().is_list.push_back(a == "list");
        }
    }
    throw std::runtime_error(path + " is cut short in its header: it has no 'end_header'");
}

void check_ply_text(ByteStream& in, const std::vector<PlyElement>& elements,
                    const std::string& path) {
    for (const PlyElement& element : elements)
        for (uint64_t held = 0; held < element.count; ++held) {
            const auto cut_short = [&] {
                return std::runtime_error(path + " is cut short: it holds " + std::to_string(held) +
                                          " of the " + std::to_string(element.count) + " '" +
                                          printable(element.name) + "' elements its header gives");
            };
            for (const bool list : element.is_list) {
                const std::string word = next_word(in);
                if (word.empty())
                    throw cut_short();
                if (!list)
                    continue;
                const auto length = list_length(word);
                if (!length)
                    throw std::runtime_error(path + ": '" + printable(word) +
                                             "' is not the length of a list, in '" +
                                             printable(element.name) + "' " + std::to_string(held));
                for (uint64_t i = 0; i < *length; ++i)
                    if (next_word(in).empty())
                        throw cut_short();
            }
        }
}

// Whether the file is an STL in text as the importer tells one: "solid"
// first, and not the size of a binary one of the count its header gives.
bool is_stl_text(const RegularFile& file, ByteStream& in) {
    uint32_t count = 0;
    if (file.size() >= 84 && file.read_at(80, reinterpret_cast<uint8_t*>(&count), 4) == 4 &&
        84 + 50 * uint64_t(count) == file.size())
        return false;
    return next_word(in) == "solid";
}

// Whether a facet's words come after the last "endsolid" (in any case, and
// whatever follows it in its word, as a DOS end-of-file mark does): the
// importer reads words, wherever the lines break.
bool facets_after_endsolid(ByteStream& in) {
    static const char* const facet_words[] = {"facet",  "outer",   "loop",
                                              "vertex", "endloop", "endfacet"};
    const auto lower = [](std::string& word) {
        for (char& c : word)
            c = char(std::tolower(static_cast<unsigned char>(c)));
    };
    bool open = true; // the text began with "solid"
    for (std::string word = next_word(in); !word.empty(); word = next_word(in)) {
        lower(word);
        if (word.rfind("endsolid", 0) == 0)
            open = false;
        else if (std::find(std::begin(facet_words), std::end(facet_words), word) !=
                 std::end(facet_words))
            open = true;
    }
    return open;
}

} // namespace

void check_text_mesh_file(const std::string& path) {
    {
        const RegularFile file = open_to_read(path);
        ByteStream in(file);
        if (const auto elements = ply_text_elements(in, path)) {
            check_ply_text(in, *elements, path);
            return;
        }
    }
    const RegularFile file = open_to_read(path);
    ByteStream in(file);
    // The importer reads each "solid" up to its "endsolid", the last too.
    if (is_stl_text(file, in) && facets_after_endsolid(in))
        throw std::runtime_error(path + " is cut short: its last solid has no 'endsolid'");
}

} // namespace xr
