#include "render/setup/scene_file.h"

#include "render/output/output_file.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_names.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>

namespace xr {

namespace {

using nlohmann::ordered_json;

// The shortest decimal that reads back as the same float: 1.2, not 1.2000000476837158.
double num(float v) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, v).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

ordered_json vec_json(Vec3 v) {
    return {num(v.x), num(v.y), num(v.z)};
}

ordered_json color_json(const Color& c) {
    if (c.a == 1.0f)
        return {num(c.r), num(c.g), num(c.b)};
    return {num(c.r), num(c.g), num(c.b), num(c.a)};
}

ordered_json texture_json(const Texture& t) {
    const Texture defaults;
    ordered_json j;
    j["texture"] = texture_names[int(t.kind)];
    j["a"] = color_json(t.a);
    j["b"] = color_json(t.b);
    if (t.scale != defaults.scale)
        j["scale"] = num(t.scale);
    if (t.kind == Texture::Kind::stripes)
        j["axis"] = vec_json(t.axis);
    return j;
}

ordered_json xray_json(const XraySettings& x) {
    const ShaderDeclaration& d = xray_declaration();
    ordered_json j = ordered_json::object();
    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        const ParamValue& v = x.values[i];
        if (x.textures[i]) {
            j[p.name] = texture_json(*x.textures[i]);
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
            j[p.name] = num(v[0]);
    }
    return j;
}

} // namespace

ordered_json scene_to_json(const SceneDescription& scene) {
    ordered_json j;
    const Transform no_transform;
    for (const ModelDescription& m : scene.models) {
        ordered_json model;
        if (m.shape) {
            const Shape defaults;
            model["shape"] = shape_names[int(m.shape->kind)];
            if (m.shape->kind != Shape::Kind::box && m.shape->radius != defaults.radius)
                model["radius"] = num(m.shape->radius);
            if (m.shape->kind == Shape::Kind::torus)
                model["thickness"] = num(m.shape->thickness);
            if (m.shape->kind == Shape::Kind::box)
                model["size"] = vec_json(m.shape->size);
        } else {
            model["file"] = m.file;
        }
        if (!m.name.empty())
            model["name"] = m.name;
        const Transform& t = m.transform;
        if (t.translate.x != 0.0f || t.translate.y != 0.0f || t.translate.z != 0.0f)
            model["translate"] = vec_json(t.translate);
        if (t.rotate.x != 0.0f || t.rotate.y != 0.0f || t.rotate.z != 0.0f)
            model["rotate"] = vec_json(t.rotate);
        if (t.scale != no_transform.scale)
            model["scale"] = num(t.scale);
        j["models"].push_back(model);
    }
    for (const Assignment& a : scene.assign) {
        ordered_json assignment;
        assignment["parts"] = a.parts;
        if (a.look == Assignment::Look::xray) {
            assignment["xray"] = xray_json(a.xray);
        } else if (a.look == Assignment::Look::matte) {
            ordered_json matte = ordered_json::object();
            if (a.matte_texture)
                matte["color"] = texture_json(*a.matte_texture);
            else if (a.matte_color)
                matte["color"] = vec_json(*a.matte_color);
            assignment["matte"] = matte;
        }
        if (a.flagged)
            assignment["flagged"] = *a.flagged;
        j["assign"].push_back(assignment);
    }
    for (const LightDescription& l : scene.lights) {
        ordered_json light;
        light["name"] = l.name;
        light["type"] = light_kinds[int(l.kind)];
        light["position"] = vec_json(l.position);
        if (l.kind == Light::Kind::rect) {
            light["target"] = vec_json(l.target);
            light["size"] = {num(l.width), num(l.height)};
            light["samples"] = l.samples;
        }
        light["color"] = vec_json(l.color);
        light["intensity"] = num(l.intensity);
        j["lights"].push_back(light);
    }
    const CameraDescription& c = scene.camera;
    ordered_json camera;
    if (c.eye && c.target) {
        camera["eye"] = vec_json(*c.eye);
        camera["target"] = vec_json(*c.target);
    } else {
        camera["frame"] = c.frame;
        camera["from"] = vec_json(c.from);
    }
    camera["fov"] = num(c.fov);
    if (c.turntable > 0)
        camera["turntable"] = c.turntable;
    j["camera"] = camera;
    const Background& b = scene.environment.background;
    j["environment"]["background"] = b.kind == Background::Kind::color
                                         ? vec_json(b.color)
                                         : ordered_json(background_names[int(b.kind)]);
    j["environment"]["floor"] = scene.environment.floor;
    const RenderSettings& s = scene.settings;
    j["settings"] = {
        {"width", s.width}, {"height", s.height}, {"samples", s.samples}, {"seed", s.seed}};
    return j;
}

void write_scene_file(const SceneDescription& scene, const std::string& path) {
    namespace fs = std::filesystem;
    OutputFile out(path);
    // Relative model files were found from the scene's folder; the new file
    // finds them from its own.
    const fs::path folder = fs::absolute(path).parent_path();
    SceneDescription moved = scene;
    for (ModelDescription& m : moved.models) {
        if (m.file.empty())
            continue;
        const fs::path model = fs::absolute(model_path(m, scene.base_dir)).lexically_normal();
        const fs::path relative = model.lexically_relative(folder);
        m.file = relative.empty() ? model.string() : relative.string();
    }
    const std::string text = scene_to_json(moved).dump(2) + "\n";
    out.commit(std::vector<uint8_t>(text.begin(), text.end()));
}

} // namespace xr
