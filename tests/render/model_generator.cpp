// Writes the models the tests load, through Assimp's exporters, so that no
// model file from elsewhere is needed:
//   model_generator DIR            the test assembly in every format the tests read
//   model_generator --motor FILE.glb   the model of scenes/assembly.json
//   model_generator --big FILE.glb|.gltf|.obj|.stl|.ply [PARTS] [TRIANGLES]
//                                  a large assembly for measuring load and build
//   model_generator --gearbox FILE.step  the STEP assembly of scenes/gearbox.json
#include "tests/render/step_assembly.h"

#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Vertex {
    aiVector3D position, normal;
};

struct Geometry {
    std::vector<Vertex> vertices;
    std::vector<unsigned> indices;
};

// An axis-aligned box, four vertices per face so that its edges stay sharp.
Geometry box(aiVector3D lo, aiVector3D hi) {
    Geometry g;
    const aiVector3D c = (lo + hi) * 0.5f, h = (hi - lo) * 0.5f;
    for (int axis = 0; axis < 3; ++axis)
        for (float side : {1.0f, -1.0f}) {
            aiVector3D n(0, 0, 0), s(0, 0, 0), t(0, 0, 0);
            n[axis] = side;
            s[(axis + 1) % 3] = side * h[(axis + 1) % 3];
            t[(axis + 2) % 3] = h[(axis + 2) % 3];
            aiVector3D face = c;
            face[axis] += side * h[axis];
            const auto base = unsigned(g.vertices.size());
            for (const aiVector3D& corner :
                 {face - s - t, face + s - t, face + s + t, face - s + t})
                g.vertices.push_back({corner, n});
            g.indices.insert(g.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
        }
    return g;
}

// A sphere of about `triangles` triangles.
Geometry sphere(aiVector3D center, float radius, int triangles) {
    Geometry g;
    const int rings = std::max(2, int(std::sqrt(float(triangles) / 4.0f)));
    const int segments = std::max(3, (triangles + 2 * rings - 1) / (2 * rings));
    for (int j = 0; j <= rings; ++j)
        for (int i = 0; i <= segments; ++i) {
            const float theta = float(M_PI) * float(j) / float(rings);
            const float phi = 2.0f * float(M_PI) * float(i) / float(segments);
            const aiVector3D n(std::sin(theta) * std::cos(phi), std::cos(theta),
                               std::sin(theta) * std::sin(phi));
            g.vertices.push_back({center + n * radius, n});
        }
    for (int j = 0; j < rings; ++j)
        for (int i = 0; i < segments; ++i) {
            const auto a = unsigned(j * (segments + 1) + i), b = a + 1;
            const auto c = a + unsigned(segments + 1), d = c + 1;
            g.indices.insert(g.indices.end(), {a, c, b, b, c, d});
        }
    return g;
}

// A closed cylinder along x, smooth on its side and flat on its caps.
Geometry cylinder(aiVector3D center, float radius, float length, int segments = 48) {
    Geometry g;
    const float half = 0.5f * length;
    for (int i = 0; i <= segments; ++i) {
        const float a = 2.0f * float(M_PI) * float(i) / float(segments);
        const aiVector3D n(0, std::cos(a), std::sin(a));
        g.vertices.push_back({center + aiVector3D(-half, 0, 0) + n * radius, n});
        g.vertices.push_back({center + aiVector3D(half, 0, 0) + n * radius, n});
    }
    for (int i = 0; i < segments; ++i) {
        const auto a = unsigned(2 * i);
        g.indices.insert(g.indices.end(), {a, a + 2, a + 1, a + 1, a + 2, a + 3});
    }
    for (float side : {-1.0f, 1.0f}) {
        const aiVector3D n(side, 0, 0), middle = center + aiVector3D(side * half, 0, 0);
        const auto hub = unsigned(g.vertices.size());
        g.vertices.push_back({middle, n});
        for (int i = 0; i <= segments; ++i) {
            const float a = 2.0f * float(M_PI) * float(i) / float(segments);
            g.vertices.push_back({middle + aiVector3D(0, std::cos(a), std::sin(a)) * radius, n});
        }
        for (int i = 0; i < segments; ++i) {
            const unsigned a = hub + 1 + unsigned(i), b = a + 1;
            if (side > 0)
                g.indices.insert(g.indices.end(), {hub, a, b});
            else
                g.indices.insert(g.indices.end(), {hub, b, a});
        }
    }
    return g;
}

void append(Geometry& to, const Geometry& from) {
    const auto base = unsigned(to.vertices.size());
    to.vertices.insert(to.vertices.end(), from.vertices.begin(), from.vertices.end());
    for (unsigned i : from.indices)
        to.indices.push_back(base + i);
}

// A spur gear turning about x: a disc with `teeth` blocks around its rim.
Geometry gear(aiVector3D center, float radius, float width, int teeth) {
    Geometry g = cylinder(center, radius, width, 4 * teeth);
    const float depth = 0.22f * radius, tooth = float(M_PI) * radius / float(teeth);
    for (int i = 0; i < teeth; ++i) {
        const float a = 2.0f * float(M_PI) * (float(i) + 0.5f) / float(teeth);
        Geometry t = box({-0.5f * width, radius - 0.1f * depth, -0.5f * tooth},
                         {0.5f * width, radius + depth, 0.5f * tooth});
        const float c = std::cos(a - float(M_PI) / 2), s = std::sin(a - float(M_PI) / 2);
        for (Vertex& v : t.vertices) {
            for (aiVector3D* p : {&v.position, &v.normal})
                *p = aiVector3D(p->x, c * p->y - s * p->z, s * p->y + c * p->z);
            v.position += center;
        }
        append(g, t);
    }
    return g;
}

aiMesh* make_mesh(const Geometry& g, unsigned material, const std::string& name) {
    auto* mesh = new aiMesh;
    mesh->mName = name;
    mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh->mMaterialIndex = material;
    mesh->mNumVertices = unsigned(g.vertices.size());
    mesh->mVertices = new aiVector3D[g.vertices.size()];
    mesh->mNormals = new aiVector3D[g.vertices.size()];
    for (size_t i = 0; i < g.vertices.size(); ++i) {
        mesh->mVertices[i] = g.vertices[i].position;
        mesh->mNormals[i] = g.vertices[i].normal;
    }
    mesh->mNumFaces = unsigned(g.indices.size() / 3);
    mesh->mFaces = new aiFace[mesh->mNumFaces];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        mesh->mFaces[f].mNumIndices = 3;
        mesh->mFaces[f].mIndices =
            new unsigned[3]{g.indices[3 * f], g.indices[3 * f + 1], g.indices[3 * f + 2]};
    }
    return mesh;
}

