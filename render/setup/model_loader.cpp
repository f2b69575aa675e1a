#include "render/setup/model_loader.h"

#include "render/material.h"
#include "render/sample_bounds.h"
#include "render/setup/archive_check.h"
#include "render/setup/collada_check.h"
#include "render/setup/model_file_check.h"
#include "render/setup/obj_reader.h"
#include "render/setup/part_names.h"
#include "render/setup/placement.h"
#include "render/setup/shapes.h"
#include "render/setup/step_loader.h"
#include "render/setup/text_mesh_check.h"
#include "render/util/error.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"

#include <assimp/BaseImporter.h>
#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <unordered_map>

namespace xr {

namespace {

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

// Formats that index their vertices already gain nothing from joining
// identical ones but its time and memory; the others (FBX's polygons, STL's
// triangles) list each face's corners apart.
unsigned join_steps(const std::string& path) {
    const std::string extension = lowercase_extension(path);
    return has_gltf_extension(path) || extension == "ply"
               ? 0u
               : unsigned(aiProcess_JoinIdenticalVertices);
}

using ReaderList = std::vector<std::unique_ptr<Assimp::BaseImporter>>;

// The importer without its glTF readers, which would take a file of any name
// by its content: only files check_model_file checked as glTF are read as
// one. They are ours once the importer lets them go.
ReaderList without_gltf_readers(Assimp::Importer& importer) {
    ReaderList removed;
    for (size_t i = importer.GetImporterCount(); i-- > 0;) {
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        std::set<std::string> extensions;
        reader->GetExtensionList(extensions);
        if (std::none_of(extensions.begin(), extensions.end(),
                         [](const std::string& e) { return has_gltf_extension("." + e); }))
            continue;
        if (importer.UnregisterLoader(reader) != AI_SUCCESS)
            throw std::logic_error("the importer keeps its glTF reader");
        removed.emplace_back(reader);
    }
    return removed;
}

// A 3MF's importer puts the package's thumbnails in the scene's textures and
// frees them before it hands the scene over, and puts nothing else there:
// they are let go of unread, or validation would read them and the scene free
// them again. The importer names the scene's root "3MF"; a scene of another
// importer that names its root so loses its textures, which are then never
// freed (the renderer uses none). The scene is the importer's, to change
// before its steps run.
void let_go_of_freed_textures(const aiScene& read) {
    auto& scene = const_cast<aiScene&>(read);
    if (!scene.mRootNode || std::strcmp(scene.mRootNode->mName.C_Str(), "3MF") != 0)
        return;
    delete[] scene.mTextures;
    scene.mTextures = nullptr;
    scene.mNumTextures = 0;
}

// Faces validation lets pass that triangulation cannot take: one with no
// corners stops the program in an assertion.
void check_faces(const aiScene& scene, const std::string& path) {
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned f = 0; f < scene.mMeshes[m]->mNumFaces; ++f)
            if (scene.mMeshes[m]->mFaces[f].mNumIndices == 0)
                throw std::runtime_error(path + ": face " + std::to_string(f) + " of mesh " +
                                         std::to_string(m) + " has no corners");
}

// Each glTF primitive's mesh has every triangle its indices make: the
// importer drops those with an index beyond the vertices.
void check_face_counts(const aiScene& scene, const std::vector<PrimitiveFaces>& primitives,
                       const std::string& path) {
    if (primitives.size() != scene.mNumMeshes)
        return;
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        if (primitives[m].triangles && scene.mMeshes[m]->mNumFaces != *primitives[m].triangles)
            throw Error({path, primitives[m].place},
                        "refers to a vertex it does not define: " +
                            std::to_string(*primitives[m].triangles - scene.mMeshes[m]->mNumFaces) +
                            " of its " + std::to_string(*primitives[m].triangles) +
                            " triangles name a vertex beyond its " +
                            std::to_string(scene.mMeshes[m]->mNumVertices));
}

// The importer's file system. Like the model file, whatever else it opens (a
// glTF's buffers, an OBJ's materials) must be a regular file: a FIFO would
// wait for ever and a device never end. A file that is missing is left to the
// reader, which may go on without it; one of another kind is refused, and
// the first refused said once the reader is done.
class RegularFileSystem : public Assimp::DefaultIOSystem {
  public:
    explicit RegularFileSystem(std::vector<std::string>* opened) : opened_(opened) {}

    // Without opening the file, which for a FIFO would wait.
    bool Exists(const char* file) const override {
        std::error_code error;
        return std::filesystem::exists(file, error);
    }

    Assimp::IOStream* Open(const char* file, const char* mode) override {
        if (!Exists(file))
            return nullptr;
        try {
            RegularFile{file};
        } catch (const std::runtime_error& e) {
            if (refused_.empty())
                refused_ = std::string(file) + ": " + e.what();
            return nullptr;
        }
        Assimp::IOStream* stream = DefaultIOSystem::Open(file, mode);
        if (stream && opened_)
            opened_->push_back(file);
        return stream;
    }

    // The first file refused and why, or empty.
    const std::string& refused() const { return refused_; }

