// Models from files: every format loads the generated assembly, and x-ray on
// one part shows the parts inside it; a STEP assembly keeps its tree, colours,
// units and instances.
#include "tests/render/render_fixture.h"
#include "tests/render/scratch_dir.h"

#include "render/cli/preflight.h"
#include "render/setup/archive_check.h"
#include "render/setup/model_file_check.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/step_mesher.h"

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <minizip/zip.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

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
                   {"assembly.fbx", true},  {"assembly.dae", true},  {"assembly.step", true},
                   {"assembly.3mf", false}, {"assembly.stl", false}, {"assembly.ply", false}};
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

// A glTF of a mesh "m" with three vertices and the indices of two triangles
// (24 bytes, in base64).
std::string indexed_gltf(const std::string& indices) {
    return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],)"
           R"("nodes":[{"mesh":0}],"meshes":[{"name":"m","primitives":[{"attributes":)"
           R"({"POSITION":0},"indices":1}]}],"accessors":[{"bufferView":0,"componentType":5126,)"
           R"("count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},{"bufferView":1,)"
           R"("componentType":5125,"count":6,"type":"SCALAR"}],"bufferViews":[{"buffer":0,)"
           R"("byteLength":36},{"buffer":0,"byteOffset":36,"byteLength":24}],)"
           R"("buffers":[{"byteLength":60,"uri":"data:application/octet-stream;base64,)"
           "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA" +
           indices + "\"}]}";
}

// A COLLADA file of one triangle, with `library` in its library of nodes and
// `scene` in its scene.
std::string collada(const std::string& library, const std::string& scene) {
    return R"(<?xml version="1.0"?><COLLADA version="1.4.1"><library_geometries>)"
           R"(<geometry id="g"><mesh><source id="p"><float_array id="a" count="9">)"
           R"(0 0 0 1 0 0 0 1 0</float_array><technique_common>)"
           R"(<accessor source="#a" count="3" stride="3"><param name="X" type="float"/>)"
           R"(<param name="Y" type="float"/><param name="Z" type="float"/></accessor>)"
           R"(</technique_common></source><vertices id="v"><input semantic="POSITION" )"
           R"(source="#p"/></vertices><triangles count="1"><input semantic="VERTEX" source="#v" )"
           R"(offset="0"/><p>0 1 2</p></triangles></mesh></geometry></library_geometries>)"
           "<library_nodes>" +
           library + R"(</library_nodes><library_visual_scenes><visual_scene id="s">)" + scene +
           R"(</visual_scene></library_visual_scenes><scene><instance_visual_scene url="#s"/>)"
           "</scene></COLLADA>";
}

// Library nodes with ids of two characters (their paths stay short), each
// using the next `copies` times; the last holds the triangle.
std::string instance_chain(int levels, int copies = 1) {
    const std::string digits = "abcdefghijklmnopqrstuvwxyz0123456789";
    auto id = [&](int i) { return std::string{digits[i / 36], digits[i % 36]}; };
    std::string nodes;
    for (int i = 0; i < levels; ++i) {
        nodes += "<node id=\"" + id(i) + "\">";
        for (int k = 0; k < copies && i + 1 < levels; ++k)
            nodes += "<instance_node url=\"#" + id(i + 1) + "\"/>";
        nodes += i + 1 < levels ? "</node>" : "<instance_geometry url=\"#g\"/></node>";
    }
    return nodes;
}

// `inner` inside `levels` elements named `name`.
std::string nested(const std::string& name, int levels, const std::string& inner) {
    std::string text;
    for (int i = 0; i < levels; ++i)
        text += "<" + name + ">";
    text += inner;
    for (int i = 0; i < levels; ++i)
        text += "</" + name + ">";
    return text;
}

const std::string uses_chain = R"(<node id="r"><instance_node url="#aa"/></node>)";

