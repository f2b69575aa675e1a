// Models from files: every format loads the generated assembly, and x-ray on
// one part shows the parts inside it.
#include "tests/render/render_fixture.h"
#include "tests/render/scratch_dir.h"

#include "render/cli/preflight.h"
#include "render/setup/model_file_check.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"

#include <cmath>
#include <cstring>
#include <fstream>

using namespace xr;

namespace {

const std::string fixtures = FIXTURES;

std::vector<Part> load(const std::string& file) {
    ModelDescription model;
    model.file = file;
    return load_model(model, fixtures);
}

// The pixel a point lands on.
void project(const Camera& camera, Vec3 point, int width, int height, int& x, int& y) {
    const Vec3 forward = normalize(camera.target - camera.eye);
    const Vec3 right = normalize(cross(forward, camera.up)), up = cross(right, forward);
    const Vec3 d = point - camera.eye;
    const float half_height = std::tan(camera.fov_y * 0.5f * 3.14159265f / 180.0f);
    const float half_width = half_height * float(width) / float(height);
    const float sx = dot(d, right) / dot(d, forward) / half_width;
    const float sy = dot(d, up) / dot(d, forward) / half_height;
    x = int((sx + 1.0f) * 0.5f * float(width));
    y = int((1.0f - sy) * 0.5f * float(height));
}

TEST(Models, EveryFormatLoadsTheGeneratedAssembly) {
    // Formats that keep the hierarchy and materials name the parts and keep
    // their colours; the others hold the same triangles in one part.
    const struct {
        const char* file;
        bool named;
    } formats[] = {{"assembly.obj", true},  {"assembly.gltf", true}, {"assembly.glb", true},
                   {"assembly.fbx", true},  {"assembly.dae", true},  {"assembly.3mf", false},
                   {"assembly.stl", false}, {"assembly.ply", false}};
    for (const auto& format : formats) {
        SCOPED_TRACE(format.file);
        const std::vector<Part> parts = load(format.file);
        size_t triangles = 0;
        for (const Part& part : parts) {
            triangles += part.triangles();
            // Embree loads vertices 16 bytes at a time, in place: the 4 bytes
            // past the last one are the block's own, and zero.
            for (const Piece& piece : part.pieces) {
                const auto& positions = piece.mesh->positions;
                uint32_t past = 1;
                std::memcpy(&past, positions.data() + positions.size(), sizeof past);
                EXPECT_EQ(past, 0u);
            }
        }
        EXPECT_EQ(triangles, 36u);
        if (!format.named)
            continue;
        ASSERT_EQ(parts.size(), 3u);
        const Part& core = parts[1];
        EXPECT_EQ(core.name.substr(core.name.find_last_of('/') + 1), "core");
        ASSERT_EQ(core.pieces.size(), 1u);
        EXPECT_NEAR(core.pieces[0].color.x, 0.9f, 1e-6f);
        EXPECT_NEAR(core.pieces[0].color.y, 0.1f, 1e-6f);
        // Boxes keep their sharp edges: each face has its own corners and normals.
        EXPECT_EQ(core.pieces[0].mesh->positions.size(), 24u);
        EXPECT_EQ(core.pieces[0].mesh->normals.size(), 24u);
    }
}

class ModelFiles : public ScratchDir {};

// A mesh the file gives no normals keeps none: it shades by its faces and
// costs no memory for normals. A vertex whose normal is zero takes its faces'.
TEST_F(ModelFiles, MeshesWithoutUsableNormalsShadeByTheirFaces) {
    write_text("tetra.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                            "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n");
    write_text("square.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 0\nvn 0 0 1\n"
                             "f 1//1 2//2 3//2\nf 1//1 3//2 4//2\n");
    ModelDescription model;
    model.file = "tetra.obj";
    const auto tetra = load_model(model, dir).at(0).pieces.at(0).mesh;
    EXPECT_EQ(tetra->positions.size(), 4u);
    EXPECT_TRUE(tetra->normals.empty());
    const Vec3 n = tetra->normal(3, 0.2f, 0.3f), face = normalize(tetra->face_normal(3));
    EXPECT_FLOAT_EQ(dot(n, face), 1.0f);

    model.file = "square.obj";
    const auto square = load_model(model, dir).at(0).pieces.at(0).mesh;
    for (uint32_t t = 0; t < 2; ++t)
        for (const auto& [u, v] : {std::pair{0.0f, 0.0f}, std::pair{0.3f, 0.3f}})
            EXPECT_FLOAT_EQ(square->normal(t, u, v).z, 1.0f) << t << " " << u;

    // A sheet whose two sides share its vertices: their faces cancel out.
    write_text("sheet.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 0\n"
                            "f 1//1 2//1 3//1\nf 1//1 3//1 2//1\n");
    model.file = "sheet.obj";
    const auto sheet = load_model(model, dir).at(0).pieces.at(0).mesh;
    EXPECT_FLOAT_EQ(std::fabs(sheet->normal(0, 0.2f, 0.3f).z), 1.0f);
}

// A glTF of one triangle under a chain of nodes whose names are `name`; each
// node may name its child twice, which makes a tree of 2^depth paths.
std::string
chain_gltf(int depth, const std::string& name, bool twice = false,
           const std::string& buffer = "data:application/octet-stream;base64,"
                                       "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA") {
    std::string nodes;
    for (int i = 0; i < depth; ++i) {
        const std::string child = std::to_string(i + 1);
        nodes += (i ? "," : "") + std::string("{\"name\":\"") + name + "\"" +
                 (i + 1 == depth ? ",\"mesh\":0"
                                 : ",\"children\":[" + child + (twice ? "," + child : "") + "]") +
                 "}";
    }
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[)" + nodes +
           R"(],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
           R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3",)"
           R"("min":[0,0,0],"max":[1,1,0]}],"bufferViews":[{"buffer":0,"byteLength":36}],)"
           R"("buffers":[{"byteLength":36,"uri":")" +
           buffer + "\"}]}";
}

std::string ply(const std::string& format, const std::string& body) {
    return "ply\nformat " + format +
           " 1.0\nelement vertex 3\nproperty float x\nproperty float "
           "y\nproperty float z\nelement face 1\nproperty list uchar int vertex_indices\n"
           "end_header\n" +
           body;
}

// Each bad file is refused in one line that names it and says why, before
// the importer or the walk through its nodes could crash or read elsewhere.
TEST_F(ModelFiles, BadFilesAreRefusedInOneLineNamingThem) {
    std::string binary_face = {3};
    for (const int index : {0, 1, 2000000})
        binary_face.append(reinterpret_cast<const char*>(&index), sizeof index);
    const std::string binary_vertices(36, '\0');
    const struct {
        std::string file, text, says;
    } cases[] = {
        {"missing.obj", "", "No such file"},
        {FIXTURES "/assembly.bin", "", "assembly.bin"},
        {"neg.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3 0 1 -1\n"), "out of range"},
        {"five.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3 0 1 5\n"), "out of range"},
        {"big.ply", ply("binary_little_endian", binary_vertices + binary_face), "out of range"},
        {"deep.gltf", chain_gltf(max_node_depth + 1, "n"), "nested more than 1024 deep"},
        {"twice.gltf", chain_gltf(40, "n", true), "is the child of two nodes"},
        {"long.gltf", chain_gltf(6, std::string(1000, 'n')), "longer than 4096 bytes"},
        {"passwd.gltf", chain_gltf(1, "n", false, "/etc/passwd"), "outside the model's folder"},
        {"up.gltf", chain_gltf(1, "n", false, "sub/%2E%2E/../outside.bin"),
         "outside the model's folder"},
    };
    write_text("outside.bin", std::string(36, '\0'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        if (!c.text.empty())
            write_text(c.file, c.text);
        ModelDescription model;
        model.file = c.file;
        try {
            load_model(model, dir);
            ADD_FAILURE();
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(model_path(model, dir)), std::string::npos) << what;
            EXPECT_NE(what.find(c.says), std::string::npos) << what;
            EXPECT_EQ(what.find('\n'), std::string::npos) << what;
        }
    }
}

} // namespace