  private:
    std::vector<std::string>* opened_; // may be null
    std::string refused_;
};

class FileReader {
  public:
    FileReader(const std::string& path, const std::string& prefix, const Transform& transform,
               std::vector<std::string>* also_read)
        : path_(path), names_(path, prefix), placement_(transform), also_read_(also_read) {}

    std::vector<Part> read() {
        const std::vector<PrimitiveFaces> primitives = check_model_file(path_);
        check_collada_file(path_);
        check_text_mesh_file(path_);
        const bool packaged = check_archive_file(path_);
        Assimp::Importer importer;
        auto* files = new RegularFileSystem(also_read_);
        importer.SetIOHandler(files); // the importer's to delete
        const auto kept_off =
            has_gltf_extension(path_) ? ReaderList() : without_gltf_readers(importer);
        // Points and lines are not surfaces: drop them.
        importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE,
                                    aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        // Validation runs first, before any step uses the file's indices, and
        // then ours, of what it lets pass and the steps would not; for a 3MF,
        // once the textures its importer freed are let go of.
        const aiScene* read =
            importer.ReadFile(path_, packaged ? 0u : unsigned(aiProcess_ValidateDataStructure));
        if (read && packaged) {
            let_go_of_freed_textures(*read);
            read = importer.ApplyPostProcessing(aiProcess_ValidateDataStructure);
        }
        if (!files->refused().empty())
            throw std::runtime_error(
                path_ + " names a file that cannot be read: " + printable(files->refused()));
        if (read && read->mRootNode) {
            check_faces(*read, path_);
            check_face_counts(*read, primitives, path_);
        }
        // Normals are the file's own; a mesh without them shades by its faces,
        // which costs no memory and shows the surface as the file states it.
        if (read && read->mRootNode)
            read = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_SortByPType |
                                                join_steps(path_));
        if (!read || !read->mRootNode)
            throw std::runtime_error("cannot read " + path_ + ": " +
                                     printable(one_line(importer.GetErrorString())));
        // Ours from here: each mesh is freed as soon as it is converted, so
        // the importer's copy and ours are not held whole at once.
        scene_.reset(importer.GetOrphanedScene());
        const aiNode* root = scene_->mRootNode;
        count_uses(root);
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
        name_parts(parts_, names_);
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

    // How many nodes use each mesh, without recursion and no deeper than the
    // walk below goes before it refuses the file.
    void count_uses(const aiNode* root) {
        uses_.assign(scene_->mNumMeshes, 0);
        std::vector<std::pair<const aiNode*, int>> stack{{root, 0}};
        while (!stack.empty()) {
            const auto [node, depth] = stack.back();
            stack.pop_back();
            for (unsigned i = 0; i < node->mNumMeshes; ++i)
                ++uses_[node->mMeshes[i]];
            if (depth < max_node_depth)
                for (unsigned i = 0; i < node->mNumChildren; ++i)
                    stack.push_back({node->mChildren[i], depth + 1});
        }
    }

