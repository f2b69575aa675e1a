// A change a page makes to the scene: a JSON Patch (RFC 6902) in the scene
// file's own terms, limited to what look development changes: a parameter of
// an x-ray material (/assign/N/xray/NAME), the environment
// (/environment/background, /environment/floor) and the camera
// (/camera/eye, /camera/target, /camera/fov; removing /camera/frame and
// /camera/from to place a framed camera). Values are checked as the scene
// reader checks a scene file, so the page can set nothing that a file could
// not state.
#pragma once

#include "render/scene_description.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace xr {

struct SceneEdit {
    struct Operation {
        std::string path;                            // a JSON pointer into the scene file
        std::optional<nlohmann::ordered_json> value; // none: remove, back to the default
    };
    std::vector<Operation> operations; // made in order, all or none
};

// A request that is not an edit this scene accepts, in one line saying why.
class EditError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a request's body and checks it against the scene; throws EditError.
SceneEdit parse_edit(const std::string& body, const SceneDescription& scene);

// The scene with the edit made. An edit parse_edit accepted for a scene with
// the same models, assignments and lights always applies.
SceneDescription apply_edit(const SceneDescription& scene, const SceneEdit& edit);

} // namespace xr