// The housing wears x-ray through --xray; the red core and the flagged green
// tag inside it stay matte.
class XrayOnOnePart : public ::testing::TestWithParam<const char*> {
  protected:
    Image render_with(XraySettings housing, const char* flagged) {
        RenderOptions o;
        o.model = fixtures + "/" + GetParam();
        o.xray = {"*housing"};
        o.material = housing;
        o.width = 96;
        o.height = 64;
        SceneDescription d = describe(o);
        d.camera.eye = Vec3{0.0f, 0.0f, 6.0f};
        d.camera.target = Vec3{0.0f, 0.0f, 0.0f};
        d.camera.fov = 40.0f;
        if (flagged) {
            Assignment tag;
            tag.parts = flagged;
            tag.flagged = true;
            d.assign.push_back(tag);
        }
        const std::unique_ptr<Scene> scene = build_scene(d, load_parts(d));
        camera = scene->camera;
        RenderSettings settings = d.settings;
        settings.samples = 4;
        RenderStats stats;
        return render({*scene, xray_shader(), settings}, stats);
    }
    Color at(const Image& image, Vec3 point) {
        int x = 0, y = 0;
        project(camera, point, image.width, image.height, x, y);
        return image.at(x, y);
    }

    Camera camera;
    const Vec3 core{-0.7f, 0.0f, 0.4f}, tag{0.7f, 0.0f, 0.4f}; // their front faces
};

TEST_P(XrayOnOnePart, ShowsTheSolidPartInsideAndLeavesTheFlaggedOneUntouched) {
    XraySettings clear;
    param(clear, "power")[0] = 0.0f;
    param(clear, "specular_weight")[0] = 0.0f;
    const Image see_through = render_with(clear, nullptr);

    // Squarely faced, a power-2 housing is nearly all see-through: the red core shows.
    XraySettings xray = clear;
    param(xray, "power")[0] = 2.0f;
    const Color core_seen = at(render_with(xray, nullptr), core);
    expect_near_color(core_seen, at(see_through, core), 0.05f);
    EXPECT_GT(core_seen.r, 2.0f * core_seen.b);

    // Inverted, the housing keeps its own blue there, but gives no result
    // where the flagged tag lies behind it: the tag shows as it is.
    param(xray, "invert")[0] = 1.0f;
    param(xray, "skip_flagged")[0] = 1.0f;
    const Image inverted = render_with(xray, "*tag");
    const Color core_hidden = at(inverted, core);
    EXPECT_GT(core_hidden.b, 2.0f * core_hidden.r);
    expect_near_color(at(inverted, tag), at(see_through, tag), 0.03f);
}

INSTANTIATE_TEST_SUITE_P(Files, XrayOnOnePart, ::testing::Values("assembly.gltf", "assembly.obj"),
                         [](const auto& info) { return std::string(info.param).substr(9); });
