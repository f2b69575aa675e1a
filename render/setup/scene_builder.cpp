#include "render/setup/scene_builder.h"

#include "render/camera.h"
#include "render/setup/part_bounds.h"
#include "render/setup/studio.h"
#include "render/util/text.h"

#include <fnmatch.h>

#include <cmath>

#include <map>
#include <unordered_map>

namespace xr {

namespace {

// What the assignments make of one part.
struct PartLook {
    int assignment = -1; // the last one that gave it a look; -1: its own matte colours
    bool flagged = false;
};

std::vector<PartLook> resolve_assignments(const SceneDescription& d,
                                          const std::vector<Part>& parts) {
    std::vector<PartLook> looks(parts.size());
    for (size_t a = 0; a < d.assign.size(); ++a) {
        const Assignment& assignment = d.assign[a];
        bool matched = false;
        for (size_t p = 0; p < parts.size(); ++p) {
            if (!glob_match(assignment.parts, parts[p].name))
                continue;
            matched = true;
            if (assignment.look != Assignment::Look::unchanged)
                looks[p].assignment = int(a);
            if (assignment.flagged)
                looks[p].flagged = *assignment.flagged;
        }
        if (!matched)
            throw Error(assignment.where / "parts",
                        "'" + printable(assignment.parts) + "' matches no part");
    }
    return looks;
}

Light make_light(const LightDescription& l) {
    const Vec3 power = l.color * l.intensity;
    if (l.kind == Light::Kind::point)
        return Light::point(l.position, power);
    // The rectangle emits towards its target: edge_u x edge_v points there.
    const Vec3 n = unit_direction(l.target - l.position);
    const Vec3 reference = std::fabs(n.y) > 0.99f ? Vec3{0.0f, 0.0f, 1.0f} : Vec3{0.0f, 1.0f, 0.0f};
    const Vec3 u = normalize(cross(reference, n)), v = cross(n, u);
    const Vec3 corner = l.position - u * (0.5f * l.width) - v * (0.5f * l.height);
    return Light::rect(corner, u * l.width, v * l.height, power, l.samples);
}

// Builds the materials the assignments ask for, each once.
class MaterialBook {
  public:
    MaterialBook(Scene& scene, const SceneDescription& d,
                 const std::unordered_map<std::string, Tag>& lights)
        : scene_(scene), d_(d), lights_(lights), by_assignment_(d.assign.size()) {}

    const Material& for_piece(const PartLook& look, const Piece& piece) {
        if (look.assignment < 0)
            return own_color(piece.color);
        const Assignment& a = d_.assign[size_t(look.assignment)];
        if (a.look == Assignment::Look::matte && !a.matte_color && !a.matte_texture)
            return own_color(piece.color);
        const Material*& made = by_assignment_[size_t(look.assignment)];
        if (!made)
            made = a.look == Assignment::Look::xray ? &xray(a.xray) : &matte(a);
        return *made;
    }

  private:
    const Material& own_color(Vec3 color) {
        const Material*& made = by_color_[{color.x, color.y, color.z}];
        if (!made)
            made = &scene_.add_material(color);
        return *made;
    }

    const Material& matte(const Assignment& a) {
        if (a.matte_texture)
            return scene_.add_material(Vec3{}, scene_.add_texture(*a.matte_texture));
        return scene_.add_material(*a.matte_color);
    }

    const Material& xray(const XraySettings& x) {
        std::vector<Tag> tags;
        if (x.lights) {
            for (const std::string& name : *x.lights)
                tags.push_back(lights_.at(name));
        } else {
            for (const Light& light : scene_.lights())
                tags.push_back(light.tag);
        }
        std::vector<Tag> connections;
        for (const std::optional<Texture>& texture : x.textures)
            connections.push_back(texture ? scene_.add_texture(*texture) : 0);
        return scene_.add_material(XrayBlock(x, tags, connections));
    }

    Scene& scene_;
    const SceneDescription& d_;
    const std::unordered_map<std::string, Tag>& lights_;
    std::vector<const Material*> by_assignment_;
    std::map<std::array<float, 3>, const Material*> by_color_;
};

Camera place_camera(const SceneDescription& d, const std::vector<Part>& parts,
                    PartBounds& bounds_of) {
    const CameraDescription& c = d.camera;
    if (c.eye && c.target) {
        Camera camera;
        camera.eye = *c.eye;
        camera.target = *c.target;
        camera.fov_y = c.fov;
        return camera;
    }
    std::vector<const Part*> matching;
    for (const Part& part : parts)
        if (glob_match(c.frame, part.name))
            matching.push_back(&part);
    const Bounds framed = bounds_of(matching);
    if (framed.empty())
        throw Error({d.source, "/camera/frame"}, "'" + printable(c.frame) + "' matches no part");
    if (const std::optional<std::string> fault = framing_fault(framed)) {
        const bool all = c.frame == CameraDescription{}.frame;
        throw Error({d.source, all ? "/models" : "/camera/frame"},
                    (all ? "the models are " : "the parts it matches are ") + *fault);
    }
    return framing(framed, c.from, c.fov, float(d.settings.width) / float(d.settings.height));
}

} // namespace

bool glob_match(const std::string& glob, const std::string& name) {
    return fnmatch(glob.c_str(), name.c_str(), 0) == 0;
}

std::unique_ptr<Scene> build_scene(const SceneDescription& d, const std::vector<Part>& parts) {
    auto scene = std::make_unique<Scene>();
    PartBounds bounds_of;
    std::vector<const Part*> all;
    for (const Part& part : parts)
        all.push_back(&part);
    const Bounds subject = bounds_of(all);

    std::unordered_map<std::string, Tag> lights;
    for (const LightDescription& l : scene_lights(d, subject))
        lights[l.name] = scene->add_light(make_light(l));

    const std::vector<PartLook> looks = resolve_assignments(d, parts);
    MaterialBook book(*scene, d, lights);
    for (size_t p = 0; p < parts.size(); ++p) {
        const uint32_t id = scene->add_part(parts[p].name);
        for (const Piece& piece : parts[p].pieces)
            scene->add_object(piece.mesh, book.for_piece(looks[p], piece), looks[p].flagged, id,
                              piece.to_world);
    }
    if (d.environment.floor)
        add_floor(*scene, subject);
    scene->environment.background = d.environment.background;
    // Coordinates within bounds keep these finite; a scene built from
    // elsewhere than a file may not.
    if (!subject.empty() && !std::isfinite(subject.radius()))
        throw Error({d.source, "/models"},
                    "the models reach too far to measure in single precision");
    scene->camera = place_camera(d, parts, bounds_of);
    if (!CameraView(scene->camera, 1, 1).well_defined())
        throw Error({d.source, "/camera"},
                    "the camera's eye and target are not finite, or are one point");
    scene->commit(d.settings.isa);
    return scene;
}

} // namespace xr
