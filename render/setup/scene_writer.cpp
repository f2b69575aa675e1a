#include "render/setup/scene_file.h"

#include "render/output/output_file.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_names.h"
#include "render/util/text.h"

#include <cstdlib>
#include <filesystem>

// Each section as the reader reads it. A model's, a material's and a
// texture's values, and the adaptive settings, are left out where they are
// the default; the lights given, the camera's view and field of view, the
// environment and the settings' width, height, samples and seed are written
// whatever they are.
namespace xr {

namespace {

using nlohmann::ordered_json;

// The shortest decimal that reads back as the same float: 1.2, not 1.2000000476837158.
double json_number(float v) {
    return std::strtod(number_text(v).c_str(), nullptr);
}

ordered_json color_json(const Color& c) {
    if (c.a == 1.0f)
        return {json_number(c.r), json_number(c.g), json_number(c.b)};
    return {json_number(c.r), json_number(c.g), json_number(c.b), json_number(c.a)};
}

ordered_json write_texture(const Texture& t) {
    const Texture defaults;
    ordered_json j;
    j["texture"] = texture_names[int(t.kind)];
    j["a"] = color_json(t.a);
    if (t.kind != Texture::Kind::constant) {
        j["b"] = color_json(t.b);
        if (t.scale != defaults.scale)
            j["scale"] = json_number(t.scale);
    }
    if (t.kind == Texture::Kind::stripes)
        j["axis"] = vec3_json(t.axis);
    return j;
}

ordered_json write_xray(const XraySettings& x) {
    const ShaderDeclaration& d = xray_declaration();
    ordered_json j = ordered_json::object();
    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        const ParamValue& v = x.values[i];
        if (x.textures[i]) {
            j[p.name] = write_texture(*x.textures[i]);
            continue;
        }
        if (derived_by_host(p))
            continue;
        if (p.type == ParamType::light_array) {
            if (x.lights)
                j[p.name] = *x.lights;
            continue;
        }
        if (v == p.default_value)
            continue;
        if (p.type == ParamType::color)
            j[p.name] = color_json({v[0], v[1], v[2], v[3]});
        else if (p.type == ParamType::boolean)
            j[p.name] = v[0] != 0.0f;
        else if (!p.enum_names.empty())
            j[p.name] = p.enum_names.at(size_t(v[0]));
        else
            j[p.name] = json_number(v[0]);
    }
    return j;
}

ordered_json write_model(const ModelDescription& m) {
    ordered_json model;
    if (m.shape) {
        const Shape defaults;
        model["shape"] = shape_names[int(m.shape->kind)];
        if (m.shape->kind != Shape::Kind::box && m.shape->radius != defaults.radius)
            model["radius"] = json_number(m.shape->radius);
        if (m.shape->kind == Shape::Kind::torus)
            model["thickness"] = json_number(m.shape->thickness);
        if (m.shape->kind == Shape::Kind::box)
            model["size"] = vec3_json(m.shape->size);
    } else {
        model["file"] = m.file;
    }
    if (!m.name.empty())
        model["name"] = m.name;
    const Transform& t = m.transform;
    const Transform none;
    if (t.translate.x != 0.0f || t.translate.y != 0.0f || t.translate.z != 0.0f)
        model["translate"] = vec3_json(t.translate);
    if (t.rotate.x != 0.0f || t.rotate.y != 0.0f || t.rotate.z != 0.0f)
        model["rotate"] = vec3_json(t.rotate);
    if (t.scale != none.scale)
        model["scale"] = json_number(t.scale);
    const Tessellation defaults;
    if (m.tessellation.linear || m.tessellation.angular != defaults.angular) {
        ordered_json& tessellation = model["tessellation"];
        if (m.tessellation.linear)
            tessellation["linear"] = json_number(*m.tessellation.linear);
        if (m.tessellation.angular != defaults.angular)
            tessellation["angular"] = json_number(m.tessellation.angular);
    }
    return model;
}

ordered_json write_assignment(const Assignment& a) {
    ordered_json assignment;
    assignment["parts"] = a.parts;
    if (a.look == Assignment::Look::xray) {
        assignment["xray"] = write_xray(a.xray);
    } else if (a.look == Assignment::Look::matte) {
        ordered_json matte = ordered_json::object();
        if (a.matte_texture)
            matte["color"] = write_texture(*a.matte_texture);
        else if (a.matte_color)
            matte["color"] = vec3_json(*a.matte_color);
        assignment["matte"] = matte;
    }
    if (a.flagged)
        assignment["flagged"] = *a.flagged;
    return assignment;
}

ordered_json write_light(const LightDescription& l) {
    ordered_json light;
    light["name"] = l.name;
    light["type"] = light_kinds[int(l.kind)];
    light["position"] = vec3_json(l.position);
    if (l.kind == Light::Kind::rect) {
        light["target"] = vec3_json(l.target);
        light["size"] = {json_number(l.width), json_number(l.height)};
        light["samples"] = l.samples;
    }
    light["color"] = vec3_json(l.color);
    light["intensity"] = json_number(l.intensity);
    return light;
}

ordered_json write_camera(const CameraDescription& c) {
    ordered_json camera;
    if (c.eye && c.target) {
        camera["eye"] = vec3_json(*c.eye);
        camera["target"] = vec3_json(*c.target);
    } else {
        camera["frame"] = c.frame;
        camera["from"] = vec3_json(c.from);
    }
    camera["fov"] = json_number(c.fov);
    if (c.turntable > 0)
        camera["turntable"] = c.turntable;
    return camera;
}

ordered_json write_environment(const EnvironmentDescription& e) {
    const Background& b = e.background;
    return {{"background", b.kind == Background::Kind::color
                               ? vec3_json(b.color)
                               : ordered_json(background_names[int(b.kind)])},
            {"floor", e.floor}};
}

ordered_json write_settings(const RenderSettings& s) {
    ordered_json j = {
        {"width", s.width}, {"height", s.height}, {"samples", s.samples}, {"seed", s.seed}};
    if (s.adaptive)
        j["adaptive"] = true;
    if (s.noise != default_noise)
        j["noise"] = json_number(s.noise);
    if (s.min_samples != default_min_samples)
        j["min_samples"] = s.min_samples;
    return j;
}

} // namespace

