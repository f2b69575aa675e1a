#include "render/xray_block.h"

#include <cstring>

namespace xr {

ParamType declared_type(uint32_t offset) {
    if (offset < offsetof(XrayParams, power))
        return ParamType::color;
    if (offset >= offsetof(XrayParams, specular) && offset < offsetof(XrayParams, mode))
        return ParamType::color;
    if (offset >= offsetof(XrayParams, light))
        return ParamType::light_array;
    switch (offset) {
    case offsetof(XrayParams, power):
    case offsetof(XrayParams, specular_weight):
    case offsetof(XrayParams, specular_exponent):
        return ParamType::scalar;
    default:
        return ParamType::integer;
    }
}

XrayBlock::XrayBlock(const XraySettings& s) {
    const size_t lights = s.lights.empty() ? 1 : s.lights.size();
    const size_t block_words = offsetof(XrayParams, light) / 4 + lights;
    words_.assign(2 * block_words, 0);

    XrayParams* p = params();
    p->color = s.color;
    p->power = s.power;
    p->skip_flagged = s.skip_flagged;
    p->invert = s.invert;
    p->specular_weight = s.specular_weight;
    p->specular_exponent = s.specular_exponent;
    p->specular = s.specular;
    p->mode = s.mode;
    p->i_light = 0;
    p->n_light = int32_t(s.lights.size());
    // The array runs on past the declared first entry.
    if (!s.lights.empty())
        std::memcpy(&words_[offsetof(XrayParams, light) / 4], s.lights.data(),
                    s.lights.size() * sizeof(Tag));
}

int32_t XrayBlock::offset_of(const void* param) const {
    const auto base = reinterpret_cast<uintptr_t>(words_.data());
    const auto address = reinterpret_cast<uintptr_t>(param);
    if (address < base || address >= base + size_t(link_offset()))
        return -1;
    return int32_t(address - base);
}

void XrayBlock::connect(const void* param, Tag tag) {
    const int32_t offset = offset_of(param);
    if (offset >= 0)
        words_[size_t(link_offset() + offset) / 4] = tag;
}

} // namespace xr
