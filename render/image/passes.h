// Render passes (AOVs): extra channels of the film, named as compositors
// expect them. What each holds, for the surface a camera ray reaches first (of
// those that give it a colour: a surface looked through is not reached):
//   depth   Z                      its distance along the ray, averaged over the
//                                  samples that hit; +infinity where none did
//   normal  N.x N.y N.z            its shading normal in world space, turned towards
//                                  the camera, averaged over all samples
//   albedo  albedo.R/G/B           its own colour before lighting, averaged over all samples
//   xray    xray.weight            how much of what lies behind shows through, 0 to 1,
//                                  averaged over all samples (0 for opaque surfaces)
//   id      id                     its part, numbered from 1 (0: nothing, or the studio's
//                                  floor), the one most of the pixel's samples reached,
//                                  the smaller id of a tie: an average of two ids would
//                                  name a third part
//   samples samples                how many samples the pixel took: where an adaptive
//                                  render spent its time
// Samples that reach nothing count as 0 in the averages over all samples.
#pragma once

#include "render/image/film.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace xr {

enum class Pass { depth, normal, albedo, xray, id, samples };

struct PassLayout {
    Pass pass;
    std::string_view name; // as listed after --aov
    ChannelPrecision precision;
    std::array<std::string_view, 3> channels; // the unused ones empty
};

// Every pass, in the order the film holds them.
extern const std::array<PassLayout, 6> pass_layouts;

// A comma-separated list of pass names, in any order and repeated or not: the
// passes it names, in the order above. Throws std::runtime_error naming an
// unknown pass and listing the known ones.
std::vector<Pass> parse_passes(const std::string& list);

// Adds the channels of each pass to the film, zeroed.
void add_passes(Film& film, const std::vector<Pass>& passes);

// The legend of the id pass, as the film's attribute "idManifest": a JSON
// object from each id to its part's name, {"1": "car/body", "2": ...}.
// `names` are the parts' names, in the order of their ids.
void add_id_manifest(Film& film, const std::vector<std::string>& names);

} // namespace xr
