#include "render/setup/model_loader.h"

#include "render/material.h"
#include "render/setup/model_file_check.h"
#include "render/setup/placement.h"
#include "render/setup/shapes.h"
#include "render/util/text.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cmath>
#include <stdexcept>
#include <unordered_map>

namespace xr {

namespace {

// False for NaN too.
bool within_bounds(Vec3 p) {
    return std::fabs(p.x) <= max_coordinate && std::fabs(p.y) <= max_coordinate &&
           std::fabs(p.z) <= max_coordinate;
}

void check_vertex(Vec3 p, const std::string& model) {
    if (!within_bounds(p))
        throw std::runtime_error(model + " has a vertex beyond ±" + number_text(max_coordinate) +
                                 " or not a finite number, once placed");
}

std::string file_stem(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

// The material's base colour: glTF's base colour factor, else the diffuse
// colour; Assimp's stand-in for files without materials has neither.
Vec3 base_color(const aiMaterial* material) {
    aiColor4D c;
    if (!material || material->GetName() == aiString(AI_DEFAULT_MATERIAL_NAME))
        return default_grey;
    if (material->Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS ||
        material->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
        return {c.r, c.g, c.b};
    return default_grey;
}

class FileReader {
  public:
    FileReader(const std::string& path, const std::string& prefix, const Transform& transform)
        : path_(path), prefix_(prefix), placement_(transform) {}

    std::vector<Part> read() {
        check_model_file(path_);
        Assimp::Importer importer;
        // Points and lines are not surfaces: drop them.
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                    aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        // Normals are the file's own; a mesh without them shades by its faces,
        // which costs no memory and shows the surface as the file states it.
        // Validation runs first, before any step uses the file's indices.
        scene_ =
            importer.ReadFile(path_, aiProcess_ValidateDataStructure | aiProcess_Triangulate |
                                         aiProcess_SortByPType | aiProcess_JoinIdenticalVertices);
        if (!scene_ || !scene_->mRootNode)
            throw std::runtime_error("cannot read " + path_ + ": " +
                                     one_line(importer.GetErrorString()));
        const aiNode* root = scene_->mRootNode;
        // The root stands for the file itself; its name adds nothing to the paths.
        if (root->mNumMeshes > 0)
            add_part(root, root->mTransformation, file_stem(path_));
        std::string path;
        for (unsigned i = 0; i < root->mNumChildren; ++i)
            walk(root->mChildren[i], root->mTransformation, path, 1);
        size_t triangles = 0;
        for (const Part& part : parts_)
            triangles += part.triangles();
        if (triangles == 0)
            throw std::runtime_error(path_ + " has no faces");
        return std::move(parts_);
    }

  private:
    // One path for the whole walk, the node's name added on the way down and
    // taken off on the way back: its cost follows the file's size rather than
    // the square of its depth.
    void walk(const aiNode* node, const aiMatrix4x4& parent, std::string& path, int depth) {
        if (depth > max_node_depth)
            throw std::runtime_error(path_ + " has nodes nested more than " +
                                     std::to_string(max_node_depth) + " deep");
        const aiMatrix4x4 to_file = parent * node->mTransformation;
        const size_t parent_length = path.size();
        path += parent_length > 0 ? "/" : "";
        path += node->mName.length > 0 ? node->mName.C_Str() : file_stem(path_);
        if (node->mNumMeshes > 0)
            add_part(node, to_file, path);
        for (unsigned i = 0; i < node->mNumChildren; ++i)
            walk(node->mChildren[i], to_file, path, depth + 1);
        path.resize(parent_length);
    }

    void add_part(const aiNode* node, const aiMatrix4x4& to_file, const std::string& path) {
        const std::string name = prefix_.empty() ? path : prefix_ + "/" + path;
        if (name.size() > max_part_name)
            throw std::runtime_error(path_ + " has a part whose name is longer than " +
                                     std::to_string(max_part_name) + " bytes");
        Part part;
        part.name = unique_name(utf8_text(name));
        aiMatrix3x3 normal_matrix(to_file);
        normal_matrix.Inverse().Transpose();
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh* mesh = scene_->mMeshes[node->mMeshes[i]];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                continue;
            const aiMaterial* material = mesh->mMaterialIndex < scene_->mNumMaterials
                                             ? scene_->mMaterials[mesh->mMaterialIndex]
                                             : nullptr;
            part.pieces.push_back({std::make_shared<Mesh>(convert(*mesh, to_file, normal_matrix)),
                                   base_color(material)});
        }
        if (!part.pieces.empty())
            parts_.push_back(std::move(part));
    }

    Mesh convert(const aiMesh& in, const aiMatrix4x4& to_file, const aiMatrix3x3& normal_matrix) {
        Mesh mesh;
        mesh.positions.reserve(in.mNumVertices);
        for (unsigned i = 0; i < in.mNumVertices; ++i) {
            const aiVector3D v = to_file * in.mVertices[i];
            const Vec3 p = placement_.point({v.x, v.y, v.z});
            check_vertex(p, path_);
            mesh.positions.push_back(p);
        }
        if (in.mNormals) {
            mesh.normals.reserve(in.mNumVertices);
            for (unsigned i = 0; i < in.mNumVertices; ++i) {
                const aiVector3D n = normal_matrix * in.mNormals[i];
                mesh.normals.push_back(normalize(placement_.normal({n.x, n.y, n.z})));
            }
        }
        mesh.indices.reserve(size_t(in.mNumFaces) * 3);
        for (unsigned f = 0; f < in.mNumFaces; ++f) {
            const aiFace& face = in.mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            for (unsigned k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= in.mNumVertices)
                    throw std::runtime_error(path_ + " refers to a vertex it does not define");
                mesh.indices.push_back(face.mIndices[k]);
            }
        }
        mesh.repair_normals();
        return mesh;
    }

    // Siblings may share a name; the second becomes "name#2", and so on.
    std::string unique_name(const std::string& name) {
        const int seen = ++seen_[name];
        return seen == 1 ? name : name + "#" + std::to_string(seen);
    }

    std::string path_, prefix_;
    Placement placement_;
    const aiScene* scene_ = nullptr;
    std::vector<Part> parts_;
    std::unordered_map<std::string, int> seen_;
};

Mesh shape_mesh(const Shape& s) {
    switch (s.kind) {
    case Shape::Kind::box:
        return box(s.size * -0.5f, s.size * 0.5f);
    case Shape::Kind::torus:
        return torus({}, s.radius, s.thickness);
    case Shape::Kind::sphere:
        break;
    }
    return sphere({}, s.radius);
}

std::vector<Part> shape_parts(const ModelDescription& model) {
    Mesh mesh = shape_mesh(*model.shape);
    const Placement placement(model.transform);
    const std::string what = "the " + model.name + " shape";
    for (Vec3& p : mesh.positions) {
        p = placement.point(p);
        check_vertex(p, what);
    }
    for (Vec3& n : mesh.normals)
        n = placement.normal(n);
    Part part;
    part.name = model.name;
    part.pieces.push_back({std::make_shared<Mesh>(std::move(mesh)), default_grey});
    return {std::move(part)};
}

} // namespace

std::string model_path(const ModelDescription& model, const std::string& base_dir) {
    if (model.file.empty() || model.file[0] == '/' || base_dir.empty())
        return model.file;
    return base_dir + "/" + model.file;
}

std::vector<Part> load_model(const ModelDescription& model, const std::string& base_dir) {
    if (model.shape)
        return shape_parts(model);
    return FileReader(model_path(model, base_dir), model.name, model.transform).read();
}

std::vector<Part> load_parts(const SceneDescription& description) {
    std::vector<Part> parts;
    for (const ModelDescription& model : description.models)
        for (Part& part : load_model(model, description.base_dir))
            parts.push_back(std::move(part));
    return parts;
}

} // namespace xr
