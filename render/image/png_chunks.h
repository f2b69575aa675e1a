// The chunks a PNG file is made of after its signature: each its length, its
// four-letter type, its data and a CRC-32 of its type and data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xr {

// The four-byte number at `p`, most significant byte first, as PNG writes
// its lengths and sizes.
uint32_t png_u32(const uint8_t* p);

// The CRC-32 every chunk ends with, over its type and data.
uint32_t png_crc(const uint8_t* bytes, size_t size);

// A chunk of a PNG held in memory, pointing into it.
struct PngChunk {
    std::string type;
    const uint8_t* data;
    size_t size;
    uint32_t crc; // as the file gives it
};

// The chunks of a PNG, through its end chunk (IEND) when it has one. Throws
// std::runtime_error for a chunk that runs past the end of the file.
std::vector<PngChunk> png_chunks(const std::vector<uint8_t>& png);

} // namespace xr
