// What xray-render writes: OpenEXR with passes, read back by OpenEXR itself;
// alpha that composites; turntable frames that do not depend on how the
// sequence was split.
#include "tests/render/render_fixture.h"
#include "tests/render/scratch_dir.h"

#include "render/camera.h"
#include "render/image/image_file.h"
#include "render/output/frame_sequence.h"
#include "render/output/frame_writer.h"
#include "render/output/output_file.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfStringAttribute.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

using namespace xr;

namespace {

class Outputs : public ScratchDir {
  protected:
    void render(std::vector<std::string> args) {
        const Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.err, "");
    }
    std::string bytes(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

// A matte wall across the middle of the view, and in front of its right half
// an inverted x-ray pane turned 60 degrees about the vertical, its colour
// connected to a procedural; nothing above and below the wall.
const char* const wall_and_pane = R"({
  "models": [
    {"shape": "box", "name": "wall", "size": [40, 4, 1], "translate": [0, 0, -3]},
    {"shape": "box", "name": "pane", "size": [2, 2, 0.02], "translate": [1.2, 0, 0],
     "rotate": [0, 60, 0]}
  ],
  "assign": [
    {"parts": "wall", "matte": {"color": [0.2, 0.4, 0.6]}},
    {"parts": "pane", "xray": {"power": 1, "invert": true,
                               "color": {"texture": "constant", "a": [0.9, 0.3, 0.1]}}}
  ],
  "camera": {"eye": [0, 0, 5], "target": [0, 0, 0], "fov": 40},
  "environment": {"floor": false},
  "settings": {"width": 64, "height": 48, "samples": 4}
})";

// An x-ray shell over a nested x-ray cube and matte parts, seen from just
// above the floor: the shell stands against the sky.
const char* const nested_xray = R"({
  "models": [
    {"shape": "sphere", "name": "shell", "radius": 1.2},
    {"shape": "box", "name": "cube", "size": [0.9, 0.9, 0.9], "rotate": [20, 30, 0]},
    {"shape": "sphere", "name": "core", "radius": 0.3},
    {"shape": "torus", "name": "ring", "radius": 1.7, "thickness": 0.2, "translate": [0, -0.6, 0]}
  ],
  "assign": [
    {"parts": "shell", "xray": {"power": 1.5}},
    {"parts": "cube", "xray": {"color": [1, 0.55, 0.15], "power": 1}}
  ],
  "camera": {"frame": "*", "from": [0.3, -0.03, 1], "fov": 16},
  "settings": {"width": 128, "height": 80, "samples": 4}
})";

} // namespace

