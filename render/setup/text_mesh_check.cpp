#include "render/setup/text_mesh_check.h"

#include "render/util/byte_stream.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"
#include "render/util/whole_number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
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
    // In binary, the fewest bytes one can take; none when a property's type
    // is left to the importer to judge.
    std::optional<uint64_t> least_bytes = 0;
};

struct PlyHeader {
    bool text = false;
    uint64_t bytes = 0; // through the end of its "end_header" line
    std::vector<PlyElement> elements;
};

// The bytes a value of a PLY type takes in binary; none for another name.
std::optional<uint64_t> ply_type_bytes(const std::string& type) {
    static const std::pair<const char*, uint64_t> types[] = {
        {"char", 1},  {"uchar", 1},   {"int8", 1},   {"uint8", 1},  {"short", 2}, {"ushort", 2},
        {"int16", 2}, {"uint16", 2},  {"int", 4},    {"uint", 4},   {"int32", 4}, {"uint32", 4},
        {"float", 4}, {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto& [name, bytes] : types)
        if (type == name)
            return bytes;
    return std::nullopt;
}

// The elements a PLY says it holds, read through its header; none for
// another file, or a header the importer is left to judge. A header without
// its end is refused: the importer would wait for it for ever.
std::optional<PlyHeader> ply_header(ByteStream& in, const std::string& path) {
    const auto first = next_line(in);
    if (!first || (*first != "ply" && *first != "ply\r"))
        return std::nullopt;
    PlyHeader header;
    header.bytes = first->size() + 1;
    bool known = false;
    for (auto line = next_line(in); line; line = next_line(in)) {
        header.bytes += line->size() + 1;
        std::istringstream words(*line);
        std::string keyword, a, b;
        words >> keyword >> a >> b;
        if (keyword == "end_header")
            return known ? std::optional(header) : std::nullopt;
        if (keyword == "format") {
            header.text = a == "ascii";
            known = header.text || a.rfind("binary_", 0) == 0;
        } else if (keyword == "element") {
            const auto count = whole_number<uint64_t>(b);
            if (!count)
                return std::nullopt;
            header.elements.push_back({a, *count, {}});
        } else if (keyword == "property" && !header.elements.empty()) {
            PlyElement& element = header.elements.back();
            element.is_list.push_back(a == "list");
            // A list takes its length at least.
            const auto bytes = ply_type_bytes(a == "list" ? b : a);
            element.least_bytes = element.least_bytes && bytes
                                      ? std::optional(*element.least_bytes + *bytes)
                                      : std::nullopt;
        }
    }
    throw std::runtime_error(path + " is cut short in its header: it has no 'end_header'");
}

// The importer reserves room for the elements a binary PLY's header gives
// before it reads one, and fills those the file is too short to hold with
// zeros.
void check_ply_binary(const RegularFile& file, const PlyHeader& header, const std::string& path) {
    uint64_t left = file.size() - std::min<uint64_t>(header.bytes, file.size());
    for (const PlyElement& element : header.elements) {
        if (!element.least_bytes)
            return;
        const uint64_t each = *element.least_bytes;
        if (each && element.count > left / each)
            throw std::runtime_error(path + " is cut short: the " + std::to_string(element.count) +
                                     " '" + printable(element.name) +
                                     "' elements its header gives take more than the " +
                                     std::to_string(left) + " bytes left");
        left -= element.count * each;
    }
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

// Whether the file is the size of a binary STL of the count its header
// gives: the importer reads it as one, whatever its first word.
bool has_binary_stl_size(const RegularFile& file) {
    uint32_t count = 0;
    return file.size() >= 84 && file.read_at(80, reinterpret_cast<uint8_t*>(&count), 4) == 4 &&
           84 + 50 * uint64_t(count) == file.size();
}

// An OFF's counts of vertices and of faces, after its keyword ("OFF",
// "COFF", "nOFF" with its dimension first...): the importer reads a count's
// digits alone, "-1" as 0 and 4294967297 as 1, and reserves room for as many
// as a count gives before it reads one. Each takes two bytes at least.
void check_off_counts(ByteStream& in, const std::string& keyword, uint64_t size,
                      const std::string& path) {
    if (keyword.find('n') != std::string::npos)
        next_word(in);
    const char* const what[] = {"vertices", "faces"};
    uint64_t counts[2] = {};
    for (int i = 0; i < 2; ++i) {
        const std::string word = next_word(in);
        const bool negative = !word.empty() && word[0] == '-';
        if (word.size() == size_t(negative) ||
            word.find_first_not_of("0123456789", negative) != std::string::npos)
            return; // not a count: the importer judges it
        if (negative)
            throw std::runtime_error(path + ": '" + word + "' is not a count of " + what[i]);
        counts[i] = whole_number<uint64_t>(word).value_or(UINT64_MAX);
    }
    if (counts[0] > size / 2 || counts[1] > size / 2 || 2 * (counts[0] + counts[1]) > size + 1)
        throw std::runtime_error(path + " is cut short: its header counts " +
                                 std::to_string(counts[0]) + " vertices and " +
                                 std::to_string(counts[1]) + " faces, more than its " +
                                 std::to_string(size) + " bytes can hold");
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
        if (const auto header = ply_header(in, path)) {
            if (header->text)
                check_ply_text(in, header->elements, path);
            else
                check_ply_binary(file, *header, path);
            return;
        }
    }
    const RegularFile file = open_to_read(path);
    ByteStream in(file);
    const std::string keyword = next_word(in);
    if (keyword.size() >= 3 && keyword.size() <= 6 && keyword.substr(keyword.size() - 3) == "OFF") {
        check_off_counts(in, keyword, file.size(), path);
        return;
    }
    // The importer reads each "solid" up to its "endsolid", the last too.
    if (keyword == "solid" && !has_binary_stl_size(file) && facets_after_endsolid(in))
        throw std::runtime_error(path + " is cut short: its last solid has no 'endsolid'");
}

} // namespace xr