    void add_part(const aiNode* node, const aiMatrix4x4& to_file, const std::string& path) {
        Part part;
        aiMatrix3x3 normal_matrix(to_file);
        normal_matrix.Inverse().Transpose();
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const aiMesh* mesh = scene_->mMeshes[node->mMeshes[i]];
            if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE))
                continue;
            const aiMaterial* material = mesh->mMaterialIndex < scene_->mNumMaterials
                                             ? scene_->mMaterials[mesh->mMaterialIndex]
                                             : nullptr;
            const bool shared_use = uses_[node->mMeshes[i]] > 1;
            const Affine to_world = placed(to_file);
            if (shared_use && instanceable(to_world)) {
                // Nodes that share a mesh share it here too: held once in its
                // own space, each node an instance of it.
                const SharedMesh& shared = shared_mesh(node->mMeshes[i]);
                check_placed_instance(shared.bounds, to_world, path_);
                if (part.instance_of.empty())
                    part.instance_of =
                        mesh->mName.length > 0 ? utf8_text(mesh->mName.C_Str()) : file_stem(path_);
                part.pieces.push_back({shared.mesh, base_color(material), to_world});
                continue;
            }
            part.pieces.push_back({std::make_shared<Mesh>(convert(*mesh, to_file, normal_matrix)),
                                   base_color(material)});
            // No other node uses it: the importer's copy has served.
            if (!shared_use) {
                delete scene_->mMeshes[node->mMeshes[i]];
                scene_->mMeshes[node->mMeshes[i]] = nullptr;
            }
        }
        if (!part.pieces.empty()) {
            names_.add(path);
            parts_.push_back(std::move(part));
        }
    }

    // The mesh in world space.
    Mesh convert(const aiMesh& in, const aiMatrix4x4& to_file, const aiMatrix3x3& normal_matrix) {
        return convert(
            in,
            [&](const aiVector3D& p) {
                const aiVector3D v = to_file * p;
                return placement_.point({v.x, v.y, v.z});
            },
            [&](const aiVector3D& n) {
                const aiVector3D v = normal_matrix * n;
                return normalize(placement_.normal({v.x, v.y, v.z}));
            });
    }

    struct SharedMesh {
        std::shared_ptr<const Mesh> mesh;
        Bounds bounds;
    };

    // A mesh that several nodes use, in its own space, converted once.
    const SharedMesh& shared_mesh(unsigned index) {
        auto [at, added] = shared_.try_emplace(index);
        if (added) {
            at->second.mesh = std::make_shared<const Mesh>(convert(
                *scene_->mMeshes[index],
                [](const aiVector3D& p) {
                    return Vec3{p.x, p.y, p.z};
                },
                [](const aiVector3D& n) {
                    return normalize(Vec3{n.x, n.y, n.z});
                }));
            at->second.bounds = at->second.mesh->bounds();
        }
        return at->second;
    }

    // Where a node's instance of a shared mesh stands: the model's placement
    // after the node's place in the file.
    Affine placed(const aiMatrix4x4& to_file) const {
        const aiMatrix4x4& m = to_file;
        const Affine in_file{{{m.a1, m.b1, m.c1}, {m.a2, m.b2, m.c2}, {m.a3, m.b3, m.c3}},
                             {m.a4, m.b4, m.c4}};
        return placement_.affine() * in_file;
    }

    template <class Point, class Normal>
    Mesh convert(const aiMesh& in, const Point& point, const Normal& normal) {
        Mesh mesh;
        mesh.positions.reserve(in.mNumVertices);
        for (unsigned i = 0; i < in.mNumVertices; ++i) {
            const Vec3 p = point(in.mVertices[i]);
            check_placed_vertex(p, path_);
            mesh.positions.push_back(p);
        }
        if (in.mNormals) {
            mesh.normals.reserve(in.mNumVertices);
            for (unsigned i = 0; i < in.mNumVertices; ++i)
                mesh.normals.push_back(normal(in.mNormals[i]));
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

    std::string path_;
    PartNames names_;
    Placement placement_;
    std::vector<std::string>* also_read_; // may be null
    std::unique_ptr<aiScene> scene_;
    std::vector<Part> parts_;
    std::vector<unsigned> uses_; // by mesh
    std::unordered_map<unsigned, SharedMesh> shared_;
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
        check_placed_vertex(p, what);
    }
    for (Vec3& n : mesh.normals)
        n = placement.normal(n);
    Part part;
    part.name = model.name;
    part.pieces.push_back({std::make_shared<Mesh>(std::move(mesh)), default_grey});
    return {std::move(part)};
}

// The rule a scene file's colours keep, for each colour a file gives its
// parts: a colour beyond a float's range, or NaN, would reach the image as
// such, one beyond max_color could make the light it reflects so, and the
// scene's materials are found by colour.
void check_colors(const std::vector<Part>& parts, const std::string& path) {
    for (const Part& part : parts)
        for (const Piece& piece : part.pieces) {
            const Vec3 c = piece.color;
            const std::string fault = !finite(c) ? "is not finite"
                                      : c.x < 0.0f || c.y < 0.0f || c.z < 0.0f
                                          ? "cannot be negative"
                                      : std::max({c.x, c.y, c.z}) > max_color
                                          ? "has a channel above " + number_text(max_color)
                                          : "";
            if (!fault.empty())
                throw Error({path, "part '" + printable(part.name) + "'"},
                            "colour (" + number_text(c.x) + ", " + number_text(c.y) + ", " +
                                number_text(c.z) + ") " + fault);
        }
}

std::vector<Part> file_parts(const ModelDescription& model, const std::string& path,
                             std::vector<std::string>* also_read) {
    if (is_step_file(model.file))
        return load_step(model, path);
    if (lowercase_extension(model.file) == "obj")
        return read_obj(path, model.name, model.transform, also_read);
    return FileReader(path, model.name, model.transform, also_read).read();
}

} // namespace

std::string model_path(const ModelDescription& model, const std::string& base_dir) {
    if (model.file.empty() || model.file[0] == '/' || base_dir.empty())
        return model.file;
    return base_dir + (base_dir.back() == '/' ? "" : "/") + model.file;
}

std::vector<Part> load_model(const ModelDescription& model, const std::string& base_dir,
                             std::vector<std::string>* also_read) {
    if (model.shape)
        return shape_parts(model);
    const std::string path = model_path(model, base_dir);
    std::vector<Part> parts = file_parts(model, path, also_read);
    check_colors(parts, path);
    return parts;
}

std::vector<Part> load_parts(const SceneDescription& description,
                             std::vector<std::string>* also_read) {
    std::vector<Part> parts;
    for (const ModelDescription& model : description.models) {
        std::vector<Part> loaded;
        try {
            loaded = load_model(model, description.base_dir, also_read);
        } catch (const std::runtime_error& e) {
            // Which of a scene's models it is; one named on the command line
            // says so itself. Its file's name may hold any text.
            if (model.where.file.empty())
                throw;
            throw Error(model.where, printable(e.what()));
        }
        for (Part& part : loaded)
            parts.push_back(std::move(part));
    }
    return parts;
}

} // namespace xr