aiMaterial* make_material(const std::string& name, aiColor4D color) {
    auto* material = new aiMaterial;
    const aiString text(name);
    material->AddProperty(&text, AI_MATKEY_NAME);
    material->AddProperty(&color, 1, AI_MATKEY_COLOR_DIFFUSE);
    material->AddProperty(&color, 1, AI_MATKEY_BASE_COLOR);
    return material;
}

struct PartRecipe {
    std::string name;
    Geometry geometry;
    aiColor4D color;
};

// One node per part under a node named `group` (or under the root, for
// exporters that only look there), one mesh and material each.
std::unique_ptr<aiScene> make_scene(const std::vector<PartRecipe>& parts, bool nested = true,
                                    const char* group = "model") {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("root");
    aiNode* model = scene->mRootNode;
    if (nested) {
        model = new aiNode(group);
        model->mParent = scene->mRootNode;
        scene->mRootNode->addChildren(1, &model);
    }
    const auto n = unsigned(parts.size());
    scene->mNumMeshes = scene->mNumMaterials = n;
    scene->mMeshes = new aiMesh*[n];
    scene->mMaterials = new aiMaterial*[n];
    std::vector<aiNode*> nodes;
    for (unsigned i = 0; i < n; ++i) {
        scene->mMeshes[i] = make_mesh(parts[i].geometry, i, parts[i].name);
        scene->mMaterials[i] = make_material(parts[i].name, parts[i].color);
        auto* node = new aiNode(parts[i].name);
        node->mParent = model;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{i};
        nodes.push_back(node);
    }
    model->addChildren(n, nodes.data());
    return scene;
}

bool save(const aiScene& scene, const char* format, const std::string& path) {
    Assimp::Exporter exporter;
    if (exporter.Export(&scene, format, path) != AI_SUCCESS) {
        std::fprintf(stderr, "model_generator: cannot write %s: %s\n", path.c_str(),
                     exporter.GetErrorString());
        return false;
    }
    return true;
}

