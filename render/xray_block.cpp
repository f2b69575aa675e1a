#include "render/xray_block.h"

#include <algorithm>
#include <cstring>

namespace xr {

XrayBlock::XrayBlock(const XraySettings& s, const std::vector<Tag>& lights,
                     const std::vector<Tag>& connections) {
    const ShaderDeclaration& d = xray_declaration();
    const size_t array_word = d.light_array_offset() / 4;
    // The array keeps its declared first entry even when empty.
    const size_t block_words = array_word + std::max<size_t>(lights.size(), 1);
    words_.assign(2 * block_words, 0);
    const size_t link_words = block_words;

    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        const size_t word = p.offset / 4;
        uint32_t* at = &words_[word];
        if (p.type == ParamType::color || p.type == ParamType::scalar) {
            std::memcpy(at, s.values[i].data(), p.size());
        } else if (p.type == ParamType::light_array) {
            std::copy(lights.begin(), lights.end(), at);
        } else {
            const int32_t v =
                derived_by_host(p) ? derived_value(p, lights.size()) : int32_t(s.values[i][0]);
            std::memcpy(at, &v, sizeof v);
        }
        if (i < connections.size())
            words_[link_words + word] = connections[i];
    }
}

int32_t XrayBlock::offset_of(const void* param) const {
    const auto base = reinterpret_cast<uintptr_t>(words_.data());
    const auto address = reinterpret_cast<uintptr_t>(param);
    if (address < base || address >= base + size_t(link_offset()))
        return -1;
    return int32_t(address - base);
}

} // namespace xr
