#include "render/setup/text_mesh_check.h"

#include "render/util/byte_stream.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"
#include "render/util/whole_number.h"

#include <algorithm>
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

// A PLY type's size in binary, and its sign.
struct PlyType {
    uint64_t bytes = 0;
    bool is_signed = false;
};

struct PlyProperty {
    bool list = false;
    std::optional<PlyType> type; // a value's, or a list's length's; none for an unknown name
    std::optional<PlyType> item; // a list's values'
};

struct PlyElement {
    std::string name;
    uint64_t count = 0;
    std::vector<PlyProperty> properties;
};

struct PlyHeader {
    bool text = false;
    bool big_endian = false;
    uint64_t bytes = 0; // through the end of its "end_header" line
    std::vector<PlyElement> elements;
};

std::optional<PlyType> ply_type(const std::string& name) {
    static const std::pair<const char*, PlyType> types[] = {
        {"char", {1, true}},   {"uchar", {1, false}},  {"int8", {1, true}},
        {"uint8", {1, false}}, {"short", {2, true}},   {"ushort", {2, false}},
        {"int16", {2, true}},  {"uint16", {2, false}}, {"int", {4, true}},
        {"uint", {4, false}},  {"int32", {4, true}},   {"uint32", {4, false}},
        {"float", {4, true}},  {"float32", {4, true}}, {"double", {8, true}},
        {"float64", {8, true}}};
    for (const auto& [type, size] : types)
        if (name == type)
            return size;
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
        std::string keyword, a, b, c;
        words >> keyword >> a >> b >> c;
        if (keyword == "end_header")
            return known ? std::optional(header) : std::nullopt;
        if (keyword == "format") {
            header.text = a == "ascii";
            header.big_endian = a == "binary_big_endian";
            known = header.text || header.big_endian || a == "binary_little_endian";
        } else if (keyword == "element") {
            const auto count = whole_number<uint64_t>(b);
            if (!count)
                return std::nullopt;
            header.elements.push_back({a, *count, {}});
        } else if (keyword == "property" && !header.elements.empty()) {
            const bool list = a == "list";
            header.elements.back().properties.push_back(
                {list, ply_type(list ? b : a), list ? ply_type(c) : std::nullopt});
        }
    }
    throw std::runtime_error(path + " is cut short in its header: it has no 'end_header'");
}

// The refusal of a PLY whose data ends in the element `held` of `element`.
std::runtime_error cut_short_at(const PlyElement& element, uint64_t held, const std::string& path) {
    return std::runtime_error(path + " is cut short: it holds " + std::to_string(held) +
                              " of the " + std::to_string(element.count) + " '" +
                              printable(element.name) + "' elements its header gives");
}

// A binary PLY's bytes by their offset, read a block at a time.
class PlyData {
  public:
    PlyData(const RegularFile& file, bool big_endian)
        : file_(file), big_endian_(big_endian), block_(1 << 16) {}

    // The unsigned number in `bytes` (at most 8) at `offset`; none past the end.
    std::optional<uint64_t> number_at(uint64_t offset, uint64_t bytes) {
        if (offset < start_ || offset + bytes > start_ + size_) {
            start_ = offset;
            size_ = file_.read_at(offset, block_.data(), block_.size());
            if (bytes > size_)
                return std::nullopt;
        }
        const uint8_t* at = block_.data() + (offset - start_);
        uint64_t number = 0;
        for (uint64_t i = 0; i < bytes; ++i)
            number |= uint64_t(at[big_endian_ ? bytes - 1 - i : i]) << (8 * i);
        return number;
    }

  private:
    const RegularFile& file_;
    const bool big_endian_;
    std::vector<uint8_t> block_;
    uint64_t start_ = 0, size_ = 0;
};

// The importer reserves room for the elements and the list a binary PLY
// gives before it reads them, and fills those the file is too short to hold
// with zeros. Elements without lists are counted, not read; a type the
// importer is left to judge ends the check.
void check_ply_binary(const RegularFile& file, const PlyHeader& header, const std::string& path) {
    PlyData data(file, header.big_endian);
    const uint64_t end = file.size();
    uint64_t at = std::min<uint64_t>(header.bytes, end);
    for (const PlyElement& element : header.elements) {
        uint64_t least = 0; // bytes one element takes at least
        bool lists = false;
        for (const PlyProperty& property : element.properties) {
            if (!property.type || (property.list && !property.item))
                return;
            least += property.type->bytes;
            lists = lists || property.list;
        }
        if (least && element.count > (end - at) / least)
            throw std::runtime_error(path + " is cut short: the " + std::to_string(element.count) +
                                     " '" + printable(element.name) +
                                     "' elements its header gives take more than the " +
                                     std::to_string(end - at) + " bytes left");
        if (!lists) {
            at += element.count * least;
            continue;
        }
        for (uint64_t held = 0; held < element.count; ++held) {
            const auto cut_short = [&] { return cut_short_at(element, held, path); };
            for (const PlyProperty& property : element.properties) {
                const uint64_t bytes = property.type->bytes;
                if (!property.list) {
                    at += bytes;
                    continue;
                }
                const auto length = data.number_at(at, bytes);
                if (!length)
                    throw cut_short();
                if (property.type->is_signed && *length >> (8 * bytes - 1))
                    throw std::runtime_error(path + ": a list of '" + printable(element.name) +
                                             "' " + std::to_string(held) +
                                             " has a negative length");
                at += bytes;
                if (at > end || *length > (end - at) / property.item->bytes)
                    throw cut_short();
                at += *length * property.item->bytes;
            }
            if (at > end)
                throw cut_short();
        }
    }
}

void check_ply_text(ByteStream& in, const std::vector<PlyElement>& elements,
                    const std::string& path) {
    for (const PlyElement& element : elements)
        for (uint64_t held = 0; held < element.count; ++held) {
            const auto cut_short = [&] { return cut_short_at(element, held, path); };
            for (const PlyProperty& property : element.properties) {
                const std::string word = next_word(in);
                if (word.empty())
                    throw cut_short();
                if (!property.list)
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
    bool open = true; // the text began with "solid"
    for (std::string word = next_word(in); !word.empty(); word = next_word(in)) {
        word = lowercase(word);
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
