// Scene files: every fault is one line naming the file and where in it; what
// is written back reads as the same scene.
#include "tests/render/render_fixture.h"
#include "tests/render/scratch_dir.h"

#include "render/cli/option_values.h"
#include "render/setup/model_loader.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/setup/studio.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace xr;

namespace {

// A scene around the generated assembly; `assign` and `extra` are spliced in.
std::string scene_text(const std::string& assign, const std::string& extra = "") {
    return R"({"models": [{"file": "assembly.gltf"}], "lights": [{"name": "sun", "type": "point",
              "position": [0, 5, 5]}], "assign": [)" +
           assign + "]" + extra + "}";
}

// The one-line message of reading and building the scene, or "" when it builds.
std::string fault(const std::string& text) {
    try {
        const SceneDescription d = parse_scene(text, "test.json", FIXTURES);
        build_scene(d, load_parts(d));
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Image render_tiny(const SceneDescription& d) {
    RenderSettings settings = d.settings;
    settings.width = 48;
    settings.height = 32;
    settings.samples = 1;
    RenderStats stats;
    return render({*build_scene(d, load_parts(d)), xray_shader(), settings}, stats);
}

} // namespace

class SceneFile : public ScratchDir {};

TEST_F(SceneFile, FaultsAreOneLineNamingTheFileAndWhere) {
    const char* const x = R"({"parts": "*housing", "xray": )";
    const struct {
        std::string text, message;
    } cases[] = {
        {"{\n  \"models\": [\n    {\"shape\": \"sphere\"},\n  ]\n}",
         "test.json:4:3: syntax error while parsing value - unexpected ']'"},
        {scene_text("", R"(, "lihgts": [])"), "test.json: /lihgts: unknown key 'lihgts'"},
        {"{\"a\": " + std::string(257, '[') + std::string(257, ']') + ", \"b\": 1}",
         "test.json: values nested more than 256 deep"},
        {R"({"assign": []})", "test.json: /: needs \"models\""},
        {R"({"models": [{"scale": 2}]})",
         "test.json: /models/0: a model needs a \"file\" or a \"shape\""},
        // Left out when written, it would not name the part in a saved scene.
        {R"({"models": [{"shape": "sphere", "name": ""}]})",
         "test.json: /models/0/name: a model's name cannot be empty"},
        {R"({"models": [{"shape": "cone"}]})",
         "test.json: /models/0/shape: 'cone' is not sphere, box or torus"},
        // Keys of another kind are refused, not ignored.
        {R"({"models": [{"shape": "box", "radius": 3}]})",
         "test.json: /models/0/radius: applies to the sphere and torus shapes only"},
        {R"({"models": [{"shape": "sphere", "thickness": 0.1}]})",
         "test.json: /models/0/thickness: applies to the torus shape only"},
        {scene_text(x + std::string(R"({"color": {"texture": "checker", "axis": [1, 0, 0]}}})")),
         "test.json: /assign/0/xray/color/axis: applies to the stripes texture only"},
        {scene_text(x + std::string(R"({"power": {"texture": "constant", "axis": [1, 0, 0]}}})")),
         "test.json: /assign/0/xray/power/axis: applies to the stripes texture only"},
        // A key is a pointer's token, escaped; text from the file is shown
        // without the control characters that would fake a line or recolour
        // the terminal.
        {scene_text("", R"(, "camera/~fov": 1)"),
         "test.json: /camera~1~0fov: unknown key 'camera/~fov'"},
        {scene_text("", R"(, "\u001b[31m": 1)"), "test.json: /\\x1b[31m: unknown key '\\x1b[31m'"},
        {R"({"models": [{"shape": "\u001b[31m"}]})",
         "test.json: /models/0/shape: '\\x1b[31m' is not sphere, box or torus"},
        {R"({"models": [{"file": "\u001b[31m.glb"}]})",
         "test.json: /models/0: cannot read " FIXTURES "/\\x1b[31m.glb: "},
        {scene_text(R"({"parts": "door\nxray-render: wrote x.png", "xray": {}})"),
         "test.json: /assign/0/parts: 'door\\x0axray-render: wrote x.png' matches no part"},
        {scene_text("", R"(, "camera": {"frame": "\u001b[31m"})"),
         "test.json: /camera/frame: '\\x1b[31m' matches no part"},
        {scene_text(x + std::string(R"({"mode": "\u009b"}})")),
         "test.json: /assign/0/xray/mode: '\\u009b' is not one of the names of mode"},
        {scene_text(x + std::string(R"({"light": ["\u001b"]}})")),
         "test.json: /assign/0/xray/light/0: there is no light named '\\x1b'"},
        {R"({"models": [{"file": "missing.glb"}]})",
         "test.json: /models/0: cannot read " FIXTURES "/missing.glb: "},
        {scene_text(x + std::string(R"({"power": "2"}})")),
         "test.json: /assign/0/xray/power: expected a number, not a string"},
        {scene_text(x + std::string(R"({"power": -1}})")),
         "test.json: /assign/0/xray/power: -1 is outside [0, inf)"},
        {scene_text(x + std::string(R"({"power": 1e39}})")),
         "test.json: /assign/0/xray/power: expected a finite number"},
        {scene_text(x + std::string(R"({"power": 1e999}})")),
         "test.json: /assign/0/xray/power: number overflow parsing '1e999'"},
        {scene_text(x + std::string(R"({"color": [1, 0]}})")),
         "test.json: /assign/0/xray/color: expected [r, g, b] or [r, g, b, a]"},
        {scene_text(x + std::string(R"({"glow": 1}})")),
         "test.json: /assign/0/xray/glow: the x-ray shader has no parameter 'glow'"},
        {scene_text(x + std::string(R"({"n_light": 1}})")),
         "test.json: /assign/0/xray/n_light: the x-ray shader has no parameter 'n_light'"},
        {scene_text(x + std::string(R"({"mode": "sideways"}})")),
         "test.json: /assign/0/xray/mode: 'sideways' is not one of the names of mode"},
        {scene_text(x + std::string(R"({"light": ["sun", "moon"]}})")),
         "test.json: /assign/0/xray/light/1: there is no light named 'moon'"},
        // Listed twice, the light would light the part twice.
        {scene_text(x + std::string(R"({"light": ["sun", "sun"]}})")),
         "test.json: /assign/0/xray/light/1: the light 'sun' is listed twice"},
        {scene_text(x + std::string(R"({"light": {"texture": "checker"}}})")),
         "test.json: /assign/0/xray/light: expected an array, not an object"},
        {scene_text(
             x +
             std::string(R"({"power": {"texture": "constant", "a": -1e30, "b": 1, "scale": 2}}})")),
         "test.json: /assign/0/xray/power/a: -1e+30 is outside [0, inf)"},
        {scene_text(x + std::string(R"({"color": {"texture": "checker", "b": [1, -0.5, 0]}}})")),
         "test.json: /assign/0/xray/color/b: -0.5 is outside [0, 10000]"},
        {scene_text(x + std::string(R"({"color": [0.25, 0.55, 1, 5]}})")),
         "test.json: /assign/0/xray/color: alpha 5 is outside [0, 1]"},
        {scene_text(x + std::string(R"({"color": {"texture": "checker", "a": [1, 1, 1, 2]}}})")),
         "test.json: /assign/0/xray/color/a: alpha 2 is outside [0, 1]"},
        {scene_text(x + std::string(R"({"mode": {"texture": "stripes", "a": 2.6}}})")),
         "test.json: /assign/0/xray/mode/a: 3 is outside [0, 2]"},
        {scene_text(x + std::string(R"({"invert": {"texture": "checker", "b": 7}}})")),
         "test.json: /assign/0/xray/invert/b: 7 is neither 0 (false) nor 1 (true)"},
        {scene_text(x + std::string(R"({"power": {"texture": "waves"}}})")),
         "test.json: /assign/0/xray/power/texture: 'waves' is not constant, checker or stripes"},
        {scene_text(
             R"({"parts": "*", "matte": {"color": {"texture": "checker", "b": [1, -1, 0]}}})"),
         "test.json: /assign/0/matte/color/b: a colour cannot be negative"},
        {scene_text(R"({"parts": "*", "xray": {}, "matte": {}})"),
         "test.json: /assign/0: a part wears either \"xray\" or \"matte\", not both"},
        {scene_text(R"({"parts": "*"})"),
         "test.json: /assign/0: an assignment needs \"xray\", \"matte\" or \"flagged\""},
        {scene_text(R"({"parts": "*", "flagged": true}, {"parts": "*door*", "matte": {}})"),
         "test.json: /assign/1/parts: '*door*' matches no part"},
        {scene_text("", R"(, "camera": {"frame": "wheel"})"),
         "test.json: /camera/frame: 'wheel' matches no part"},
        {scene_text("", R"(, "camera": {"eye": [0, 0, 5], "frame": "*"})"),
         "test.json: /camera: a camera is placed by \"eye\" and \"target\", or frames parts; "
         "not both"},
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "point",
            "position": [0, 1, 0]}, {"name": "a", "type": "point", "position": [0, 2, 0]}]})",
         "test.json: /lights/1/name: a light named 'a' comes earlier"},
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "point",
            "position": [0, 1, 0], "samples": 4}]})",
         "test.json: /lights/0/samples: a point light gives one sample"},
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "point",
            "position": [0, 1, 0], "color": [1, 1e30, 1], "intensity": 10}]})",
         "test.json: /lights/0/intensity: the colour times the intensity passes 1e+18"},
        // What multiplies light is bounded: a light at its nearest (1e-6)
        // brings 1e30 at most, a colour or weight 1e4 times that at most.
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "point",
            "position": [0, 1e-5, 0], "intensity": 1e30}]})",
         "test.json: /lights/0/intensity: the colour times the intensity passes 1e+18"},
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "rect",
            "position": [0, 2, 0], "size": [1e4, 1e4], "intensity": 1e11}]})",
         "test.json: /lights/0/intensity: the colour times the intensity times the area passes "
         "1e+18"},
        // Measured against its area, a small rectangle may be more intense.
        {R"({"models": [{"shape": "box"}], "lights": [{"name": "a", "type": "rect",
            "position": [0, 2, 0], "size": [1e-3, 1e-3], "intensity": 1e20}],
            "camera": {"fov": 0}})",
         "test.json: /camera/fov: expected a number within [1, 170]"},
        {R"({"models": [{"shape": "box"}], "environment": {"background": [1e38, 1e38, 1e38]}})",
         "test.json: /environment/background: a colour cannot have a channel above 10000"},
        {scene_text(R"({"parts": "*", "matte": {"color": [1, 1e38, 1]}})"),
         "test.json: /assign/0/matte/color: a colour cannot have a channel above 10000"},
        {scene_text(
             R"({"parts": "*", "matte": {"color": {"texture": "checker", "a": [2e4, 0, 0]}}})"),
         "test.json: /assign/0/matte/color/a: a colour cannot have a channel above 10000"},
        {scene_text(x + std::string(R"({"color": {"texture": "checker", "b": [1e38, 1, 1]}}})")),
         "test.json: /assign/0/xray/color/b: 1e+38 is outside [0, 10000]"},
        {scene_text(x + std::string(R"({"specular_weight": 1e38}})")),
         "test.json: /assign/0/xray/specular_weight: 1e+38 is outside [0, 10000]"},
        {R"({"models": [{"shape": "box"}], "settings": {"width": 0}})",
         "test.json: /settings/width: expected a whole number within [1, 65536]"},
        {R"({"models": [{"shape": "box"}], "settings": {"adaptive": "yes"}})",
         "test.json: /settings/adaptive: expected true or false, not a string"},
        {R"({"models": [{"shape": "box"}], "settings": {"noise": -0.5}})",
         "test.json: /settings/noise: expected a number within [0, 255]"},
        {R"({"models": [{"shape": "box"}], "settings": {"min_samples": 0}})",
         "test.json: /settings/min_samples: expected a whole number within [1, 65536]"},
        {R"({"models": [{"shape": "box"}], "environment": {"background": "purple"}})",
         "test.json: /environment/background: expected \"studio\", \"transparent\" or [r, g, b]"},
        {R"({"models": [{"shape": "box"}], "settings": {"seed": 7.5}})",
         "test.json: /settings/seed: expected a whole number within [0, 4294967295]"},
        {R"({"models": [{"shape": "box"}], "camera": {"turntable": 0}})",
         "test.json: /camera/turntable: expected a whole number within [1, 1000000]"},
        // Finite numbers whose distances overflow a float.
        {R"({"models": [{"shape": "box"}], "camera": {"eye": [0, 0, 3e38], "target": [0, 0, -3e38]}})",
         "test.json: /camera/eye/2: expected a number within [-1e+12, 1e+12]"},
        {R"({"models": [{"shape": "box"}, {"shape": "box", "translate": [1e38, 1e38, 1e38]}]})",
         "test.json: /models/1/translate/0: expected a number within [-1e+09, 1e+09]"},
        // Floats there are too coarse to put a camera anywhere but on it.
        {R"({"models": [{"shape": "sphere", "translate": [1e8, 1e8, 1e8]}]})",
         "test.json: /models: the models are too small for their distance from the origin"},
        {R"({"models": [{"shape": "box"}, {"shape": "sphere", "name": "far",
            "translate": [0, 0, 1e8]}], "camera": {"frame": "far"}})",
         "test.json: /camera/frame: the parts it matches are too small for their distance"},
        // Smaller than the ray kernel resolves, wherever it is.
        {R"({"models": [{"shape": "sphere", "radius": 1e-10}]})",
         "test.json: /models: the models are too small to be framed (under 1e-09"},
        {R"({"models": [{"shape": "sphere", "radius": 1e9, "scale": 1e9}]})",
         "test.json: /models/0: the sphere shape has a vertex beyond ±1e+09"},
        {R"({"models": [{"file": "assembly.glb", "tessellation": {"linear": 0.01}}]})",
         "test.json: /models/0/tessellation: applies to STEP files (.step, .stp) only"},
        {R"({"models": [{"file": "gearbox.step", "tessellation": {"linear": 0}}]})",
         "test.json: /models/0/tessellation/linear: expected a number within (0, 1e+09]"},
        {R"({"models": [{"file": "gearbox.step", "tessellation": {"angular": -5}}]})",
         "test.json: /models/0/tessellation/angular: expected a number within [1, 90]"},
        {R"({"models": [{"file": "gearbox.step", "tessellation": {"angular": 0.5}}]})",
         "test.json: /models/0/tessellation/angular: expected a number within [1, 90]"},
        {R"({"models": [{"file": "gearbox.step", "tessellation": {"linear": 1e999}}]})",
         "test.json: /models/0/tessellation/linear: number overflow"},
        {R"({"models": [{"file": "gearbox.step", "tessellation": {"fine": true}}]})",
         "test.json: /models/0/tessellation/fine: unknown key 'fine'"},
        // Either of the two could be the mistake: neither is taken.
        {R"({"models": [{"shape": "box"}], "camera": {"fov": 30, "fov": 40}})",
         "test.json: /camera/fov: given twice"},
        {R"({"models": [{"shape": "box"}, {"shape": "box", "shape": "sphere"}]})",
         "test.json: /models/1/shape: given twice"},
    };
    for (const auto& c : cases) {
        const std::string message = fault(c.text);
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.text;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_EQ(fault(scene_text(R"({"parts": "*core", "matte": {}, "flagged": true})")), "");
    // A whole number however written; the largest seed exactly.
    for (const auto& [text, seed] : {std::pair{"7.0", 7u}, {"4294967295", 4294967295u}}) {
        const std::string scene = R"({"models": [{"shape": "box"}], "settings": {"seed": )";
        EXPECT_EQ(parse_scene(scene + text + "}}", "test.json", ".").settings.seed, seed);
    }
    // Values too small to square in a float: a direction still a direction,
    // a deflection still above 0 (the mesher makes it its finest).
    const SceneDescription tiny = parse_scene(
        R"({"models": [{"file": "gearbox.step", "tessellation": {"linear": 1e-300}}],
            "camera": {"from": [0, 1e-30, 0]}})",
        "test.json", ".");
    EXPECT_GT(*tiny.models[0].tessellation.linear, 0.0f);
    parse_scene(R"({"models": [{"shape": "box"}], "assign": [{"parts": "*", "xray": {"color":
                       {"texture": "stripes", "axis": [0, 1e-30, 0]}}}],
                   "lights": [{"name": "k", "type": "rect", "position": [0, 1, 0],
                               "target": [0, 1, 1e-30]}],
                   "camera": {"eye": [0, 0, 0], "target": [1e-30, 0, 0]}})",
                "test.json", ".");
    const CameraView close({{0.0f, 0.0f, 0.0f}, {1e-30f, 0.0f, 0.0f}}, 2, 2);
    EXPECT_TRUE(close.well_defined());
    EXPECT_EQ(close.direction(1.0f, 1.0f).x, 1.0f);
    EXPECT_EQ(
        framing({{-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}}, {1e-22f, 1e-22f, 1e-22f}, 30.0f, 1.0f)
            .eye.x,
        framing({{-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}}, {1.0f, 1.0f, 1.0f}, 30.0f, 1.0f)
            .eye.x);
    const std::optional<Tessellation> finest = parse_tessellation("1e-300,20");
    ASSERT_TRUE(finest);
    EXPECT_GT(*finest->linear, 0.0f);

    // Files that are not scene files are refused unread: a folder, a FIFO
    // (as /dev/zero is a device, which was read until memory ran out), a
    // file beyond the bound.
    ASSERT_EQ(mkfifo(path("fifo.json").c_str(), 0644), 0);
    const std::string big = path("big.json");
    std::ofstream(big) << R"({"models": [{"shape": "box"}]})"
                       << std::string(max_scene_file_bytes, ' ');
    for (const auto& [file, message] :
         {std::pair<std::string, std::string>{FIXTURES, ": Is a directory"},
          {path("fifo.json"), ": not a regular file"},
          {big, ": larger than the 16 MiB a scene file may be"}}) {
        try {
            read_scene_file(file);
            ADD_FAILURE() << file;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "cannot read " + file + message);
        }
    }
}

