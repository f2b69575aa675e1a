// Materials: the host's own matte surface, or the x-ray shader from the library.
// A material's shader record points back at it, so a material stays where it
// was made: it can be neither copied nor moved.
#pragma once

#include "render/host_records.h"
#include "render/util/vec.h"
#include "render/xray_block.h"

#include <optional>

namespace xr {

// What a surface wears when nothing gives it a colour.
constexpr Vec3 default_grey{0.7f, 0.7f, 0.7f};

class Material {
  public:
    enum class Kind { matte, xray };

    // A matte surface of colour `albedo`, or of the host shader `texture` when not 0.
    explicit Material(Vec3 albedo, Tag texture = 0);
    explicit Material(XrayBlock block);
    Material(const Material&) = delete;
    Material& operator=(const Material&) = delete;

    Kind kind() const { return block_ ? Kind::xray : Kind::matte; }
    Vec3 albedo() const { return albedo_; }
    Tag albedo_texture() const { return albedo_texture_; }
    // The x-ray material's parameters; only for Kind::xray.
    const XrayBlock& block() const { return *block_; }
    const ShaderRecord* record() const { return shader_record(&record_); }

  private:
    Vec3 albedo_ = default_grey;
    Tag albedo_texture_ = 0;
    std::optional<XrayBlock> block_;
    HostShaderRecord record_{};
};

} // namespace xr