std::string step_file(const std::string& data) {
    return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
           "FILE_NAME('chain','',(''),(''),'','','');\n"
           "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\n"
           "ENDSEC;\nDATA;\n" +
           data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

// A STEP file of products p0 to p(levels - 1), each the assembly of the
// next (`copies` times over), without shapes; the last may hold the first.
std::string chain_step(int levels, bool loop = false, int copies = 1) {
    std::string text = "#9999998=APPLICATION_CONTEXT('');\n"
                       "#9999999=PRODUCT_DEFINITION_CONTEXT('',#9999998,'design');\n";
    auto definition = [](int i) { return "#" + std::to_string(3 * i + 3); };
    for (int i = 0; i < levels; ++i) {
        const std::string n = std::to_string(i), e = std::to_string(3 * i + 1);
        text += "#" + e + "=PRODUCT('p" + n + "','p" + n + "','',());\n#" +
                std::to_string(3 * i + 2) + "=PRODUCT_DEFINITION_FORMATION('','',#" + e + ");\n" +
                definition(i) + "=PRODUCT_DEFINITION('design',''," + "#" +
                std::to_string(3 * i + 2) + ",#9999999);\n";
    }
    int id = 3 * levels + 1;
    for (int i = 0; i + 1 < levels || (loop && i < levels); ++i)
        for (int k = 0; k < copies; ++k)
            text += "#" + std::to_string(id++) + "=NEXT_ASSEMBLY_USAGE_OCCURRENCE('" +
                    std::to_string(i) + "','','', " + definition(i) + "," +
                    definition((i + 1) % levels) + ",$);\n";
    return step_file(text);
}

// The same of shapes: representations #10, #12, ..., each mapping the next
// `copies` times through its map (#11, #13, ...).
std::string mapped_step(int levels, bool loop = false, int copies = 1) {
    std::string text = "#1=CARTESIAN_POINT('',(0.,0.,0.));\n#2=AXIS2_PLACEMENT_3D('',#1,$,$);\n"
                       "#3=REPRESENTATION_CONTEXT('','');\n";
    int id = 2 * levels + 10;
    for (int i = 0; i < levels; ++i) {
        std::string items = "#2";
        for (int k = 0; k < copies && (i + 1 < levels || loop); ++k) {
            text += "#" + std::to_string(id) + "=MAPPED_ITEM('',#" +
                    std::to_string(2 * ((i + 1) % levels) + 11) + ",#2);\n";
            items += ",#" + std::to_string(id++);
        }
        text += "#" + std::to_string(2 * i + 10) + "=SHAPE_REPRESENTATION('',(" + items +
                "),#3);\n#" + std::to_string(2 * i + 11) + "=REPRESENTATION_MAP(#2,#" +
                std::to_string(2 * i + 10) + ");\n";
    }
    return step_file(text);
}

std::string fixture_text(const std::string& file) {
    std::ifstream in(fixtures + "/" + file);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

std::string ply(const std::string& format, const std::string& body) {
    return "ply\nformat " + format +
           " 1.0\nelement vertex 3\nproperty float x\nproperty float "
           "y\nproperty float z\nelement face 1\nproperty list uchar int vertex_indices\n"
           "end_header\n" +
           body;
}

// A 3MF of the files, each stored as it is; one whose size is `stated` is
// said to inflate to that.
struct Archived {
    std::string name, data;
    uint64_t stated = 0;
};

void write_3mf(const std::string& path, const std::vector<Archived>& files) {
    const std::string relations =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Target="/3D/3dmodel.model" Id="r" )"
        R"(Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>)";
    // After what the file holds already, as a self-extracting archive is.
    const zipFile zip =
        zipOpen64(path.c_str(),
                  std::filesystem::exists(path) ? APPEND_STATUS_CREATEAFTER : APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    std::vector<Archived> all = {{"_rels/.rels", relations}};
    all.insert(all.end(), files.begin(), files.end());
    for (const Archived& file : all) {
        const zip_fileinfo info{};
        const int raw = file.stated > 0;
        ASSERT_EQ(zipOpenNewFileInZip2(zip, file.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                       nullptr, 0, 0, raw),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zip, file.data.data(), unsigned(file.data.size())), ZIP_OK);
        ASSERT_EQ(raw ? zipCloseFileInZipRaw64(zip, file.stated, 0) : zipCloseFileInZip(zip),
                  ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

// A 3MF's model of the resources, which builds object 2.
std::string model_3mf(const std::string& resources) {
    return "<model><resources>" + resources +
           R"(</resources><build><item objectid="2"/></build></model>)";
}

void write_3mf_model(const std::string& path, const std::string& resources,
                     const std::string& entry = "3D/3dmodel.model") {
    write_3mf(path, {{entry, model_3mf(resources)}});
}

// A mesh of two triangles, the second with these attributes.
std::string two_triangles(const std::string& second = R"(v1="2" v2="1" v3="0")") {
    return R"(<mesh><vertices><vertex x="0" y="0" z="0"/><vertex x="1" y="0" z="0"/>)"
           R"(<vertex x="0" y="1" z="0"/></vertices><triangles>)"
           R"(<triangle v1="0" v2="1" v3="2"/><triangle )" +
           second + "/></triangles></mesh>";
}

std::string component(int object, const std::string& attributes = "") {
    return R"(<component objectid=")" + std::to_string(object) + "\" " + attributes + "/>";
}

// Object 1, of two triangles and these attributes, and levels of objects
// above it, each using the one below `uses` times, with object 2 at the top.
std::string object_levels(int levels, int uses, const std::string& attributes = "") {
    std::string objects = R"(<object id="1" )" + attributes + ">" + two_triangles() + "</object>";
    for (int level = 2; level <= levels; ++level) {
        objects +=
            "<object id=\"" + std::to_string(level == levels ? 2 : 100 + level) + "\"><components>";
        for (int use = 0; use < uses; ++use)
            objects +=
                component(level == 2 ? 1 : 99 + level, "transform=\"1 0 0 0 1 0 0 0 1\t0 0 1\"");
        objects += "</components></object>";
    }
    return objects;
}

// Materials' extension, as exporters write it.
const std::string texture_group =
    R"(<m:texture2dgroup id="6" texid="9"><m:tex2coord u="0" v="0"/><m:tex2coord u="1" )"
    R"(v="0"/></m:texture2dgroup>)";

// Each bad file is refused in one line that names it and says why, before
// the importer or the walk through its nodes could crash or read elsewhere.
TEST_F(ModelFiles, BadFilesAreRefusedInOneLineNamingThem) {
    std::string binary_face = {3};
    for (const int index : {0, 1, 2000000})
        binary_face.append(reinterpret_cast<const char*>(&index), sizeof index);
    const std::string binary_vertices(36, '\0');
    // The importer reads the first of two keys, and nlohmann the last.
    std::string deep_then_no_nodes = chain_gltf(max_node_depth + 1, "n");
    deep_then_no_nodes.insert(deep_then_no_nodes.size() - 1, ",\"nodes\":[]");
    const struct {
        std::string file, text, says;
    } cases[] = {
        {"missing.obj", "", "No such file"},
        {FIXTURES "/assembly.bin", "", "assembly.bin"},
        {"neg.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3 0 1 -1\n"), "out of range"},
        {"five.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3 0 1 5\n"), "out of range"},
        {"big.ply", ply("binary_little_endian", binary_vertices + binary_face), "out of range"},
        {"far.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n",
         "far.obj:4:7: refers to position 4, which it does not define"},
        {"back.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -1 -2 -4\n", ":4:9: refers to position -4"},
        {"normal.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//2 3//1\n",
         ":5:8: refers to normal 2"},
        {"uv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2/1 3\n", "refers to texture coordinate 1"},
        {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 0 2\n", ":4:5: refers to position 0"},
        // The reader takes what is not a number as 0, and a line ending in CR
        // alone as ended.
        {"nan.obj", "v 0 0 0\rv 1 0 0\rv nan 0 0\rf 1 2 3\r", "nan.obj:3:3: 'nan' is not a finite"},
        // Lines ending where the reader's buffer does: CR LF split, and a CR alone.
        {"split.obj", "#" + std::string(65534, 'x') + "\r\nv 0 0 0\nv 0 inf 0\n", ":3:5: 'inf'"},
        {"lone.obj", "#" + std::string(65534, 'x') + "\rv 0 0 0\rv 0 0 -nan\r", ":3:7: '-nan'"},
        {"word.obj", "v 0 0 0\nv 1 0 0\nv 0 1x 0\nf 1 2 3\n", ":3:5: '1x' is not a finite"},
        {"far_normal.obj", "v 0 0 0\nvn 0 0 1e39\n", ":2:8: '1e39' is not a finite number"},
        {"short.obj", "v 0 0 0\nv 1 0\n", "short.obj: line 2: expected three coordinates"},
        {"hot.obj", "mtllib hot.mtl\nusemtl hot\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "part 'defaultobject': colour (inf, 0, 0) is not finite"},
        {"cold.obj", "mtllib cold.mtl\nusemtl cold\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "colour (0, -1, 0) cannot be negative"},
        {"bright.obj", "mtllib bright.mtl\nusemtl bright\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "colour (20000, 0, 0) has a channel above 10000"},
        // The reader takes a colour's words that are not numbers as 0.
        {"nan_kd.obj", "mtllib nan.mtl\nusemtl a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "nan.mtl:3:4: 'nan' is not a finite number"},
        {"word_kd.obj", "mtllib word.mtl\nusemtl a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "word.mtl:2:6: 'x' is not a finite number"},
        {"pair_kd.obj", "mtllib pair.mtl\nusemtl a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "pair.mtl: line 2: expected a colour of one value or three"},
        // A face without corners would stop the program in triangulation.
        {"cornerless.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n0\n"), "has no corners"},
        // A pipe would hang the load.
        {"pipe.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "pipe.mtl"},
        {"lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\nl 1 2 3\n", "has no faces"},
        {"huge.obj", "v 1e30 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "beyond"},
        // The reader takes an exponent beyond an int as 0, and corners by atoi.
        {"exponent.obj", "v 1e99999999999 0 0\n", ":1:3: '1e99999999999' is not a finite"},
        {"wrap.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 4294967297 2 3\n",
         ":4:3: '4294967297' is beyond an index's range"},
        {"fraction.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2/1.9 3\n",
         ":4:7: '1.9' is not a whole number"},
        {"trailing.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf 1// 2 3\n",
         ":5:6: an index is left out"},
        // Read by Assimp, whose files must be regular files too.
        {"pipe_obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "pipe.mtl: not a regular file"},
        {"pipe.gltf", chain_gltf(1, "n", false, "pipe.bin"), "pipe.bin: not a regular file"},
        // Assimp fills a PLY cut short with zeros, takes an STL cut short as
        // whole, and drops a glTF's face with an index beyond its vertices.
        {"cut.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3 0 1\n"),
         "cut short: it holds 0 of the 1 'face' elements its header gives"},
        {"cut_binary.ply", ply("binary_little_endian", binary_vertices),
         "the 1 'face' elements its header gives take more than the 0 bytes left"},
        {"long_list.ply",
         ply("binary_little_endian", binary_vertices + "\xff" + binary_face.substr(1)),
         "long_list.ply is cut short: it holds 0 of the 1 'face' elements its header gives"},
        // ...and reserves room for the count a header gives, which in an OFF
        // it reads by its digits alone.
        {"many.ply",
         replaced(ply("binary_big_endian", binary_vertices), "vertex 3", "vertex 2147483648"),
         "the 2147483648 'vertex' elements its header gives take more than the 36 bytes"},
        {"many.off", "OFF\n3 2147483647 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
         "its header counts 3 vertices and 2147483647 faces, more than its 45 bytes"},
        {"wrap.off", "OFF\n3 4294967297 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", "4294967297 faces"},
        {"negative.off", "COFF\n-1 1 0\n0 0 0\n", "negative.off: '-1' is not a count of vertices"},
        // ...and waits for ever for the end of a PLY's header.
        {"header.ply", "ply\nformat binary_little_endian 1.0\n", "cut short in its header"},
        {"cut.stl",
         "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
         "vertex 0 1 0\nendloop\nendfacet\n",
         "cut short: its last solid has no 'endsolid'"},
        {"beyond.gltf", indexed_gltf("AAAAAAEAAAACAAAAAAAAAAEAAAADAAAA"),
         "/meshes/0/primitives/0: refers to a vertex"},
        // What the importer says of a file is shown as it prints.
        {"escape.gltf",
         replaced(indexed_gltf("AwAAAAQAAAAFAAAAAwAAAAQAAAAFAAAA"), "\"m\"", "\"m\\u001b[2J\""),
         "Mesh \"m\\x1b[2J\" has no faces"},
        {"deep.gltf", chain_gltf(max_node_depth + 1, "n"), "nested more than 1024 deep"},
        {"twice.gltf", chain_gltf(40, "n", true), "is the child of two nodes"},
        {"arrays.gltf", "{\"a\": " + std::string(257, '[') + std::string(257, ']') + "}",
         "arrays.gltf: values nested more than 256 deep"},
        {"long.gltf", chain_gltf(6, std::string(1000, 'n')), "longer than 4096 bytes"},
        {"passwd.gltf", chain_gltf(1, "n", false, "/etc/passwd"), "outside the model's folder"},
        {"spaced.gltf", std::string(20, ' ') + chain_gltf(1, "n", false, "/etc/passwd"),
         "outside the model's folder"},
        {"latin1.gltf", chain_gltf(max_node_depth + 1, "n\xe9"), "/nodes/0/name: not JSON"},
        {"again.gltf", deep_then_no_nodes, "/nodes: given twice"},
        // Only a glTF's name makes it one: it is checked, and others are not read as one.
        {"gltf.txt", chain_gltf(1, "n"), "No suitable reader"},
        {"up.gltf", chain_gltf(1, "n", false, "sub/%2E%2E/../outside.bin"),
         "outside the model's folder"},
        {"text.step", "solid cube\nendsolid\n", "not a STEP file"},
        // The parser wraps the number; those in a comment or string are text.
        {"wrap.step",
         "ISO-10303-21;\n/* #4294967296, 1.E300 */ HEADER;\nFILE_NAME('#9999999999''#0/*', '');\n"
         "ENDSEC;\nDATA;\n#2147483648=CARTESIAN_POINT('',(0.,0.,0.));\n",
         "names entity #2147483648 on line 6"},
        // The geometry kernel crashed on the first and looped for ever on the second.
        {"huge_circle.step",
         replaced(fixture_text("gearbox.step"), "CIRCLE('',#787,12.)", "CIRCLE('',#787,1.E300)"),
         "the number 1.E300 on line"},
        {"huge_sphere.step",
         "ISO-10303-21;\nHEADER;\nFILE_NAME('1.E300,', '');\nENDSEC;\nDATA;\n"
         "#1=SPHERICAL_SURFACE('',#2, -2E+400 );\n",
         "the number -2E+400 on line 6 is beyond ±1e+150"},
        // After a comment, which the reader drops, as after a blank.
        {"comment_sphere.step",
         "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=SPHERICAL_SURFACE('',#2,/* r */1.E300);\n",
         "the number 1.E300 on line 5"},
        // Judged whole, however many digits it has before its point.
        {"long_sphere.step",
         "ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=SPHERICAL_SURFACE('',#2,1" +
             std::string(200, '0') + ".);\n",
         "the number 1" + std::string(63, '0') + "... on line 5 is beyond"},
        {"cut.step", fixture_text("gearbox.step").substr(0, 300000), "cut short"},
        {"self.step", chain_step(1, true), "product 'p0' contains itself"},
        {"loop.step", chain_step(3, true), "contains itself, through product 'p2'"},
        // Shapes nest through the representations their mapped items place.
        {"self_mapped.step", mapped_step(1, true), "representation #10 contains itself"},
        {"loop_mapped.step", mapped_step(3, true), "contains itself, through representation #14"},
        {"deep_mapped.step", mapped_step(max_node_depth + 1), "nests deeper than 1024 levels"},
        {"wide_mapped.step", mapped_step(22, false, 2),
         "more than 1048576 parts, at representation"},
        // Fields the parser could not read: OpenCASCADE crashed on the first
        // and left the face out of the second.
        {"fields.step",
         replaced(fixture_text("gearbox.step"), "ITEM_DEFINED_TRANSFORMATION('','',#11,#19)",
                  "CARTESIAN_TRANSFORMATION_OPERATOR_3D('',$,$,#12,1.,$)"),
         "entity #881 (CARTESIAN_TRANSFORMATION_OPERATOR_3D) cannot be read: Count of Parameters"},
        {"face.step",
         replaced(fixture_text("gearbox.step"), "ADVANCED_FACE('',(#100),#114,.F.)",
                  "ADVANCED_FACE('',(#100),#114)"),
         "entity #99 (ADVANCED_FACE) cannot be read"},
        // A face on a plane its edges are not in, which its area cannot be
        // measured on either.
        {"unmeshable.step",
         replaced(fixture_text("box_and_cone.step"), "#35 = DIRECTION('',(1.,0.,-0.));",
                  "#35 = DIRECTION('',(0.,0.,1.));"),
         "part 'pair': 1 of its 8 faces cannot be meshed"},
        {"deep.step", chain_step(max_node_depth + 1), "nests deeper than 1024 levels"},
        {"hollow.step", chain_step(2), "has no faces"},
        {"dangling.step", replaced(fixture_text("gearbox.step"), "(#11,#97)", "(#11,#9999999)"),
         "refers to entity #9999999, which it does not define"},
        {"wide.step", chain_step(22, false, 2), "expands to more than 1048576 parts, at product"},
        // COLLADA's importer recurses through nested elements and the nodes
        // that nodes instance, and builds every use of an instanced node.
        // ...and reserves room for the values an array counts before it reads one.
        {"count.dae",
         replaced(collada("", "<node><instance_geometry url=\"#g\"/></node>"), "count=\"9\"",
                  "count=\"1000000000\""),
         "<float_array> 'a' counts 1000000000, more than its"},
        {"deep.dae",
         collada("", nested("node", max_node_depth + 1, "<instance_geometry url=\"#g\"/>")),
         "has <node> elements nested more than 1024 deep"},
        {"chain.dae", collada(instance_chain(max_node_depth), uses_chain),
         "nested more than 1024 deep, counting the nodes they instance"},
        {"loop.dae",
         collada(R"(<node id="c0"><node id="c1"><instance_node url="#c0"/></node></node>)",
                 R"(<node><instance_node url="#c0"/></node>)"),
         "node 'c0' contains itself, through 'c1'"},
        // Found as the importer finds them: by name in the scene when no
        // library node has the id, and by ids whose entities are decoded.
        {"named.dae",
         collada("", R"(<node name="L"><instance_geometry url="#g"/>)"
                     R"(<node><instance_node url="#L"/></node></node>)"),
         "node 'L' contains itself"},
        {"escaped.dae",
         collada(R"(<node id="a&amp;b"><instance_node url="#a&#38;b"/></node>)",
                 R"(<node><instance_node url="#a&#x26;b"/></node>)"),
         "node 'a&b' contains itself"},
        {"bomb.dae", collada(instance_chain(21, 2), uses_chain),
         "expands to more than 1048576 nodes"},
        {"packed.zae", "PK\x03\x04 manifest.xml", "is a zipped COLLADA file"},
        // The importer stopped the program on a 3MF whose model it could not
        // take (written below): missing, cut short, or beyond its reach.
        {"missing.3mf", "", "missing.3mf: the importer's check that"},
        {"short.3mf", "", "short.3mf: the importer's check that"},
        {"huge.3mf", "", "'3D/3dmodel.model' is said to inflate to 2147483648 bytes"},
        {"thumbnails.3mf", "", "inflating the relationships and thumbnails of"},
        // Models on which the importer crashed, recursed for ever, or built
        // a node for each of 4^10 uses (written below).
        {"loop.3mf", "", "loop.3mf: object 2 contains itself, through object 3"},
        {"bomb.3mf", "", "the build expands to more than 1048576 objects"},
        {"deep.3mf", "", "components nest deeper than 1024 levels, at object"},
        {"material.3mf", "", "object 1 takes entry 7 of basematerials 5, which has 1"},
        {"texture.3mf", "",
         "triangle 1 of object 1 takes entry 9 of texture2dgroup 6, which has 2"},
        {"vertex.3mf", "",
         "triangle 1 of object 2 sets texture coordinates of vertex 4294967295 of 3"},
        {"more.3mf", "", "object 2 lists 4 vertices, after texture coordinates for 3"},
        {"no_coordinates.3mf", "",
         "triangle 1 of object 2 takes texture coordinates of texture2dgroup 6, which has none"},
        // Read as the importer reads them: a name as its zip reader takes
        // it, elements by their exact names.
        {"backslash.3mf", "", "backslash.3mf: object 2 contains itself"},
        {"prefixed.3mf", "", "prefixed.3mf: object 2 contains itself"},
        {"transform.3mf", "", "the transform of a component of object 2 has 11 numbers, not 12"},
        {"huge_transform.3mf", "",
         "the transform of a component of object 2 has '1e39', not a number a float holds"},
        {"production.3mf", "",
         "object 2 uses object 1 of /3D/o.model, another part of the package, which the importer "
         "does not read"},
    };
    write_3mf(path("missing.3mf"), {});
    const std::string model = "<model/>";
    write_3mf(path("short.3mf"), {{"3D/3dmodel.model", model, model.size() + 1}});
    // Textures, which the importer leaves, are not counted;
    // the archive is found from its end, as the importer finds it.
    write_text("huge.3mf", "#!/bin/sh\n");
    write_3mf(path("huge.3mf"), {{"3D/Textures/t.png", "", archived_file_limit},
                                 {"3D/3dmodel.model", model, archived_file_limit}});
    std::vector<Archived> thumbnails;
    for (int i = 0; i < 400; ++i)
        thumbnails.push_back(
            {"Metadata/thumbnail" + std::to_string(i) + ".png", "", archived_file_limit - 1});
    write_3mf(path("thumbnails.3mf"), thumbnails);
    write_3mf_model(path("loop.3mf"), R"(<object id="1">)" + two_triangles() +
                                          R"(</object><object id="2"><components>)" + component(1) +
                                          component(3) +
                                          R"(</components></object><object id="3">)"
                                          "<components>" +
                                          component(2) + "</components></object>");
    write_3mf_model(path("bomb.3mf"), object_levels(11, 4));
    write_3mf_model(path("deep.3mf"), object_levels(max_node_depth + 1, 1));
    write_3mf_model(
        path("material.3mf"),
        R"(<basematerials id="5"><base name="a" displaycolor="#FF0000"/></basematerials>)"
        R"(<object id="1" pid="5" pindex="7">)" +
            two_triangles() + R"(</object><object id="2"><components>)" + component(1) +
            "</components></object>");
    write_3mf_model(path("texture.3mf"),
                    texture_group + R"(<object id="1">)" +
                        two_triangles(R"(v1="2" v2="1" v3="0" pid="6" p1="1" p2="9")") +
                        R"(</object><object id="2"><components>)" + component(1) +
                        "</components></object>");
    const std::string first_coordinates = R"(v1="2" v2="-1" v3="0" pid="6" p1="0")";
    write_3mf_model(path("vertex.3mf"), texture_group + R"(<object id="2">)" +
                                            two_triangles(first_coordinates) + "</object>");
    write_3mf_model(path("more.3mf"),
                    texture_group + R"(<object id="2">)" +
                        replaced(two_triangles(R"(v1="2" v2="1" v3="0" pid="6" p1="0")"), "</mesh>",
                                 "<vertices>"
                                 R"(<vertex/><vertex/><vertex/><vertex/>)"
                                 "</vertices></mesh>") +
                        "</object>");
    write_3mf_model(path("huge_transform.3mf"),
                    R"(<object id="1">)" + two_triangles() +
                        R"(</object><object id="2">)"
                        "<components>" +
                        component(1, R"(transform="1 0 0 0 1 0 0 0 1 0 0 1e39")") +
                        "</components></object>");
    write_3mf_model(path("production.3mf"), R"(<object id="1">)" + two_triangles() +
                                                R"(</object><object id="2">)"
                                                "<components>" +
                                                component(1, R"(p:path="/3D/3dmodel.model")") +
                                                component(1, R"(p:path="/3D/o.model")") +
                                                "</components></object>");
    write_3mf_model(path("no_coordinates.3mf"),
                    R"(<m:texture2dgroup id="6" texid="9"/><object id="2">)" +
                        two_triangles(R"(v1="2" v2="1" v3="0" pid="6" p1="-1")") + "</object>");
    const std::string self =
        R"(<object id="2"><components>)" + component(2) + "</components></object>";
    write_3mf_model(path("backslash.3mf"), self, "3D\\3dmodel.model");
    write_3mf_model(path("prefixed.3mf"),
                    R"(<m:object id="2">)" + two_triangles() + "</m:object>" + self);
    write_3mf_model(path("transform.3mf"),
                    R"(<object id="1">)" + two_triangles() +
                        R"(</object><object id="2">)"
                        "<components>" +
                        component(1, R"(transform="1 0 0 0 1 0 0 0 1 0 0")") +
                        "</components></object>");
    write_text("outside.bin", std::string(36, '\0'));
    // A number below 1e39 that a float cannot hold.
    write_text("hot.mtl", "newmtl hot\nKd 3.5e38 0 0\n");
    // Lines end as the reader's do, a CR alone among them.
    write_text("nan.mtl", "newmtl a\r\n# c\rKd nan 0 0\n");
    write_text("word.mtl", "newmtl a\nKd 1 x 0\n");
    write_text("pair.mtl", "newmtl a\nKd 0.5 0\n");
    write_text("cold.mtl", "newmtl cold\nKd 0 -1 0\n");
    write_text("bright.mtl", "newmtl bright\nKd 2e4 0 0\n");
    ASSERT_EQ(mkfifo((dir + "/pipe.mtl").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir + "/pipe.bin").c_str(), 0600), 0);
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

// Up to the bounds, a COLLADA scene loads whole: nodes as deep as allowed,
// counting those they instance, and a node instanced from two places, each
// use counted where it stands.
TEST_F(ModelFiles, ColladaInstancesWithinTheBoundsLoad) {
    // Markup that is not elements holds no nodes.
    const std::string not_nodes =
        "<!-- " + nested("node", 2000, "") + " --><![CDATA[" + nested("node", 2000, "") + "]]>";
    std::string text = collada(
        instance_chain(max_node_depth - 1),
        uses_chain + not_nodes + R"(<node id="q" name="a>b/>"><instance_node url="#aa"/></node>)");
    text.insert(text.find("<COLLADA"), "<!DOCTYPE COLLADA [<!ENTITY e \"]><node>\">]>");
    write_text("chain.dae", text);
    ModelDescription model;
    model.file = "chain.dae";
    const std::vector<Part> parts = load_model(model, dir);
    ASSERT_EQ(parts.size(), 2u);
    for (const Part& part : parts)
        EXPECT_EQ(std::count(part.name.begin(), part.name.end(), '/'), max_node_depth - 1);
}

// A 3MF's build loads whole: components nested hundreds deep, a material and
// texture coordinates taken within their groups, a corner's coordinates left
// unset, transforms whose spaces are tabs (which the parser reads as spaces),
// and a thumbnail.
TEST_F(ModelFiles, ThreeMfObjectsWithinTheBoundsLoad) {
    // The importer frees the thumbnail it hands over with the scene.
    write_3mf(
        path("deep.3mf"),
        {{"3D/3dmodel.model",
          model_3mf(
              texture_group +
              R"(<basematerials id="5"><base name="a" displaycolor="#FF0000"/></basematerials>)" +
              replaced(object_levels(300, 1, R"(pid="5" pindex="0")"),
                       R"(<triangle v1="0" v2="1" v3="2"/>)",
                       R"(<triangle v1="0" v2="1" v3="2" pid="6" p1="1" p2="0" p3="-1"/>)"))},
         {"Metadata/thumbnail.png", std::string(100, 'x')}});
    ModelDescription model;
    model.file = "deep.3mf";
    const std::vector<Part> parts = load_model(model, dir);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].triangles(), 2u);
}

const Part& named(const std::vector<Part>& parts, const std::string& name) {
    for (const Part& part : parts)
        if (part.name == name)
            return part;
    throw std::runtime_error("no part " + name);
}

void expect_color(const Piece& piece, Vec3 color) {
    EXPECT_NEAR(piece.color.x, color.x, 1e-4f);
    EXPECT_NEAR(piece.color.y, color.y, 1e-4f);
    EXPECT_NEAR(piece.color.z, color.z, 1e-4f);
}

// The OBJ reader's own work: objects and groups as parts, a piece for each
// material, polygons as fans, indices back from the end, and corners shared
// only where both their position and their normal are.
TEST_F(ModelFiles, ObjPartsPiecesAndCorners) {
    write_text("two.mtl", "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\nnewmtl grey\nKd 0.5 # g\n"
                          "newmtl cie\nKd xyz 0.5 0.5 0.5\n");
    write_text("parts.obj", "mtllib two.mtl\n"
                            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nvn 1 0 0\n"
                            "g plate\nusemtl red\nf 1//1 2//1 3//1 4//1\nf 1//2 2//1 4//1\n"
                            "usemtl blue\nf -4//1 -3//1 -2//1\n"
                            "g\nf 1 2 3\no plate\nf 1 2 3\no  plate#2 \nusemtl grey\nf 1 2 3\n"
                            "o \nf 1 2 3\n");
    ModelDescription model;
    model.file = "parts.obj";
    model.name = "m";
    const std::vector<Part> parts = load_model(model, dir);
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].name, "m/plate");
    // The numbering skips the name a later object has of its own, without the
    // blanks around it.
    EXPECT_EQ(parts[1].name, "m/plate#3");
    EXPECT_EQ(parts[2].name, "m/plate#2");
    // A colour of one value is grey.
    expect_color(parts[2].pieces.at(0), {0.5f, 0.5f, 0.5f});
    // An object without a name takes the file's, as other formats' parts do.
    EXPECT_EQ(parts[3].name, "m/parts");
    ASSERT_EQ(parts[0].pieces.size(), 2u);
    const Mesh& red = *parts[0].pieces[0].mesh;
    expect_color(parts[0].pieces[0], {1, 0, 0});
    expect_color(parts[0].pieces[1], {0, 0, 1});
    // The quad's two triangles and one more, whose first corner has another normal.
    EXPECT_EQ(red.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 1, 3}));
    ASSERT_EQ(red.positions.size(), 5u);
    EXPECT_EQ(red.positions[4].x, 0.0f);
    EXPECT_EQ(red.normals[4].x, 1.0f);
    // An unnamed group goes on in the part; its corners without a normal are
    // not the ones with, and take their face's.
    const Mesh& blue = *parts[0].pieces[1].mesh;
    EXPECT_EQ(blue.triangles(), 2u);
    ASSERT_EQ(blue.normals.size(), 6u);
    EXPECT_EQ(blue.normals[5].z, 1.0f);
    // A new object keeps the material in use.
    EXPECT_TRUE(parts[1].pieces[0].mesh->normals.empty());
    expect_color(parts[1].pieces[0], {0, 0, 1});
}

// Corners as OBJ files write them: with texture coordinates, normals, both
// or neither, counted back from the end, on lines ending in CR LF, in a file
// whose extension is in capitals.
TEST_F(ModelFiles, ObjCornersInEveryForm) {
    write_text("forms.OBJ",
               "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nv 1 1 0\r\nvt 0 0\r\nvn 0 0 1\r\n"
               "# the same corners without their normal\r\n"
               "f 1/1/1 2/1/1 3/1/1\r\nf 2//1 4//1 3//1\r\nf -3/1 -1/1 -2/1\r\nf +2 4 +3\r\n");
    ModelDescription model;
    model.file = "forms.OBJ";
    const std::vector<Part> parts = load_model(model, dir);
    ASSERT_EQ(parts.size(), 1u);
    ASSERT_EQ(parts[0].pieces.size(), 1u);
    const Mesh& mesh = *parts[0].pieces[0].mesh;
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 1, 3, 2, 4, 5, 6, 4, 5, 6}));
    ASSERT_EQ(mesh.positions.size(), 7u);
    EXPECT_EQ(mesh.positions[5].x, 1.0f);
    EXPECT_EQ(mesh.positions[5].y, 1.0f);
    ASSERT_EQ(mesh.normals.size(), 7u);
    for (const Vec3& n : mesh.normals)
        EXPECT_EQ(n.z, 1.0f);
}

// Whole files in layouts the importer reads, which the checks for files cut
// short must not refuse.
TEST_F(ModelFiles, WholeFilesInEveryLayoutLoad) {
    const std::string facet =
        "facet normal 0 0 1 outer loop vertex 0 0 0 vertex 1 0 0 vertex 0 1 0 endloop endfacet";
    std::string binary;
    for (const float coordinate : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f})
        binary.append(reinterpret_cast<const char*>(&coordinate), sizeof coordinate);
    binary += '\3';
    for (const int index : {0, 1, 2})
        binary.append(reinterpret_cast<const char*>(&index), sizeof index);
    const struct {
        const char* name;
        std::string text;
    } files[] = {
        {"one_line.stl", "solid a " + facet + " ENDSOLID a"},
        {"mac.stl", "solid a\r" + facet + "\rendsolid a\r"},
        {"dos.stl", "solid a\r\n" + facet + "\r\nendsolid a\r\n\x1a"},
        {"noted.stl", "solid a\n" + facet + "\nendsolid a\nwritten by hand\n"},
        {"decimal.ply", ply("ascii", "0 0 0\n1 0 0\n0 1 0\n3.0 0 1 2\n")},
        {"binary.ply", ply("binary_little_endian", binary)},
        {"colour.off", "COFF\n3 1 0\n0 0 0 1 1 1 1\n1 0 0 1 1 1 1\n0 1 0 1 1 1 1\n3 0 1 2\n"},
    };
    for (const auto& f : files) {
        write_text(f.name, f.text);
        ModelDescription model;
        model.file = f.name;
        const std::vector<Part> parts = load_model(model, dir);
        ASSERT_EQ(parts.size(), 1u) << f.name;
        EXPECT_EQ(parts[0].pieces[0].mesh->indices.size(), 3u) << f.name;
    }
}

// The gearbox model_generator writes: its tree as named, the colours of
// products, of an instance and of faces, millimetres read as metres, and a
// product used 32 times held once.
TEST(StepModels, TheGearboxReadsBackAsWritten) {
    const std::vector<Part> parts = load("gearbox.step");
    ASSERT_EQ(parts.size(), 53u);
    EXPECT_EQ(parts[0].name, "gearbox/housing");
    EXPECT_EQ(parts[7].name, "gearbox/bearing:1/ball:1");
    EXPECT_EQ(parts[44].name, "gearbox/bearing:4/ball:8");
    EXPECT_EQ(parts[52].name, "gearbox/bolt:8");

    expect_color(named(parts, "gearbox/housing").pieces.at(0), {0.25f, 0.45f, 0.8f});
    // An instance's colour over its product's.
    expect_color(named(parts, "gearbox/bolt:1").pieces.at(0), {0.8f, 0.05f, 0.05f});
    expect_color(named(parts, "gearbox/bolt:2").pieces.at(0), {0.15f, 0.15f, 0.17f});
    // The shaft's flat ends have a colour of their own.
    const Part& shaft = named(parts, "gearbox/shaft:2");
    ASSERT_EQ(shaft.pieces.size(), 2u);
    expect_color(shaft.pieces[0], {0.55f, 0.56f, 0.6f});
    expect_color(shaft.pieces[1], {0.9f, 0.35f, 0.05f});

    const Part& ball = named(parts, "gearbox/bearing:3/ball:5");
    EXPECT_EQ(ball.instance_of, "ball");
    int balls = 0;
    for (const Part& part : parts)
        balls += part.pieces.at(0).mesh == ball.pieces.at(0).mesh && part.pieces[0].to_world;
    EXPECT_EQ(balls, 32);
    // Used once, the housing is in world space: 260 mm long, centred.
    const Part& housing = named(parts, "gearbox/housing");
    EXPECT_FALSE(housing.pieces[0].to_world);
    EXPECT_TRUE(housing.instance_of.empty());
    const Bounds b = housing.pieces[0].mesh->bounds();
    EXPECT_NEAR(b.lo.x, -0.13f, 1e-6f);
    EXPECT_NEAR(b.hi.x, 0.13f, 1e-6f);
}

// A face's own colour over its solid's, whichever of their styles the file
// lists first.
TEST_F(ModelFiles, AFaceKeepsItsOwnColourOverItsSolids) {
    const std::string text = fixture_text("box_and_cone.step");
    for (const std::string& styles :
         {text, replaced(text, "(#419,\n    #427,", "(#427,\n    #419,")}) {
        write_text("pair.step", styles);
        ModelDescription model;
        model.file = "pair.step";
        const std::vector<Part> parts = load_model(model, dir);
        ASSERT_EQ(parts.at(0).pieces.size(), 3u);
        expect_color(parts[0].pieces[0], {0, 1, 0});
    }
}

// A product the file leaves unnamed is, as a glTF's unnamed mesh is, listed
// as an instance of the file; an instance with an id but no name, as CAD
// systems write them, is named by its product. A slip in the products'
// bookkeeping, which builds no shape, is read past.
TEST_F(ModelFiles, UnnamedProductsAndInstancesAreNamedByWhatHasAName) {
    std::string text =
        replaced(fixture_text("gearbox.step"), "PRODUCT('shaft','shaft'", "PRODUCT('',''");
    text = replaced(text, "NEXT_ASSEMBLY_USAGE_OCCURRENCE('4','housing'",
                    "NEXT_ASSEMBLY_USAGE_OCCURRENCE('NAUO4',' '");
    text =
        replaced(text, "#8 = PRODUCT_CONTEXT('',#2,'mechanical');", "#8 = PRODUCT_CONTEXT('',#2);");
    // Too small for a double, which reads as zero.
    text =
        replaced(text, "#14 = DIRECTION('',(1.,0.,-0.));", "#14 = DIRECTION('',(1.,0.,-1.E-400));");
    write_text("unnamed.step", text);
    ModelDescription model;
    model.file = "unnamed.step";
    const std::vector<Part> parts = load_model(model, dir);
    EXPECT_EQ(named(parts, "gearbox/shaft:2").instance_of, "unnamed");
    EXPECT_EQ(parts.at(0).name, "gearbox/housing");
}

// What OpenCASCADE draws otherwise than the file says, or leaves out, is
// loaded and warned of, once for each entity or product.
TEST_F(ModelFiles, StepPlacementsDrawnOtherwiseAndEmptyProductsAreWarnedOf) {
    const std::string gearbox = fixture_text("gearbox.step");
    const std::string placement = "#881 = ITEM_DEFINED_TRANSFORMATION('','',#11,#19);";
    const struct {
        std::string text, says;
    } cases[] = {
        {replaced(gearbox, placement,
                  "#881 = CARTESIAN_TRANSFORMATION_OPERATOR_3D('','','',#14,#90000,#12,1.,#13);"
                  "\n#90000 = DIRECTION('',(0.,-1.,0.));"),
         "placement #881 (CARTESIAN_TRANSFORMATION_OPERATOR_3D) mirrors its part, which is drawn "
         "unmirrored"},
        {replaced(gearbox, placement,
                  "#881 = CARTESIAN_TRANSFORMATION_OPERATOR_3D('','','',#14,$,#12,2.,#13);"),
         "placement #881 (CARTESIAN_TRANSFORMATION_OPERATOR_3D) scales its part, which is drawn "
         "unscaled"},
        {replaced(gearbox, "(#11,#97)", "(#11)"),
         "product 'housing' has no faces, so 1 part is left out"},
    };
    for (const auto& c : cases) {
        write_text("warned.step", c.text);
        ModelDescription model;
        model.file = "warned.step";
        testing::internal::CaptureStderr();
        const size_t parts = load_model(model, dir).size();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(parts, c.says.find("housing") == std::string::npos ? 53u : 52u);
        EXPECT_EQ(err, "warning: " + model_path(model, dir) + ": " + c.says + "\n");
    }
}

// Seen from above, each bolt's head shows that bolt's own id: eight instances
// of one mesh, each placed where the assembly puts it. One of them x-rayed by
// name wears x-ray alone.
TEST(StepModels, EachInstanceIsAPartWhereItsAssemblyPutsIt) {
    SceneDescription d;
    d.models.push_back({});
    d.models[0].file = "gearbox.step";
    d.base_dir = fixtures;
    Assignment xray;
    xray.parts = "gearbox/bolt:[3]";
    xray.look = Assignment::Look::xray;
    d.assign.push_back(xray);
    d.camera.eye = Vec3{0.0f, 0.5f, 0.2f};
    d.camera.target = Vec3{0.0f, 0.075f, 0.0f};
    d.camera.fov = 40.0f;
    const std::vector<Part> parts = load_parts(d);
    const std::unique_ptr<Scene> scene = build_scene(d, parts);
    RenderSettings settings;
    settings.width = 160;
    settings.height = 120;
    settings.samples = 1;
    RenderStats stats;
    const Film film = render_film({*scene, xray_shader(), settings, {Pass::id}}, stats);
    const FilmChannel& ids = *film.find("id");
    for (int bolt = 1; bolt <= 8; ++bolt) {
        const float x = -0.11f + 0.22f / 3.0f * float((bolt - 1) % 4);
        const float z = bolt <= 4 ? 0.055f : -0.055f;
        int px = 0, py = 0;
        // The top of its head, 8 mm above the housing's lid.
        project(scene->camera, {x, 0.083f, z}, settings.width, settings.height, px, py);
        const std::string name = "gearbox/bolt:" + std::to_string(bolt);
        const float id = ids.values[size_t(py) * size_t(settings.width) + size_t(px)];
        EXPECT_EQ(scene->part_names().at(size_t(id) - 1), name);
    }
    for (const Object& object : scene->objects()) {
        if (object.part == 0) // the floor
            continue;
        const std::string& part = scene->part_names().at(object.part - 1);
        if (part.rfind("gearbox/bolt:", 0) == 0) {
            EXPECT_EQ(object.material->kind() == Material::Kind::xray, part == "gearbox/bolt:3")
                << part;
        }
    }
}

// No STEP file the reader's healing lets through is left unmeshable, so the
// mesher is given a face bounded by a wire that crosses itself directly.
TEST(StepModels, AFaceThatCannotBeMeshedIsRefusedNamingItsPart) {
    BRepBuilderAPI_MakePolygon bow;
    for (const gp_Pnt& p : {gp_Pnt(0, 0, 0), gp_Pnt(3, 1, 0), gp_Pnt(3, 0, 0), gp_Pnt(0, 2, 0)})
        bow.Add(p);
    bow.Close();
    const TopoDS_Shape face = BRepBuilderAPI_MakeFace(bow.Wire(), true).Shape();
    try {
        mesh_shape(face, {}, {}, "x.step: part 'twisted'");
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "x.step: part 'twisted': 1 of its 1 faces cannot be meshed");
    }
}

// A shape far smaller than a millimetre is meshed no finer than the
// mesher's tolerance allows, rather than refused.
TEST(StepModels, AFaceMicrometresAcrossIsMeshed) {
    BRepBuilderAPI_MakePolygon square;
    for (const gp_Pnt& p :
         {gp_Pnt(0, 0, 0), gp_Pnt(2e-6, 0, 0), gp_Pnt(2e-6, 2e-6, 0), gp_Pnt(0, 2e-6, 0)})
        square.Add(p);
    square.Close();
    const TopoDS_Shape face = BRepBuilderAPI_MakeFace(square.Wire(), true).Shape();
    const std::vector<FaceGroup> meshed = mesh_shape(face, {}, {}, "x.step: part 'tiny'");
    ASSERT_EQ(meshed.size(), 1u);
    EXPECT_EQ(meshed[0].mesh->triangles(), 2u);
}

// At a cone's apex, where its surface has no normal, each corner takes its
// triangles' rather than one OpenCASCADE makes up, which may point inwards.
TEST(StepModels, ACornerWithoutASurfaceNormalTakesItsTriangles) {
    const std::vector<Part> parts = load("box_and_cone.step");
    const Mesh& mesh = *parts.at(0).pieces.at(2).mesh; // the grey cone
    for (uint32_t t = 0; t < mesh.triangles(); ++t)
        for (size_t k = 0; k < 3; ++k)
            ASSERT_GE(dot(mesh.normals[mesh.indices[3 * t + k]], mesh.face_normal(t)), 0.0f) << t;
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

INSTANTIATE_TEST_SUITE_P(Files, XrayOnOnePart,
                         ::testing::Values("assembly.gltf", "assembly.obj", "assembly.step"),
                         [](const auto& info) { return std::string(info.param).substr(9); });