// A scene file written anywhere reads back as a scene that renders the same,
// its models found from the new folder, and is written the same again.
class SceneFileWriting : public ScratchDir {};

TEST_F(SceneFileWriting, WrittenScenesReadBackAsTheSameScene) {
    // The shipped scenes, and what they leave to the defaults.
    SceneDescription turntable = read_scene_file(SCENES "/default.json");
    turntable.environment.background = {Background::Kind::transparent, {}};
    turntable.camera.turntable = 24;
    SceneDescription solid = read_scene_file(SCENES "/assembly.json");
    solid.environment.background = {Background::Kind::color, {0.1f, 0.2f, 0.3f}};
    solid.settings.adaptive = true;
    solid.settings.noise = 0.3f;
    solid.settings.min_samples = 4;
    // Written with what its kind takes only: a constant texture has no second colour or scale.
    Assignment& plain = solid.assign.emplace_back();
    plain.parts = "*";
    plain.look = Assignment::Look::matte;
    plain.matte_texture = Texture{Texture::Kind::constant, {}, {0.5f, 0.5f, 0.5f, 1.0f}, 3.0f};
    // No lights at all, where the assembly's missing list stands for the studio's.
    SceneDescription unlit = read_scene_file(SCENES "/assembly.json");
    unlit.lights.emplace();
    const std::pair<const char*, SceneDescription> scenes[] = {
        {"default.json", read_scene_file(SCENES "/default.json")},
        {"assembly.json", read_scene_file(SCENES "/assembly.json")},
        {"gearbox.json", read_scene_file(SCENES "/gearbox.json")},
        {"turntable on transparent", turntable},
        {"on a colour, sampled adaptively", solid},
        {"without lights", unlit}};
    for (const auto& [name, read] : scenes) {
        SCOPED_TRACE(name);
        write_scene_file(read, path("scene.json"));
        const SceneDescription again = read_scene_file(path("scene.json"));
        write_scene_file(again, path("again.json"));
        EXPECT_EQ(slurp(path("again.json")), slurp(path("scene.json")));
        EXPECT_EQ(again.camera.turntable, read.camera.turntable); // which no render shows
        EXPECT_EQ(again.settings.adaptive, read.settings.adaptive);
        EXPECT_EQ(again.settings.noise, read.settings.noise);
        EXPECT_EQ(again.settings.min_samples, read.settings.min_samples);
        EXPECT_EQ(again.lights.has_value(), read.lights.has_value());
        const Image a = render_tiny(read), b = render_tiny(again);
        EXPECT_EQ(std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(Color)),
                  0);
    }
    // Without lights, only the sky's ambient light is left: darker all over.
    double lit = 0.0, dark = 0.0;
    for (const Color& c : render_tiny(scenes[1].second).pixels)
        lit += c.r + c.g + c.b;
    for (const Color& c : render_tiny(unlit).pixels)
        dark += c.r + c.g + c.b;
    EXPECT_LT(dark, 0.9 * lit);

    // Saved through a symlink to a folder elsewhere, its model found from
    // where the file really is, which ".." leads up from.
    std::filesystem::create_directories(path("real/a/b"));
    std::filesystem::create_directories(path("models"));
    std::filesystem::create_symlink(path("real/a/b"), path("link"));
    write_text("models/motor.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    SceneDescription served =
        parse_scene(R"({"models": [{"file": "models/motor.obj"}]})", path("served.json"), dir);
    write_scene_file(served, path("link/saved.json"));
    const SceneDescription saved = read_scene_file(path("link/saved.json"));
    EXPECT_EQ(load_parts(saved).size(), load_parts(served).size());
    // Saved over a symlink to a scene in another folder: read through the
    // link, its models are found from the link's folder, and the link stays.
    std::filesystem::create_symlink(path("real/a/b/saved.json"), path("models/scene.json"));
    write_scene_file(saved, path("models/scene.json"));
    EXPECT_TRUE(std::filesystem::is_symlink(path("models/scene.json")));
    EXPECT_EQ(load_parts(read_scene_file(path("models/scene.json"))).size(),
              load_parts(served).size());

    // Into a descriptor, which has no folder to lead from, by its whole path.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    write_scene_file(served, "/dev/fd/" + std::to_string(pipe_ends[1]));
    close(pipe_ends[1]);
    std::string piped(65536, '\0');
    piped.resize(size_t(std::max<ssize_t>(read(pipe_ends[0], piped.data(), piped.size()), 0)));
    close(pipe_ends[0]);
    const std::string model = std::filesystem::canonical(path("models/motor.obj")).string();
    EXPECT_NE(piped.find("\"file\": \"" + model + "\""), std::string::npos) << piped;
}
