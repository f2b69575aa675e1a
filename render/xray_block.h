// The parameter block of an x-ray material as this host lays it out: the
// shader's parameters, the light array, then one connection tag per parameter
// word at `link_offset` beyond it.
#pragma once

#include <qorv_xraytexture.h>

#include <cstdint>
#include <vector>

namespace xr {

// How the host declares each parameter of the shader.
enum class ParamType { color, scalar, integer, light_array };

ParamType declared_type(uint32_t offset);

// What a scene asks of one x-ray material.
struct XraySettings {
    Color color = {0.25f, 0.55f, 1.0f, 1.0f};
    float power = 2.0f;
    bool skip_flagged = false;
    bool invert = false;
    float specular_weight = 1.0f;
    float specular_exponent = 40.0f;
    Color specular = {1.0f, 1.0f, 1.0f, 1.0f};
    int32_t mode = 0; // 1 inclusive, 2 exclusive, else the lights as given
    std::vector<Tag> lights;
};

class XrayBlock {
  public:
    explicit XrayBlock(const XraySettings& settings);

    XrayParams* params() { return reinterpret_cast<XrayParams*>(words_.data()); }
    const XrayParams* params() const { return reinterpret_cast<const XrayParams*>(words_.data()); }
    // Bytes of the block itself; connection tags lie this far beyond each parameter.
    int32_t link_offset() const { return int32_t(words_.size() / 2 * sizeof(uint32_t)); }

    // Connects a parameter of this block to the host shader `tag` (0 disconnects).
    void connect(const void* param, Tag tag);
    // The parameter's offset within the block, or -1 for an address outside it.
    int32_t offset_of(const void* param) const;
    Tag connection(int32_t offset) const { return words_[size_t(link_offset() + offset) / 4]; }

  private:
    std::vector<uint32_t> words_;
};

} // namespace xr
