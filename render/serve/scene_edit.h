// A change a page makes to the scene: a JSON Patch (RFC 6902) in the scene
// file's own terms, limited to what look development changes: a parameter of
// an x-ray material (/assign/N/xray/NAME), the environment
// (/environment/background, /environment/floor), adaptive sampling
// (/settings/adaptive, /settings/noise) and the camera
// (/camera/eye, /camera/target, /camera/fov; removing /camera/frame and
// /camera/from to place a framed camera). Values are checked as the scene
// reader checks a scene file, so the page can set nothing that a file could
// not state.
#pragma once

#include "render/setup/scene_description.h"

#include <stdexcept>
#include <string>

namespace xr {

// A request that is not an edit this scene accepts, in one line saying why.
class EditError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The scene with the edit the request's body asks for made, all operations in
// order or none. Throws EditError.
SceneDescription edit_scene(const std::string& body, const SceneDescription& scene);

} // namespace xr