// Three bolts under "bolts", each node turned, stretched unevenly or mirrored:
// one mesh that the three nodes share, or a copy of it for each.
std::unique_ptr<aiScene> bolts_scene(bool shared) {
    const PartRecipe bolt{"bolt", cylinder({0, 0, 0}, 0.3f, 1.6f, 32), {0.8f, 0.6f, 0.2f, 1}};
    auto scene = make_scene(shared ? std::vector<PartRecipe>{bolt}
                                   : std::vector<PartRecipe>{bolt, bolt, bolt},
                            true, "bolts");
    aiNode* group = scene->mRootNode->mChildren[0];
    const aiMatrix4x4 places[] = {
        aiMatrix4x4(aiVector3D(1, 1, 1), aiQuaternion(aiVector3D(0, 1, 0), 0.5f),
                    aiVector3D(-1.4f, 0, 0)),
        aiMatrix4x4(aiVector3D(1.5f, 0.6f, 1), aiQuaternion(aiVector3D(1, 1, 0).Normalize(), 0.9f),
                    aiVector3D(0, 0.2f, 0.3f)),
        aiMatrix4x4(aiVector3D(-1, 1, 1), aiQuaternion(aiVector3D(0, 0, 1), 1.2f),
                    aiVector3D(1.4f, 0, 0)),
    };
    std::vector<aiNode*> nodes;
    for (unsigned i = 0; i < 3; ++i) {
        aiNode* node = i < group->mNumChildren ? group->mChildren[i] : new aiNode("bolt");
        node->mName = "bolt:" + std::to_string(i + 1);
        node->mTransformation = places[i];
        if (i >= group->mNumChildren) {
            node->mNumMeshes = 1;
            node->mMeshes = new unsigned[1]{0};
            node->mParent = group;
            nodes.push_back(node);
        }
    }
    group->addChildren(unsigned(nodes.size()), nodes.data());
    return scene;
}

// A housing around two smaller parts, a red core on the left and a green tag
// on the right, seen from +z.
int write_fixtures(const std::string& dir) {
    const std::vector<BoxPart> boxes = {
        {"housing", {-1.5, -1, -1}, {1.5, 1, 1}, {0.3, 0.5, 0.9}},
        {"core", {-1.1, -0.4, -0.4}, {-0.3, 0.4, 0.4}, {0.9, 0.1, 0.1}},
        {"tag", {0.3, -0.4, -0.4}, {1.1, 0.4, 0.4}, {0.1, 0.8, 0.2}},
    };
    std::vector<PartRecipe> parts;
    for (const BoxPart& b : boxes) {
        auto point = [](const double(&p)[3]) {
            return aiVector3D(float(p[0]), float(p[1]), float(p[2]));
        };
        parts.push_back({b.name,
                         box(point(b.lo), point(b.hi)),
                         {float(b.color[0]), float(b.color[1]), float(b.color[2]), 1}});
    }
    const std::unique_ptr<aiScene> scene = make_scene(parts);
    // Assimp reads back its ASCII FBX, not its binary one.
    const std::pair<const char*, const char*> formats[] = {
        {"obj", "obj"},  {"gltf2", "gltf"}, {"glb2", "glb"},    {"stlb", "stl"},
        {"plyb", "ply"}, {"fbxa", "fbx"},   {"collada", "dae"},
    };
    for (const auto& [format, extension] : formats)
        if (!save(*scene, format, dir + "/assembly." + extension))
            return 1;
    // The same with the second bolt's node flattened to nothing along its length.
    const std::unique_ptr<aiScene> squashed = bolts_scene(true);
    aiMatrix4x4& flattened = squashed->mRootNode->mChildren[0]->mChildren[1]->mTransformation;
    flattened = flattened * aiMatrix4x4(aiVector3D(1, 1, 0), aiQuaternion(), aiVector3D());
    if (!save(*bolts_scene(true), "gltf2", dir + "/shared.gltf") ||
        !save(*squashed, "gltf2", dir + "/squashed.gltf") ||
        !save(*bolts_scene(false), "gltf2", dir + "/copied.gltf") ||
        !write_boxes(dir + "/assembly.step", "model", boxes) ||
        !write_gearbox(dir + "/gearbox.step") || !write_box_and_cone(dir + "/box_and_cone.step"))
        return 1;
    return save(*make_scene(parts, false), "3mf", dir + "/assembly.3mf") ? 0 : 1;
}