ordered_json vec3_json(Vec3 v) {
    return {json_number(v.x), json_number(v.y), json_number(v.z)};
}

ordered_json scene_to_json(const SceneDescription& scene) {
    ordered_json j;
    for (const ModelDescription& m : scene.models)
        j["models"].push_back(write_model(m));
    for (const Assignment& a : scene.assign)
        j["assign"].push_back(write_assignment(a));
    // An empty list too: it stands for no lights, where no list stands for the studio's.
    if (scene.lights) {
        j["lights"] = ordered_json::array();
        for (const LightDescription& l : *scene.lights)
            j["lights"].push_back(write_light(l));
    }
    j["camera"] = write_camera(scene.camera);
    j["environment"] = write_environment(scene.environment);
    j["settings"] = write_settings(scene.settings);
    return j;
}

void write_scene_file(const SceneDescription& scene, const std::string& path) {
    namespace fs = std::filesystem;
    OutputFile out(path);
    // Relative model files were found from the scene's folder; the new file
    // is read by `path`, and finds them from its folder, even where `path`
    // is a symlink to a file elsewhere. Both folders as the system finds
    // them, through their symlinks, where ".." leads from the folder a link
    // points to. A scene written into a pipe, a device or a descriptor has
    // no folder of its own: its models are named by their whole paths.
    const bool placed = !out.temporary_path().empty();
    const auto real = [](const fs::path& file) {
        const fs::path absolute = fs::absolute(file);
        return fs::weakly_canonical(absolute.parent_path()) / absolute.filename();
    };
    const fs::path folder = real(path).parent_path();
    SceneDescription moved = scene;
    for (ModelDescription& m : moved.models) {
        if (m.file.empty())
            continue;
        const fs::path model = real(model_path(m, scene.base_dir));
        const fs::path relative = model.lexically_relative(folder);
        m.file = relative.empty() || !placed ? model.string() : relative.string();
    }
    std::string text;
    try {
        text = scene_to_json(moved).dump(2) + "\n";
    } catch (const nlohmann::json::type_error&) {
        throw std::runtime_error("cannot write " + path +
                                 ": the scene names a file or parts by bytes that are not "
                                 "UTF-8 text, which a scene file cannot hold");
    }
    out.commit(std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace xr
