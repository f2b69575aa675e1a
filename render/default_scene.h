// The scene `xray-render` draws when given no mesh.
#pragma once

#include "render/scene.h"

namespace xr {

// An x-ray shell, with `shell` as its material, around opaque parts and a
// second x-ray object; an x-ray torus whose colour comes from a texture; an
// inverted x-ray sphere lit through an exclusive light list.
Scene default_scene(const XraySettings& shell);

} // namespace xr