TEST_F(Outputs, ExrHoldsEveryPassOfTheSurfacesTheCameraSees) {
    write_text("scene.json", wall_and_pane);
    render({"--scene", path("scene.json"), "--aov", "id,xray", "--aov", "depth,normal,albedo",
            "--out", path("passes.exr")});

    Imf::InputFile file(path("passes.exr").c_str());
    const Imf::Header& header = file.header();
    const Imath::Box2i window = header.dataWindow();
    ASSERT_EQ(window.max.x - window.min.x + 1, 64);
    ASSERT_EQ(window.max.y - window.min.y + 1, 48);
    std::string layout;
    for (auto c = header.channels().begin(); c != header.channels().end(); ++c)
        layout += std::string(c.name()) + (c.channel().type == Imf::HALF ? ":half " : ":float ");
    EXPECT_EQ(layout, "A:half B:half G:half N.x:float N.y:float N.z:float R:half Z:float "
                      "albedo.B:half albedo.G:half albedo.R:half id:float xray.weight:half ");
    const auto* manifest = header.findTypedAttribute<Imf::StringAttribute>("idManifest");
    ASSERT_NE(manifest, nullptr);
    EXPECT_EQ(manifest->value(), R"({"1":"wall","2":"pane"})");

    std::map<std::string, std::vector<float>> planes;
    Imf::FrameBuffer frame;
    for (auto c = header.channels().begin(); c != header.channels().end(); ++c) {
        std::vector<float>& plane = planes[c.name()];
        plane.resize(64 * 48);
        frame.insert(c.name(), Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(plane.data()),
                                          sizeof(float), 64 * sizeof(float)));
    }
    file.setFrameBuffer(frame);
    file.readPixels(0, 47);
    auto at = [&](const char* channel, int x, int y) {
        return planes[channel][size_t(y * 64 + x)];
    };

    // The middle of the view: the wall's face, 7.5 ahead, facing the camera.
    EXPECT_NEAR(at("Z", 32, 24), 7.5f, 2e-3f);
    EXPECT_EQ(at("N.x", 32, 24), 0.0f);
    EXPECT_EQ(at("N.y", 32, 24), 0.0f);
    EXPECT_EQ(at("N.z", 32, 24), 1.0f);
    EXPECT_NEAR(at("albedo.R", 32, 24), 0.2f, 1e-3f);
    EXPECT_NEAR(at("albedo.B", 32, 24), 0.6f, 1e-3f);
    EXPECT_EQ(at("xray.weight", 32, 24), 0.0f);
    EXPECT_EQ(at("id", 32, 24), 1.0f);
    // The pane: its procedural colour, and a see-through weight of 1 - |cos| ^ power.
    Camera camera;
    camera.eye = {0.0f, 0.0f, 5.0f};
    camera.target = {0.0f, 0.0f, 0.0f};
    camera.fov_y = 40.0f;
    const Vec3 normal{std::sin(float(M_PI) / 3.0f), 0.0f, 0.5f};
    const float facing = std::fabs(dot(normal, CameraView(camera, 64, 48).direction(47.5f, 24.5f)));
    EXPECT_NEAR(at("xray.weight", 47, 24), 1.0f - facing, 0.01f);
    EXPECT_NEAR(at("albedo.R", 47, 24), 0.9f, 1e-3f);
    EXPECT_NEAR(at("albedo.G", 47, 24), 0.3f, 1e-3f);
    EXPECT_NEAR(at("N.x", 47, 24), normal.x, 1e-5f);
    EXPECT_EQ(at("id", 47, 24), 2.0f);
    // Above the wall: nothing.
    EXPECT_EQ(at("Z", 0, 0), INFINITY);
    EXPECT_EQ(at("N.z", 0, 0), 0.0f);
    EXPECT_EQ(at("id", 0, 0), 0.0f);
    // Pixels at edges, where samples reach different surfaces: ids are never
    // averaged into another part's, depths never with samples that hit nothing.
    for (size_t i = 0; i < 64 * 48; ++i) {
        const float id = planes["id"][i], z = planes["Z"][i];
        EXPECT_TRUE(id == 0.0f || id == 1.0f || id == 2.0f) << id << " at " << i;
        EXPECT_TRUE(z == INFINITY || (z > 4.0f && z < 9.0f)) << z << " at " << i;
    }
}

// The same scene over a solid colour, and transparent then composited over
// that colour in linear light, agree at every pixel within the quantisation of
// half floats: x-ray surfaces carry what they let through into alpha.
TEST_F(Outputs, TransparentRenderCompositedOverAColourIsTheRenderOnThatColour) {
    write_text("scene.json", nested_xray);
    const Vec3 colour{0.6f, 0.3f, 0.15f};
    render({"--scene", path("scene.json"), "--background", "0.6,0.3,0.15", "--out",
            path("solid.exr")});
    render(
        {"--scene", path("scene.json"), "--background", "transparent", "--out", path("clear.exr")});
    const Image solid = read_image(path("solid.exr")).film.beauty;
    const Image clear = read_image(path("clear.exr")).film.beauty;
    ASSERT_EQ(solid.pixels.size(), clear.pixels.size());

    size_t see_through = 0, empty = 0;
    for (size_t i = 0; i < solid.pixels.size(); ++i) {
        const Color& s = solid.pixels[i];
        const Color& c = clear.pixels[i];
        see_through += c.a > 0.05f && c.a < 0.95f;
        empty += c.a == 0.0f;
        const float uncovered = 1.0f - c.a;
        const float over[] = {c.r + uncovered * colour.x, c.g + uncovered * colour.y,
                              c.b + uncovered * colour.z};
        const float expected[] = {s.r, s.g, s.b};
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(over[k], expected[k], 1e-3f * (1.0f + expected[k]))
                << "pixel " << i % 128 << "," << i / 128 << " channel " << k;
        ASSERT_EQ(s.a, 1.0f) << "pixel " << i;
    }
    EXPECT_GT(see_through, 400u); // the shell against the sky
    EXPECT_GT(empty, 1000u);      // the sky itself

    // Without the studio's floor, where it was is empty too.
    render({"--scene", path("scene.json"), "--background", "transparent", "--no-floor", "--out",
            path("bare.exr")});
    size_t bare = 0;
    for (const Color& c : read_image(path("bare.exr")).film.beauty.pixels)
        bare += c.a == 0.0f;
    EXPECT_GT(bare, empty + 1000u);
}

