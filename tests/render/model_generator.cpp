// Writes the models the tests load, through Assimp's exporters, so that no
// model file from elsewhere is needed:
//   model_generator DIR            the test assembly in every format the tests read
//   model_generator --big FILE.glb [PARTS] [TRIANGLES]
//                                  a large assembly for measuring load and build
#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    const int segments = std::max(3, triangles / (2 * rings));
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

struct PartSpec {
    std::string name;
    Geometry geometry;
    aiColor4D color;
};

// One node per part under a node named `model` (or under the root, for
// exporters that only look there), one mesh and material each.
std::unique_ptr<aiScene> make_scene(const std::vector<PartSpec>& parts, bool nested = true) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("root");
    aiNode* model = scene->mRootNode;
    if (nested) {
        model = new aiNode("model");
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

// A housing around two smaller parts, a red core on the left and a green tag
// on the right, seen from +z.
int write_fixtures(const std::string& dir) {
    const std::vector<PartSpec> parts = {
        {"housing", box({-1.5f, -1, -1}, {1.5f, 1, 1}), {0.3f, 0.5f, 0.9f, 1}},
        {"core", box({-1.1f, -0.4f, -0.4f}, {-0.3f, 0.4f, 0.4f}), {0.9f, 0.1f, 0.1f, 1}},
        {"tag", box({0.3f, -0.4f, -0.4f}, {1.1f, 0.4f, 0.4f}), {0.1f, 0.8f, 0.2f, 1}},
    };
    const std::unique_ptr<aiScene> scene = make_scene(parts);
    // Assimp reads back its ASCII FBX, not its binary one.
    const std::pair<const char*, const char*> formats[] = {
        {"obj", "obj"},  {"gltf2", "gltf"}, {"glb2", "glb"},    {"stlb", "stl"},
        {"plyb", "ply"}, {"fbxa", "fbx"},   {"collada", "dae"},
    };
    for (const auto& [format, extension] : formats)
        if (!save(*scene, format, dir + "/assembly." + extension))
            return 1;
    return save(*make_scene(parts, false), "3mf", dir + "/assembly.3mf") ? 0 : 1;
}

// `count` spheres on a grid, each of about triangles / count triangles.
int write_big(const std::string& path, int count, long triangles) {
    std::vector<PartSpec> parts;
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
    return save(*make_scene(parts), "glb2", path) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--big")
        return write_big(argv[2], argc > 3 ? std::atoi(argv[3]) : 1000,
                         argc > 4 ? std::atol(argv[4]) : 5000000);
    if (argc == 2)
        return write_fixtures(argv[1]);
    std::fprintf(stderr, "usage: model_generator DIR | --big FILE.glb [PARTS] [TRIANGLES]\n");
    return 2;
}
