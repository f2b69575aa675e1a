// The set a scene stands in unless it says otherwise: a checkered floor, a key
// point light and a soft area light sized to the subject, and a camera framing it.
#pragma once

#include "render/scene.h"
#include "render/setup/scene_description.h"

#include <optional>
#include <string>

namespace xr {

// The lights a scene without lights of its own gets, named "key" and "soft".
std::vector<LightDescription> studio_lights(const Bounds& subject);

// The scene's lights: its own, or else the studio's, sized to the subject.
std::vector<LightDescription> scene_lights(const SceneDescription& scene, const Bounds& subject);

// Their names, which need no subject.
std::vector<std::string> light_names(const SceneDescription& scene);

// A checkered floor under the subject, wide enough to reach the horizon.
void add_floor(Scene& scene, const Bounds& subject);

// Why framing cannot fit the (not empty) subject into a view, if it cannot:
// it is smaller than the renderer resolves, or too small for its distance
// from the origin, as floats are spaced there.
std::optional<std::string> framing_fault(const Bounds& subject);

// A camera at `from` (a direction) that fits the subject's bounding sphere into
// its view, of an image `aspect` (width / height): into its height, or its
// width when that is the narrower.
Camera framing(const Bounds& subject, Vec3 from, float fov_y, float aspect);

} // namespace xr