// Frames come out the same, byte for byte, however the turntable is split
// between runs and threads; frames already there are left alone.
TEST_F(Outputs, TurntableFramesDoNotDependOnTheSplit) {
    const std::vector<std::string> small = {"--turntable", "4",  "--width", "32",
                                            "--height",    "20", "--spp",   "2"};
    auto turntable = [&](const std::string& pattern, std::vector<std::string> more) {
        std::vector<std::string> args = small;
        args.insert(args.end(), {"--out", path(pattern)});
        args.insert(args.end(), more.begin(), more.end());
        return run(args);
    };
    ASSERT_EQ(turntable("whole_#.png", {}).status, 0);
    ASSERT_EQ(turntable("split_#.png", {"--frames", "3-4", "--threads", "1"}).status, 0);
    ASSERT_EQ(turntable("split_#.png", {"--frames", "1-2", "--threads", "2"}).status, 0);
    for (const char* frame : {"1", "2", "3", "4"})
        EXPECT_EQ(bytes("whole_" + std::string(frame) + ".png"),
                  bytes("split_" + std::string(frame) + ".png"))
            << frame;
    EXPECT_NE(bytes("whole_1.png"), bytes("whole_2.png")); // the camera moved
    // Frame 1 is the still.
    ASSERT_EQ(
        run({"--width", "32", "--height", "20", "--spp", "2", "--out", path("still.png")}).status,
        0);
    EXPECT_EQ(bytes("still.png"), bytes("whole_1.png"));
    ASSERT_EQ(
        run({"--width", "16", "--height", "20", "--spp", "1", "--out", path("still_small.png")})
            .status,
        0);

    // A lost frame is rendered again, and so is an empty one, or one of
    // another size; the others are not touched.
    struct stat before, after;
    ASSERT_EQ(stat(path("split_2.png").c_str(), &before), 0);
    std::remove(path("split_3.png").c_str());
    write_text("split_1.png", "");
    std::rename(path("still_small.png").c_str(), path("split_4.png").c_str());
    const Outcome r = turntable("split_#.png", {"--skip-existing"});
    EXPECT_EQ(r.status, 0);
    for (const char* frame : {"1", "3", "4"})
        EXPECT_TRUE(bytes("split_" + std::string(frame) + ".png") ==
                    bytes("whole_" + std::string(frame) + ".png"))
            << frame;
    ASSERT_EQ(stat(path("split_2.png").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_NE(r.out.find("frame 2 of 4: " + path("split_2.png") + " is complete, skipped\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("frame 3 of 4: " + path("split_3.png") + ": 32x20, 2 spp"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("frames 1-4 of 4: 3 rendered in "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", 1 skipped\n"), std::string::npos) << r.out;

    // A folder in a frame's place is no frame, and cannot be replaced by one.
    std::remove(path("split_3.png").c_str());
    ASSERT_EQ(mkdir(path("split_3.png").c_str(), 0755), 0);
    const Outcome folder = turntable("split_#.png", {"--skip-existing"});
    EXPECT_NE(folder.status, 0);
    EXPECT_NE(folder.err.find("split_3.png: Is a directory"), std::string::npos) << folder.err;
}

// A frame split into bands (PNG) or into windows that cut across the
// renderer's own tiles (OpenEXR with every pass), rendered by separate runs on
// different numbers of threads and merged in any order, is the frame rendered
// at once, byte for byte. An OpenEXR tile is placed by its windows.
TEST_F(Outputs, TilesMergeIntoTheFrameRenderedAtOnce) {
    write_text("scene.json", nested_xray);
    auto tile_args = [&](const std::string& out, std::vector<std::string> window) {
        std::vector<std::string> args = {"--scene", path("scene.json"), "--out", path(out)};
        if (format_for(out) == ImageFormat::exr) // a PNG holds no passes
            args.insert(args.end(), {"--aov", "depth,normal,albedo,xray,id"});
        args.insert(args.end(), window.begin(), window.end());
        return args;
    };
    auto tile = [&](const std::string& out, std::vector<std::string> window) {
        render(tile_args(out, window));
    };
    tile("whole.png", {});
    tile("whole.exr", {});
    tile("band_1.png", {"--tile", "1/3", "--threads", "1"});
    tile("band_2.png", {"--tile", "2/3"});
    tile("band_3.png", {"--tile", "3/3", "--threads", "1"});
    const char* const windows[] = {"0,0,37,29", "37,0,128,29", "0,29,77,80", "77,29,128,80"};
    for (int k = 0; k < 4; ++k)
        tile("window_" + std::to_string(k) + ".exr",
             {"--region", windows[k], "--threads", k % 2 ? "1" : "2"});

    EXPECT_EQ(read_image(path("band_2.png")).film.width(), 128);
    EXPECT_EQ(read_image(path("band_2.png")).film.height(), 27); // rows 26 to 52
    Imf::InputFile file(path("window_2.exr").c_str());
    EXPECT_EQ(file.header().displayWindow(), Imath::Box2i({0, 0}, {127, 79}));
    EXPECT_EQ(file.header().dataWindow(), Imath::Box2i({0, 29}, {76, 79}));

    ASSERT_EQ(run({"merge", path("band_3.png"), path("band_1.png"), path("band_2.png"),
                   path("merged.png")})
                  .status,
              0);
    EXPECT_TRUE(bytes("merged.png") == bytes("whole.png")) << "merged.png differs from whole.png";
    const Outcome r = run({"merge", path("window_3.exr"), path("window_0.exr"),
                           path("window_2.exr"), path("window_1.exr"), path("merged.exr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, path("merged.exr") + ": 128x80, from 4 tiles\n");
    EXPECT_TRUE(bytes("merged.exr") == bytes("whole.exr")) << "merged.exr differs from whole.exr";

    // With --skip-existing, a tile that is there is left: a PNG known by its
    // size, an OpenEXR by its windows, so that one of the same size elsewhere
    // in the frame is rendered again, as is a file cut short or without the
    // passes asked for, or a tile of the same size from another render: of
    // another seed, of a frame one row taller, or traced with another
    // instruction set.
    for (const char* other : {"reseeded.png", "taller.png", "pinned.png"})
        std::ofstream(path(other), std::ios::binary) << bytes("band_2.png");
    std::ofstream(path("moved.exr"), std::ios::binary) << bytes("window_0.exr");
    std::ofstream(path("cut.png"), std::ios::binary) << bytes("band_2.png").substr(0, 100);
    std::ofstream(path("cut.exr"), std::ios::binary) << bytes("whole.exr").substr(0, 1000);
    render({"--scene", path("scene.json"), "--aov", "depth", "--out", path("depth.exr")});
    const struct {
        const char* out;
        std::vector<std::string> window;
        bool done;
    } again[] = {{"band_2.png", {"--tile", "2/3"}, true},
                 {"window_2.exr", {"--region", windows[2]}, true},
                 {"whole.exr", {}, true},
                 {"moved.exr", {"--region", "37,29,74,58"}, false},
                 {"reseeded.png", {"--tile", "2/3", "--seed", "7"}, false},
                 {"taller.png", {"--tile", "2/3", "--height", "81"}, false},
                 {"pinned.png", {"--tile", "2/3", "--isa", "sse2"}, false},
                 {"cut.png", {"--tile", "2/3"}, false},
                 {"cut.exr", {}, false},
                 {"depth.exr", {}, false}};
    for (const auto& [out, window, done] : again) {
        std::vector<std::string> args = tile_args(out, window);
        args.push_back("--skip-existing");
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 0) << out << ": " << r.err;
        EXPECT_EQ(r.out == path(out) + " is complete, skipped\n", done) << r.out;
    }

    // A model named on the command line is the same render however its path
    // is typed, and another of the same name elsewhere another render.
    write_text("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    write_text("sub/tri.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n");
    render({"--model", path("tri.obj"), "--tile", "1/2", "--out", path("model.png")});
    for (const char* model : {"sub/../tri.obj", "sub/tri.obj"}) {
        const Outcome r = run({"--model", path(model), "--tile", "1/2", "--out", path("model.png"),
                               "--skip-existing"});
        EXPECT_EQ(r.out == path("model.png") + " is complete, skipped\n",
                  std::string(model) == "sub/../tri.obj")
            << model << ": " << r.out << r.err;
    }
    // A model saved again with other contents is another render too.
    render({"--model", path("tri.obj"), "--tile", "1/2", "--out", path("model.png")});
    write_text("tri.obj", "v 0 0 0\nv 2 0 0\nv 0 1 0\nf 1 2 3\n");
    const Outcome saved = run({"--model", path("tri.obj"), "--tile", "1/2", "--out",
                               path("model.png"), "--skip-existing"});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out, path("model.png") + " is complete, skipped\n");
}

// A frame that fails leaves no file, and the scene's camera where it was for
// what renders the scene next; memory running out says where.
TEST_F(Outputs, AFailedTurntableFrameLeavesTheCameraAndNoFile) {
    Scene scene = backdrop_scene();
    scene.commit();
    const Camera before = scene.camera;
    RenderSettings settings;
    settings.width = 16;
    settings.height = 8;
    settings.samples = 1;
    const FrameSource source{
        &scene, xray_shader(), settings, {[](float) { throw std::bad_alloc(); }}};
    OutputPlan plan;
    plan.out = path("turn_#.png");
    plan.turntable = 4;
    plan.range = {2, 2};
    try {
        write_frames(source, plan, {2});
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(
            e.what(),
            ("frame 2 of 4: " + path("turn_2.png") + ": rendering: out of memory").c_str());
    }
    EXPECT_EQ(scene.camera.eye.x, before.eye.x);
    EXPECT_EQ(scene.camera.eye.z, before.eye.z);
    EXPECT_TRUE(listing().empty());
}

// An output that is no regular file is written through, never replaced: a
// symlink's target (beside which the temporary file goes, and which keeps its
// permissions), a device, a pipe; a WebM video streams into the last two.
// A name near the file system's limit leaves room for no longer temporary one.
TEST_F(Outputs, SymlinksDevicesAndPipesAreWrittenThroughNeverReplaced) {
    ASSERT_EQ(mkdir(path("elsewhere").c_str(), 0755), 0);
    write_text("elsewhere/target.png", "to be replaced");
    ASSERT_EQ(chmod(path("elsewhere/target.png").c_str(), 0640), 0);
    ASSERT_EQ(symlink("elsewhere/target.png", path("link.png").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", path("null.png").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", path("null.webm").c_str()), 0);
    std::map<std::string, int> readers; // a FIFO's, and what its data begins with
    const std::map<std::string, std::string> magic = {{"pipe.png", "\x89PNG"},
                                                      {"pipe.webm", "\x1a\x45\xdf\xa3"}};
    for (const auto& [fifo, begins] : magic) {
        ASSERT_EQ(mkfifo(path(fifo).c_str(), 0644), 0);
        readers[fifo] = open(path(fifo).c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(readers[fifo], 0);
    }
    const std::string longest = std::string(251, 'n') + ".png"; // 255 bytes
    for (const std::string& out :
         {std::string("link.png"), std::string("null.png"), std::string("null.webm"),
          std::string("pipe.png"), std::string("pipe.webm"), longest}) {
        const Outcome r = run({"--width", "8", "--height", "8", "--spp", "1", "--out", path(out)});
        EXPECT_EQ(r.status, 0) << out << ": " << r.err;
    }
    const auto kind = [&](const std::string& name) {
        struct stat st;
        return lstat(path(name).c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
    };
    EXPECT_EQ(kind("link.png"), S_IFLNK);
    EXPECT_EQ(read_image(path("elsewhere/target.png")).film.width(), 8);
    struct stat target;
    ASSERT_EQ(stat(path("elsewhere/target.png").c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 0777, 0640u);
    EXPECT_EQ(kind("null.png"), S_IFLNK);
    for (const auto& [fifo, begins] : magic) {
        EXPECT_EQ(kind(fifo), S_IFIFO);
        std::string piped(begins.size(), '\0');
        EXPECT_EQ(read(readers[fifo], piped.data(), piped.size()), ssize_t(piped.size()));
        EXPECT_EQ(piped, begins) << fifo;
        close(readers[fifo]);
    }
    EXPECT_EQ(kind(longest), S_IFREG);
    for (const std::string& name : listing())
        EXPECT_NE(name[0], '.') << "left behind: " << name;
}

// A folder moved while its file is made gets the file, whole, as a rename
// within it would; neither the file kept nor one given up leaves a
// temporary file there.
TEST_F(Outputs, AFolderMovedMeanwhileGetsItsFileAndNoTemporaryOne) {
    ASSERT_EQ(mkdir(path("before").c_str(), 0755), 0);
    // What it replaces is private, and stays so.
    std::ofstream(path("before/kept.png")) << "old";
    ASSERT_EQ(chmod(path("before/kept.png").c_str(), 0600), 0);
    {
        OutputFile kept(path("before/kept.png"));
        OutputFile dropped(path("before/dropped.png"));
        ASSERT_EQ(rename(path("before").c_str(), path("after").c_str()), 0);
        kept.commit({'p', 'n', 'g'});
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"after"});
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path("after")))
        names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"kept.png"});
    EXPECT_EQ(bytes("after/kept.png"), "png");
    struct stat st;
    ASSERT_EQ(stat(path("after/kept.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// An output that names one of the program's descriptors, directly or through
// a symlink, is written into as it is, never reopened: a pipe takes the
// image, a file opened to be appended to keeps what it held. Standard output
// taken for the image, the program's line goes to standard error.
TEST_F(Outputs, DescriptorsAreWrittenIntoAsTheyAre) {
    const std::string render = std::string(XRAY_RENDER) + " --width 8 --height 8 --spp 1 --out ";
    ASSERT_EQ(std::system(("cd '" + dir + "' && " + render + "image.png >/dev/null").c_str()), 0);
    ASSERT_EQ(symlink("/proc/self/fd/3", path("three.png").c_str()), 0);
    const struct {
        std::string out, shell;  // what follows the --out, in the shell
        std::string data, lines; // the files that get the image and the program's line
        std::string kept = "";   // what the image follows in its file
    } cases[] = {
        {"/dev/stdout", ">>data 2>lines", "data", "lines", "earlier\n"},
        {"/dev/fd/1", "2>lines | cat >data", "data", "lines"},
        {"three.png", "3>>data >lines", "data", "lines", "earlier\n"},
    };
    for (const auto& [out, shell, data, lines, kept] : cases) {
        write_text(data, "earlier\n");
        std::system(("cd '" + dir + "' && " + render + out + " " + shell).c_str());
        EXPECT_TRUE(bytes(data) == kept + bytes("image.png")) << out << " " << shell;
        const std::string printed = bytes(lines);
        EXPECT_EQ(printed.rfind(out + ": 8x8, 1 spp", 0), 0u) << out << ": " << printed;
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << out << ": " << printed;
    }
}

// Started with standard output closed, the program opens no file as
// descriptor 1: a video's frames never take its lines, which fail instead.
TEST_F(Outputs, AClosedStandardOutputIsNoOutputsDescriptor) {
    const std::string render = std::string(XRAY_RENDER) + " --width 8 --height 8 --spp 1 --out ";
    std::system(("cd '" + dir + "' && " + render + "v.mp4 --turntable 2 >&- 2>lines").c_str());
    EXPECT_EQ(bytes("v.mp4").substr(4, 4), "ftyp");
    EXPECT_NE(bytes("lines").find("standard output: Bad file descriptor"), std::string::npos);
    // Nor is there one to take an image.
    std::system(("cd '" + dir + "' && " + render + "/dev/stdout >&- 2>lines").c_str());
    EXPECT_NE(bytes("lines").find("/dev/stdout: Bad file descriptor"), std::string::npos);
    // Nor, with standard error closed, one to take the program's lines: refused
    // before the image is made.
    EXPECT_NE(std::system(("cd '" + dir + "' && " + render + "/dev/stdout 2>&- >data").c_str()), 0);
    EXPECT_EQ(bytes("data"), "");
}

TEST(FramePattern, HashesBecomeTheFrameNumberPaddedToTheirCount) {
    EXPECT_EQ(frame_path("out/t_####.exr", 7), "out/t_0007.exr");
    EXPECT_EQ(frame_path("out/t_##.png", 12345), "out/t_12345.png");
    EXPECT_EQ(frame_path("frames/#", 3), "frames/3");

    // What stands for the whole sequence, such as the scene file serve saves.
    EXPECT_EQ(sequence_name("out/t_####.exr"), "out/t.exr");
    EXPECT_EQ(sequence_name("out/t.##_beauty.png"), "out/t_beauty.png");
    EXPECT_EQ(sequence_name("out/##_t.png"), "out/t.png");
    EXPECT_EQ(sequence_name("frames/#.png"), "frames/sequence.png");
    EXPECT_EQ(sequence_name("#"), "sequence");
    EXPECT_EQ(sequence_name("still.png"), "still.png");
}
