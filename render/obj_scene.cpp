#include "render/obj_scene.h"

#include "render/studio.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <stdexcept>

namespace xr {

namespace {

bool finite(Vec3 p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

} // namespace

Mesh load_obj(const std::string& path) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path, config)) {
        std::string why = reader.Error();
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw std::runtime_error("cannot read " + path + (why.empty() ? "" : ": " + why));
    }
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    Mesh mesh;
    for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3) {
        const Vec3 p{attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]};
        if (!finite(p))
            throw std::runtime_error(path + " has a vertex that is not a finite number");
        mesh.positions.push_back(p);
    }
    bool has_normals = true;
    for (const tinyobj::shape_t& shape : reader.GetShapes())
        for (const tinyobj::index_t& corner : shape.mesh.indices) {
            if (corner.vertex_index < 0 || size_t(corner.vertex_index) >= mesh.positions.size())
                throw std::runtime_error(path + " refers to a vertex it does not define");
            mesh.indices.push_back(uint32_t(corner.vertex_index));
            const size_t n = size_t(corner.normal_index);
            if (corner.normal_index < 0 || 3 * n + 2 >= attrib.normals.size()) {
                has_normals = false;
                continue;
            }
            mesh.normals.push_back(normalize(
                {attrib.normals[3 * n], attrib.normals[3 * n + 1], attrib.normals[3 * n + 2]}));
        }
    if (mesh.triangles() == 0)
        throw std::runtime_error(path + " has no faces");
    if (!has_normals)
        mesh.smooth_normals();
    return mesh;
}

Scene obj_scene(const std::string& path, const XraySettings& settings) {
    Scene scene;
    Mesh mesh = load_obj(path);
    const Bounds bounds = mesh.bounds();
    XraySettings material = settings;
    if (material.lights.empty())
        material.lights = {key_light, soft_light};
    scene.add_object(std::move(mesh), scene.add_material(Material::xray(material)));
    add_studio(scene, bounds);
    scene.commit();
    return scene;
}

} // namespace xr
