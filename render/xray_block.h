// The parameter block of an x-ray material as this host lays it out: each
// declared parameter at its declared offset, the light array, then one
// connection tag per block word at `link_offset` beyond it.
#pragma once

#include "render/xray_settings.h"

#include <qorv_xraytexture.h>

#include <cstdint>
#include <vector>

namespace xr {

class XrayBlock {
  public:
    // `lights` are the tags of settings.lights, `connections` the tag of the
    // procedural connected to each parameter (0 for none), in declaration order.
    XrayBlock(const XraySettings& settings, const std::vector<Tag>& lights,
              const std::vector<Tag>& connections);

    const XrayParams* params() const { return reinterpret_cast<const XrayParams*>(words_.data()); }
    // Bytes of the block itself; connection tags lie this far beyond each parameter.
    int32_t link_offset() const { return int32_t(words_.size() / 2 * sizeof(uint32_t)); }

    // The parameter's offset within the block, or -1 for an address outside it.
    int32_t offset_of(const void* param) const;
    Tag connection(int32_t offset) const { return words_[size_t(link_offset() + offset) / 4]; }

  private:
    std::vector<uint32_t> words_;
};

} // namespace xr
