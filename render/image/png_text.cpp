#include "render/image/png_text.h"

#include "render/image/png_chunks.h"

#include <stdexcept>

namespace xr {

namespace {

constexpr size_t signature_size = 8;
constexpr size_t max_keyword = 79;

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

void check_keyword(const std::string& keyword) {
    bool valid = !keyword.empty() && keyword.size() <= max_keyword && keyword.front() != ' ' &&
                 keyword.back() != ' ' && keyword.find("  ") == std::string::npos;
    for (char c : keyword)
        valid = valid && c >= ' ' && c <= '~';
    if (!valid)
        throw std::invalid_argument("'" + keyword + "' cannot be a PNG text keyword");
}

std::vector<uint8_t> itxt_chunk(const std::string& keyword, const std::string& text) {
    std::vector<uint8_t> data(keyword.begin(), keyword.end());
    // The keyword's end, no compression, then an empty language tag and
    // translated keyword, each ended by a zero.
    data.insert(data.end(), {0, 0, 0, 0, 0});
    data.insert(data.end(), text.begin(), text.end());
    std::vector<uint8_t> chunk;
    put_u32(chunk, uint32_t(data.size()));
    chunk.insert(chunk.end(), {'i', 'T', 'X', 't'});
    chunk.insert(chunk.end(), data.begin(), data.end());
    put_u32(chunk, png_crc(chunk.data() + 4, chunk.size() - 4));
    return chunk;
}

} // namespace

std::vector<uint8_t> add_png_text(std::vector<uint8_t> png,
                                  const std::map<std::string, std::string>& text) {
    // The header chunk comes first, and is 13 bytes long.
    const size_t after_header = signature_size + 4 + 4 + 13 + 4;
    if (png.size() < after_header)
        throw std::invalid_argument("not a PNG to add text to");
    std::vector<uint8_t> chunks;
    for (const auto& [keyword, value] : text) {
        check_keyword(keyword);
        const std::vector<uint8_t> chunk = itxt_chunk(keyword, value);
        chunks.insert(chunks.end(), chunk.begin(), chunk.end());
    }
    png.insert(png.begin() + std::ptrdiff_t(after_header), chunks.begin(), chunks.end());
    return png;
}

std::map<std::string, std::string> png_text(const std::vector<uint8_t>& png) {
    std::map<std::string, std::string> text;
    for (const PngChunk& chunk : png_chunks(png)) {
        if (chunk.type != "iTXt" && chunk.type != "tEXt")
            continue;
        const std::string data(chunk.data, chunk.data + chunk.size);
        const size_t end = data.find('\0');
        if (end == 0 || end > max_keyword || end == std::string::npos)
            continue;
        if (chunk.type == "tEXt") {
            text[data.substr(0, end)] = data.substr(end + 1);
            continue;
        }
        // Compressed text is not read; the language tag and translation are skipped.
        const size_t language_end = data.find('\0', end + 3);
        const size_t translated_end =
            language_end == std::string::npos ? language_end : data.find('\0', language_end + 1);
        if (end + 2 < data.size() && data[end + 1] == 0 && translated_end != std::string::npos)
            text[data.substr(0, end)] = data.substr(translated_end + 1);
    }
    return text;
}

} // namespace xr
