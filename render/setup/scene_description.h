// A scene as its file states it: models and where they stand, which parts wear
// which material, lights, camera, environment and render settings. A plain
// record: reading and writing scene files, the command line and an editor all
// work on it, and build_scene turns it into something to render.
#pragma once

#include "render/camera.h"
#include "render/environment.h"
#include "render/light.h"
#include "render/render_settings.h"
#include "render/util/error.h"
#include "render/util/text.h"
#include "render/xray_settings.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace xr {

// The largest magnitude a coordinate may have: a position, a translation, a size,
// or a model's vertex once placed. Ray-triangle tests multiply a distance by a
// squared edge length; within this bound, even for the studio floor (sixty
// times the scene's radius), that product stays below 1e35, finite in float.
constexpr float max_coordinate = 1e9f;
// A camera may stand farther off: framing a scene at that bound through the
// narrowest view puts the eye about 115 times its radius away. The rays'
// distances then stay below 1e13, and the products with squared edges below 1e35.
constexpr float max_camera_coordinate = 1000.0f * max_coordinate;
// The most frames a turntable may have.
constexpr int max_turntable_frames = 1000000;
// The vertical fields of view a camera may have, in degrees.
constexpr float min_fov = 1.0f, max_fov = 170.0f;

// Applied to a model as scale, then rotation about x, y and z in turn, then translation.
struct Transform {
    Vec3 translate;
    Vec3 rotate; // degrees
    float scale = 1.0f;
};

// A primitive a scene may name instead of a mesh file, centred on the origin.
struct Shape {
    enum class Kind { sphere, box, torus };

    Kind kind = Kind::sphere;
    float radius = 1.0f;         // sphere; the torus's ring
    float thickness = 0.25f;     // the torus's tube radius
    Vec3 size{1.0f, 1.0f, 1.0f}; // box
};

// How the curved surfaces of a STEP model become triangles: no triangle lies
// further than `linear` from the surface, and the normals turn by at most
// `angular` across one.
struct Tessellation {
    // A length in the model's units before its scale (STEP files are read in
    // metres); none for relative_linear_deflection of each shape's bounding
    // diagonal, so that a large housing and a small pin look as smooth.
    std::optional<float> linear;
    float angular = 20.0f; // degrees, within [min_angular_deflection, max_angular_deflection]
};
// The linear deflection without a tessellation's own, as a share of the
// diagonal of each shape's bounds.
constexpr double relative_linear_deflection = 1e-3;
// The lengths a scene may give, as messages write them: "(0, 1e+09]".
inline std::string length_range() {
    return "(0, " + number_text(max_coordinate) + "]";
}
// A linear deflection given in double as a Tessellation holds it: none unless
// within (0, max_coordinate], compared before it is a float; one too small for
// a float kept as the smallest, which the mesher raises to its finest anyway.
inline std::optional<float> linear_deflection(double length) {
    if (!(length > 0.0 && length <= double(max_coordinate)))
        return std::nullopt;
    return std::max(float(length), std::numeric_limits<float>::denorm_min());
}
// The finest angle a tessellation may ask for: triangles grow as the inverse
// square of the angle, and a half-degree made a 88 KB file's screw 233,000
// triangles and 1.2 GB; at one degree it is 62,000 and 0.3 GB.
constexpr float min_angular_deflection = 1.0f;
constexpr float max_angular_deflection = 90.0f;

struct ModelDescription {
    std::string name;           // prefix of its parts' names, "name/..."; may be empty for files
    std::string file;           // a mesh file; relative paths are to the scene file's folder
    std::optional<Shape> shape; // instead of a file
    Transform transform;
    Tessellation tessellation; // of a STEP file
    // Where it was stated, for messages: "/models/2" in a file; none on the
    // command line.
    Place where;
};

// Sets, on the parts whose name matches `parts`, what it states; later
// assignments win over earlier ones.
struct Assignment {
    enum class Look { unchanged, matte, xray };

    std::string parts; // a glob: * and ? and [...] as in the shell, * crossing '/'
    Look look = Look::unchanged;
    // Matte: the part's own colour unless a colour or a procedural is given.
    std::optional<Vec3> matte_color;
    std::optional<Texture> matte_texture;
    XraySettings xray;
    std::optional<bool> flagged;
    Place where; // where it was stated, for messages: "/assign/2" in a file, or "--xray"
};

struct LightDescription {
    std::string name;
    Light::Kind kind = Light::Kind::point;
    Vec3 position;                     // a point light's place, a rectangle's centre
    Vec3 target;                       // where a rectangle faces
    float width = 1.0f, height = 1.0f; // a rectangle's sides
    Vec3 color{1.0f, 1.0f, 1.0f};
    // Scales the colour: a point's intensity (a steradian's worth), a rectangle's radiance.
    float intensity = 1.0f;
    int samples = 1;
};

struct CameraDescription {
    // Either framing: the parts matching `frame` fill the view seen from direction `from`...
    std::string frame = "*";
    Vec3 from{0.0f, 0.45f, 1.0f};
    // ...or an explicit eye and target.
    std::optional<Vec3> eye, target;
    float fov = default_fov; // vertical, degrees
    // Frames of a turntable, in which the camera orbits the target once; 0 for a still.
    int turntable = 0;
};

struct EnvironmentDescription {
    Background background;
    bool floor = true; // the studio's checkered floor under the models
};

struct SceneDescription {
    std::vector<ModelDescription> models;
    std::vector<Assignment> assign;
    // The scene's own lights, none when the list is empty; the studio's key
    // and soft lights, sized to the models, when there is no list.
    std::optional<std::vector<LightDescription>> lights;
    CameraDescription camera;
    EnvironmentDescription environment;
    RenderSettings settings; // all but the threads, which are the machine's business
    // The folder that relative model files are found in.
    std::string base_dir;
    // Where the description came from, for messages; empty for the command line.
    std::string source;
};

} // namespace xr