// A geared motor: an x-ray housing around a stator (a second x-ray layer) with
// its rotor, the shaft, a gear pair on a countershaft, bearings, and a sensor
// that is flagged.
int write_motor(const std::string& path) {
    const aiColor4D steel{0.62f, 0.64f, 0.68f, 1}, brass{0.85f, 0.62f, 0.22f, 1};
    const aiColor4D bronze{0.7f, 0.42f, 0.22f, 1}, copper{0.8f, 0.36f, 0.2f, 1};
    std::vector<PartRecipe> parts = {
        {"housing", cylinder({0, 0, 0}, 1.3f, 3.6f, 96), {0.25f, 0.55f, 1.0f, 1}},
        {"stator", cylinder({0.55f, 0, 0}, 0.85f, 1.7f, 96), {1.0f, 0.55f, 0.15f, 1}},
        {"rotor", cylinder({0.55f, 0, 0}, 0.45f, 1.4f), copper},
        {"shaft", cylinder({0.2f, 0, 0}, 0.1f, 4.4f), steel},
        {"countershaft", cylinder({-1.0f, 0.72f, 0}, 0.08f, 1.5f), steel},
        {"gear_small", gear({-1.05f, 0, 0}, 0.25f, 0.28f, 12), brass},
        {"gear_large", gear({-1.05f, 0.72f, 0}, 0.4f, 0.28f, 20), bronze},
        {"sensor", sphere({-0.35f, -0.55f, 0.75f}, 0.2f, 1200), {0.2f, 0.8f, 0.3f, 1}},
    };
    for (float x : {-1.72f, 1.72f})
        parts.push_back(
            {x < 0 ? "bearing_rear" : "bearing_front", cylinder({x, 0, 0}, 0.24f, 0.16f), steel});
    return save(*make_scene(parts, true, "motor"), "glb2", path) ? 0 : 1;
}

// The exporter's format for the file's extension, or null.
const char* format_of(const std::string& path) {
    const std::pair<const char*, const char*> formats[] = {
        {".glb", "glb2"}, {".gltf", "gltf2"}, {".obj", "obj"}, {".stl", "stlb"}, {".ply", "plyb"}};
    for (const auto& [extension, format] : formats)
        if (path.size() >= std::strlen(extension) &&
            path.compare(path.size() - std::strlen(extension), std::string::npos, extension) == 0)
            return format;
    return nullptr;
}

// `count` spheres on a grid, each of about triangles / count triangles.
int write_big(const std::string& path, int count, long triangles) {
    const char* format = format_of(path);
    if (!format) {
        std::fprintf(stderr, "model_generator: %s is not .glb, .gltf, .obj, .stl or .ply\n",
                     path.c_str());
        return 2;
    }
    std::vector<PartRecipe> parts;
    const int side = int(std::ceil(std::sqrt(float(count))));
    const int per_part = int(triangles / count);
    for (int i = 0; i < count; ++i) {
        const aiVector3D center(float(i % side) * 2.5f, 0.0f, float(i / side) * 2.5f);
        const float hue = float(i) / float(count);
        parts.push_back(
            {"part" + std::to_string(i),
             sphere(center, 1.0f, per_part),
             {0.5f + 0.5f * std::sin(6.28f * hue), 0.5f, 0.5f + 0.5f * std::cos(6.28f * hue), 1}});
    }
    return save(*make_scene(parts), format, path) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--big")
        return write_big(argv[2], argc > 3 ? std::atoi(argv[3]) : 1000,
                         argc > 4 ? std::atol(argv[4]) : 5000000);
    if (argc == 3 && std::string(argv[1]) == "--motor")
        return write_motor(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--gearbox")
        return write_gearbox(argv[2]) ? 0 : 1;
    if (argc == 2)
        return write_fixtures(argv[1]);
    std::fprintf(stderr, "usage: model_generator DIR | --motor FILE.glb | --gearbox FILE.step | "
                         "--big FILE.glb|.gltf|.obj|.stl|.ply [PARTS] [TRIANGLES]\n");
    return 2;
}
