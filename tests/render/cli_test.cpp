// xray-render as its users run it: one clean line for bad input, never a partial file.
#include "tests/render/scratch_dir.h"

#include "render/image/image_file.h"
#include "render/render_settings.h"
#include "render/thread_context.h"
#include "render/util/interrupt.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class XrayRenderCli : public ScratchDir {};

const char* const tiny[] = {"--width", "24", "--height", "16", "--spp", "1"};

} // namespace

TEST_F(XrayRenderCli, RendersQuietlyAndSumsUpOnOneLine) {
    std::vector<std::string> args(std::begin(tiny), std::end(tiny));
    // A name's control characters are shown as escapes, not sent to the terminal.
    args.insert(args.end(), {"--threads", "1", "--out", dir + "/scene\x1b[2J\n.png"});
    Outcome r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ""); // no diagnostic: every host operation was found
    EXPECT_NE(r.out.find("scene\\x1b[2J\\x0a.png: 24x16, 1 spp, 1 thread,"), std::string::npos)
        << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_EQ(xr::read_image(path("scene\x1b[2J\n.png")).format, xr::ImageFormat::png);

    // Adaptive sampling that cannot adapt renders, and says so.
    args.push_back("--adaptive");
    r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "warning: adaptive sampling has no effect with 1 sample a pixel and a "
                     "minimum of 16 (--spp and --min-spp, or the scene's samples and "
                     "min_samples): every pixel takes 1 sample; the samples must exceed both "
                     "the minimum and 2\n");

    // Boxes in a row, x-rayed, whose surfaces outnumber the nesting limit
    // before the wall: rendered, and said once.
    std::string boxes;
    for (int i = 0; i <= xr::max_depth / 2; ++i)
        boxes += R"({"shape": "box", "name": "b)" + std::to_string(i) +
                 R"(", "size": [2, 2, 0.01], "translate": [0, 0, )" + std::to_string(i * 0.05) +
                 "]},";
    std::ofstream(dir + "/row.json")
        << R"({"models": [)" << boxes
        << R"({"shape": "box", "name": "wall", "size": [1, 1, 0.2], "translate": [0, 0, -2]}],
              "assign": [{"parts": "b*", "xray": {}}, {"parts": "wall", "matte": {}}],
              "camera": {"eye": [0, 0, 30], "target": [0, 0, 0], "fov": 10}})";
    r = run({"--scene", dir + "/row.json", "--width", "8", "--height", "8", "--spp", "1", "--out",
             dir + "/row\n.png"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find(" see-through rays reached the nesting limit of " +
                         std::to_string(xr::max_depth) +
                         " surfaces; the background shows beyond "
                         "them\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST_F(XrayRenderCli, RendersModelsAndListsTheirParts) {
    std::ofstream(dir + "/tetra.obj") << "o tip\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                         "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n";
    std::vector<std::string> args(std::begin(tiny), std::end(tiny));
    // A highlight tint's alpha, which the shader never reads, is taken as given,
    // beyond the bound on the channels that pass light on too.
    args.insert(args.end(), {"--obj", dir + "/tetra.obj", "--xray", "*", "--specular",
                             "1,1,1,20000", "--out", dir + "/tetra.png"});
    Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    r = run({"--model", FIXTURES "/assembly.glb", "--list-parts"});
    EXPECT_EQ(r.status, 0) << r.err;
    // Numbered as the id pass numbers them.
    EXPECT_NE(r.out.find("\n   2  model/core              12  0.9,0.1,0.1\n"), std::string::npos)
        << r.out;

    // A name that is not UTF-8 and holds a control character: text from the
    // start, so the id pass's legend can hold it, and listed escaped. The
    // file's name is not UTF-8 either, and a tile's digest holds it.
    const std::string latin1 = dir + "/latin1_\xe9.obj";
    std::ofstream(latin1) << "o caf\xe9\x1b[31m\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    r = run({"--model", latin1, "--list-parts"});
    EXPECT_NE(r.out.find(" caf\xEF\xBF\xBD\\x1b[31m "), std::string::npos) << r.out;
    args.assign(std::begin(tiny), std::end(tiny));
    args.insert(args.end(),
                {"--model", latin1, "--aov", "id", "--tile", "1/2", "--out", dir + "/latin1.exr"});
    r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;

    // The scene files shipped with the program, and the scene it has built in.
    for (const char* scene : {SCENES "/default.json", SCENES "/assembly.json", ""}) {
        std::vector<std::string> scene_args(std::begin(tiny), std::end(tiny));
        if (*scene)
            scene_args.insert(scene_args.end(), {"--scene", scene});
        scene_args.insert(scene_args.end(), {"--out", dir + "/scene.png"});
        r = run(scene_args);
        EXPECT_EQ(r.status, 0) << scene << ": " << r.err;
    }
}

TEST_F(XrayRenderCli, ReportsTheThreadsThatRan) {
    std::vector<std::string> args(std::begin(tiny), std::end(tiny));
    args.insert(args.end(), {"--threads", "1024", "--out", dir + "/scene.png"});
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ""); // oneTBB was not asked for more than it gives
    const int threads = std::atoi(r.out.substr(r.out.find("spp, ") + 5).c_str());
    EXPECT_GE(threads, 1) << r.out;
    EXPECT_LE(threads, int(sysconf(_SC_NPROCESSORS_ONLN))) << r.out;
}

// Ctrl-C, SIGTERM or SIGHUP (the terminal closed) in the middle of a render,
// of a still, a sequence or a video: the program ends by that signal (the
// shell reports 128 + its number) and leaves no temporary file behind; the
// frames it leaves are whole. An image's temporary file is made once its
// pixels are rendered, so that none is there while it renders, for a process
// killed outright (SIGKILL) to leave; a video's is there from the start, and
// a folder moved meanwhile keeps none either. A signal it was started
// ignoring (nohup) it goes on ignoring, and finishes.
TEST_F(XrayRenderCli, InterruptedRenderLeavesOnlyWholeFiles) {
    const std::vector<std::string> short_still = {"--spp", "8",     "--threads",
                                                  "1",     "--out", dir + "/big.png"};
    const std::vector<std::string> still = {"--spp", "4096",  "--threads",
                                            "1",     "--out", dir + "/big.png"};
    const std::vector<std::string> sequence = {
        "--turntable", "1000", "--spp",     "16", "--width", "64",
        "--height",    "40",   "--threads", "1",  "--out",   dir + "/f_####.png"};
    std::vector<std::string> video = sequence;
    video.back() = dir + "/turntable.mp4";
    const struct {
        int signal;
        const std::vector<std::string>& args;
        size_t frames;  // to wait for before the signal
        bool temporary; // while it renders
        bool ignored = false;
        bool moved = false; // the folder, before the signal
    } cases[] = {{SIGINT, still, 0, false},
                 {SIGTERM, still, 0, false},
                 {SIGHUP, still, 0, false},
                 {SIGINT, sequence, 2, false},
                 {SIGTERM, video, 0, true},
                 {SIGTERM, video, 0, true, false, true},
                 {SIGHUP, short_still, 0, false, true}};
    for (const auto& c : cases) {
        std::system(("rm -f '" + dir + "'/* '" + dir + "'/.[!.]*").c_str());
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (c.ignored)
                std::signal(c.signal, SIG_IGN);
            std::vector<char*> argv = {const_cast<char*>(XRAY_RENDER)};
            for (const std::string& a : c.args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(XRAY_RENDER, argv.data());
            _exit(127);
        }
        // The hidden files there, or the others.
        auto count = [&](bool hidden) {
            const std::vector<std::string> names = listing();
            return size_t(std::count_if(names.begin(), names.end(), [&](const std::string& n) {
                return (n[0] == '.') == hidden;
            }));
        };
        auto temporaries = [&] { return count(true); };
        // Under way: a video's temporary file is there, a sequence's first
        // frames are, a still has loaded its shader (and then renders for
        // minutes).
        auto under_way = [&] {
            if (c.temporary)
                return temporaries() == 1;
            if (c.frames > 0)
                return count(false) >= c.frames;
            std::ifstream maps("/proc/" + std::to_string(child) + "/maps");
            const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
            return mapped.find("qorv_xraytexture") != std::string::npos;
        };
        // Twice over, 20 ms apart: the empty file that checks the folder is
        // writable comes and goes before a video's own.
        auto settled = [&] { return under_way() && (usleep(20000), under_way()); };
        for (int i = 0; i < 2000 && !settled(); ++i)
            usleep(5000);
        EXPECT_TRUE(under_way());
        if (c.frames == 0 && !c.temporary)
            usleep(200000); // past building the scene
        EXPECT_EQ(temporaries(), c.temporary ? 1u : 0u);
        if (c.moved) {
            ASSERT_EQ(rename(dir.c_str(), (dir + ".moved").c_str()), 0);
        }
        kill(child, c.signal);
        int status = 0;
        if (c.ignored)
            waitpid(child, &status, 0);
        // A program that ignored the signal is stopped after a while, and fails.
        for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i)
            usleep(10000);
        if (kill(child, 0) == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        if (c.moved) {
            ASSERT_EQ(rename((dir + ".moved").c_str(), dir.c_str()), 0);
        }
        EXPECT_TRUE(c.ignored ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                              : WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
            << status;
        EXPECT_EQ(temporaries(), 0u);
        if (c.frames == 0 && !c.ignored) {
            EXPECT_TRUE(listing().empty());
        }
        for (const std::string& name : listing())
            EXPECT_NO_THROW(xr::read_image(path(name))) << name;
    }
}

// A server's interrupts, taken by a thread of their own: one before there is
// a stop to run (while the scene loads) ends the program at once, and so does
// one while the stop runs; one the program was started ignoring stays
// ignored, even one that also wakes the thread at the end.
TEST(OrderlyStop, EndsAtOnceUnlessAStopCanBegin) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            xr::OrderlyStop stop;
            kill(getpid(), SIGINT);
            pause();
        },
        testing::KilledBySignal(SIGINT), "");
    EXPECT_EXIT(
        {
            xr::OrderlyStop stop;
            stop.on_first([] {
                kill(getpid(), SIGTERM);
                pause();
            });
            kill(getpid(), SIGINT);
            pause();
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(
        {
            std::signal(SIGHUP, SIG_IGN);
            xr::OrderlyStop stop;
            kill(getpid(), SIGHUP);
            kill(getpid(), SIGINT);
            pause();
        },
        testing::KilledBySignal(SIGINT), "");
    EXPECT_EXIT(
        {
            std::signal(SIGTERM, SIG_IGN);
            xr::OrderlyStop stop;
            stop.finish();
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(XrayRenderCli, HelpListsTheOptionsAndVersionNamesTheRelease) {
    const Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--out",
                               "--spp",
                               "--threads",
                               "--obj",
                               "--shader",
                               "--power",
                               "--invert",
                               "--color",
                               "--specular-weight",
                               "--light-mode",
                               "--aov",
                               "--background",
                               "--turntable",
                               "--frames",
                               "--skip-existing",
                               "--fps",
                               "--quality",
                               "--region",
                               "--tile",
                               "xray-render compare",
                               "merge",
                               "encode"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    // The defaults shown are those a render takes.
    const xr::RenderSettings d;
    for (const auto& [option, value] : {std::pair{"--width", d.width},
                                        {"--height", d.height},
                                        {"--spp", d.samples},
                                        {"--seed", int(d.seed)}}) {
        const size_t at = r.out.find(std::string("  ") + option + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const std::string line = r.out.substr(at, r.out.find('\n', at) - at) + " ";
        EXPECT_NE(line.find("=" + std::to_string(value) + " "), std::string::npos) << line;
    }
    // The manual page is written from these two; neither is an error.
    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("xray-render 2.", 0), 0u) << version.out;
}

TEST_F(XrayRenderCli, BadInputIsOneLineAndNoFile) {
    std::ofstream(dir + "/empty.obj") << "# nothing\n";
    std::ofstream(dir + "/huge.obj") << "v 0 0 0\nv 1e39 0 0\nv 0 1 0\nf 1 2 3\n";
    // Finite, but its size overflows a float.
    std::ofstream(dir + "/far.obj") << "v 0 0 0\nv 3e38 0 0\nv 0 -3e38 0\nf 1 2 3\n";
    std::ofstream(dir + "/broken.json") << "{\"models\": [\n  {\"shape\": \"sphere\"}\n";
    std::ifstream gearbox(FIXTURES "/gearbox.step");
    std::ofstream(dir + "/cut.step")
        << std::string(std::istreambuf_iterator<char>(gearbox), {}).substr(0, 100000);
    // Tiles and frames for merge and encode to refuse: tiles of two renders
    // and of two frame sizes; frames with one missing, and of two sizes.
    auto make = [&](std::vector<std::string> more, const std::string& name) {
        std::vector<std::string> args(std::begin(tiny), std::end(tiny));
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"--out", dir + "/" + name});
        ASSERT_EQ(run(args).status, 0) << name;
    };
    make({"--tile", "1/2"}, "top.png");
    make({"--tile", "2/2"}, "bottom.png");
    make({"--tile", "2/2", "--seed", "7"}, "other_bottom.png");
    make({"--tile", "2/2", "--width", "32"}, "wide_bottom.png");
    // A tile is sized by its window, whatever its frame's size; but no PNG
    // tile of a frame no PNG can hold is made.
    make({"--width", "65536", "--height", "65536", "--region", "0,0,8,8"}, "huge.exr");
    make({}, "whole.png");
    make({"--turntable", "3", "--frames", "1-1"}, "gap_#.png");
    make({"--turntable", "3", "--frames", "3-3"}, "gap_#.png");
    make({"--turntable", "2", "--frames", "1-1"}, "sizes_#.png");
    make({"--turntable", "2", "--frames", "2-2", "--width", "32"}, "sizes_#.png");
    const std::string out = dir + "/out.png";
    // An input under another name, and a video's name for standard output.
    ASSERT_EQ(symlink("top.png", (dir + "/top_link.png").c_str()), 0);
    ASSERT_EQ(symlink("/dev/stdout", (dir + "/piped.mp4").c_str()), 0);
    // Outputs that are inputs: a scene, a model and a frame, by name or by link.
    std::ofstream(dir + "/s_1.json") << "{\"models\": [{\"shape\": \"sphere\"}]}\n";
    std::ofstream(dir + "/tri.obj") << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    ASSERT_EQ(symlink("tri.obj", (dir + "/obj_link.png").c_str()), 0);
    // And files a model leads its reader to: a glTF's buffer, an OBJ's materials.
    for (const char* file : {"assembly.gltf", "assembly.bin"})
        std::filesystem::copy_file(std::string(FIXTURES) + "/" + file, dir + "/" + file);
    std::ofstream(dir + "/red.mtl") << "newmtl red\nKd 1 0 0\n";
    std::ofstream(dir + "/red.obj") << "mtllib red.mtl\nusemtl red\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                       "f 1 2 3\n";
    ASSERT_EQ(symlink("gap_1.png", (dir + "/gap_link.mkv").c_str()), 0);
    // The shader library and the program: hard links, which a write not
    // refused would replace rather than write through.
    std::filesystem::copy_file(WRONG_VERSION_SHADER, dir + "/shader.so");
    const std::string bin = std::filesystem::path(XRAY_RENDER).parent_path().string();
    ASSERT_EQ(link((bin + "/qorv_xraytexture.so").c_str(), (dir + "/library.png").c_str()), 0);
    ASSERT_EQ(link(XRAY_RENDER, (dir + "/program.png").c_str()), 0);
    // A folder where a turntable's middle frame goes.
    std::filesystem::create_directory(dir + "/mid_2.png");
    ASSERT_EQ(mkfifo((dir + "/fifo.png").c_str(), 0600), 0);
    std::ifstream top_file(dir + "/top.png", std::ios::binary);
    const std::string top(std::istreambuf_iterator<char>(top_file), {});
    // A tile with one bit of its pixels flipped, which only its CRC tells.
    std::ifstream bottom_file(dir + "/bottom.png", std::ios::binary);
    std::string flipped(std::istreambuf_iterator<char>(bottom_file), {});
    flipped[flipped.size() - 12 - 4 - 1] ^= 0x10;
    std::ofstream(dir + "/flipped_bottom.png", std::ios::binary) << flipped;
    // Each case, and where it matters, what its message must say: some faults
    // would also end in one line, only the wrong one.
    const struct {
        std::vector<std::string> given;
        std::string says = "";
        std::string out = ""; // standard output, when not a file that takes it
        int status = 0;       // when it matters: 2 for an option refused whatever the scene
    } cases[] = {
        {{"--frobnicate"}},
        {{"--width", "-5"}},
        {{"--spp", "0"}},
        {{"--spp", "64.0"}, "--spp: 64.0: expected a whole number from 1 to 65536", "", 2},
        {{"--adaptive", "--noise", "-1"}},
        {{"--adaptive", "--min-spp", "0"}},
        {{"--adaptive", "--noise", "nan"}, "--noise: nan: expected a number from 0 to"},
        {{"--color", "1,0"}},
        {{"--xray", "*", "--color", "1,0,0,"}},
        {{"--xray", "*", "--color", "0.25,0.55,1,5"},
         "--color 0.25,0.55,1,5: alpha 5 is outside [0, 1]"},
        {{"--xray", "*", "--power", "nan"}},
        {{"--xray", "*", "--specular-exponent", "inf"}},
        {{"--xray", "*", "--power", "-1"}},
        {{"--power", "3"}},
        {{"--light-mode", "sideways"}},
        {{"--width", "65536", "--height", "65536", "--out", dir + "/big.exr"},
         "more than the memory available"},
        // Refused before the render, never overflowing the encoder's sizes.
        {{"--width", "65536", "--height", "16385"}, "larger than a PNG can be written"},
        // Its tiles too: merge could not write the frame they make.
        {{"--width", "65536", "--height", "16385", "--tile", "1/64"},
         "larger than a PNG can be written"},
        // Output that never reached standard output is no success.
        {{"--model", FIXTURES "/assembly.glb", "--list-parts"},
         "cannot write to standard output: No space left on device",
         "/dev/full"},
        {{"--out", "/dev/null"}, "standard output: No space left on device", "/dev/full"},
        {{"--help"}, "cannot write to standard output", "/dev/full", 1},
        {{"--version"}, "cannot write to standard output", "/dev/full", 1},
        {{"--obj", dir + "/missing.obj"}},
        {{"--obj", dir + "/empty.obj"}},
        {{"--obj", dir + "/huge.obj"}},
        {{"--obj", dir + "/far.obj"}, "far.obj has a vertex beyond"},
        {{"--model", FIXTURES "/assembly.gltf", "--xray", "*door*"}},
        {{"--model", dir + "/cut.step"}, "cut.step: not a STEP file, or cut short"},
        {{"--model", FIXTURES "/gearbox.step", "--tessellation", "0,20"}},
        {{"--model", FIXTURES "/gearbox.step", "--tessellation", "0.001,inf"}},
        {{"--model", FIXTURES "/gearbox.step", "--tessellation", "0.001,0.5"},
         "degrees within [1, 90]"},
        {{"--model", FIXTURES "/gearbox.step", "--tessellation", "0.001"}},
        {{"--tessellation", "0.001,20"}, "--tessellation: applies to STEP models"},
        {{"--scene", dir + "/broken.json"}},
        {{"--scene", dir + "/missing.json"}},
        {{"--shader", dir + "/missing.so"}},
        // A bare name is a file here, never a library on the loader's path.
        {{"--shader", "libm.so.6"}, "./libm.so.6: No such file"},
        // A FIFO would hold the loader for ever.
        {{"--shader", dir + "/fifo.png"}, "fifo.png: not a regular file"},
        // An empty name (a variable never set) is no option left out.
        {{"--scene", ""}, "--scene: an empty file name"},
        {{"--model", ""}, "--model: an empty file name"},
        {{"--shader", ""}, "--shader: an empty file name"},
        {{"serve", "--bind", "192.0.2.1", "--save", ""}, "--save: an empty file name"},
        {{"--out", ""}, "--out: an empty file name", "", 2},
        {{"serve", "--bind", ""}, "--bind: an empty address", "", 2},
        {{"merge", "", out}, "an empty file name", "", 2},
        {{"merge", dir + "/top.png", ""}, "an empty file name", "", 2},
        {{"encode", dir + "/gap_#.png", ""}, "an empty file name", "", 2},
        // A name's control characters reach no terminal, nor break the line.
        {{"--scene", dir + "/a\x1b[31mRED\nFAKE.json"}, "a\\x1b[31mRED\\x0aFAKE.json"},
        {{"--shader", WRONG_VERSION_SHADER}, "is shader version 1;"},
        {{"--shader", NEWER_VERSION_SHADER}, "is shader version 3;"},
        {{"--out", dir + "/no/such/dir/x.png"}},
        {{"--scene", dir + "/s_1.json", "--out", dir + "/s_1.json"}, "s_1.json: it is the input"},
        {{"--scene", dir + "/s_1.json", "--turntable", "2", "--out", dir + "/s_#.json"},
         "s_1.json: it is the input"},
        {{"--model", dir + "/tri.obj", "--out", dir + "/obj_link.png"},
         "obj_link.png: it is the input " + dir + "/tri.obj"},
        {{"--model", dir + "/assembly.gltf", "--out", dir + "/assembly.bin"},
         "assembly.bin: it is the input"},
        {{"--model", dir + "/red.obj", "--out", dir + "/red.mtl"}, "red.mtl: it is the input"},
        {{"--shader", dir + "/shader.so", "--out", dir + "/shader.so"},
         "shader.so: it is the input"},
        {{"--out", dir + "/library.png"}, "library.png: it is the input"},
        {{"--tile", "1/2", "--out", dir + "/program.png"}, "program.png: it is the input"},
        {{"--out", dir}},
        // serve refuses before it listens; bound where it cannot listen, so
        // that a server not refused ends too, saying something else.
        {{"serve", "--bind", "192.0.2.1", "--model", dir + "/tri.obj", "--save", dir + "/tri.obj"},
         "tri.obj: it is the input"},
        {{"serve", "--bind", "192.0.2.1", "--shader", dir + "/shader.so", "--save",
          dir + "/shader.so"},
         "shader.so: it is the input"},
        {{"serve", "--bind", "192.0.2.1", "--save", out}, "out.png: the image " + out},
        {{"serve", "--bind", "192.0.2.1", "--save", dir + "/fifo.png"}, "fifo.png: a pipe"},
        {{"serve", "--bind", "192.0.2.1", "--out", dir + "/fifo.png"}, "fifo.png: a pipe"},
        {{"serve", "--bind", "192.0.2.1", "--out", dir + "/o.json"}, "Save would write the scene"},
        {{"serve", "--bind", "192.0.2.1", "--out", "/dev/null"}, "give --save"},
        {{"serve", "--bind", "192.0.2.1"}, "192.0.2.1 port 8080: Cannot assign requested address"},
        // A Render writes its file whole each time.
        {{"serve", "--bind", "192.0.2.1", "--skip-existing"},
         "serve excludes --skip-existing",
         "",
         2},
        {{"--background", "purple"}},
        {{"--background", "0.1,0.2"}},
        {{"--background", "-1,0,0"}},
        // What multiplies light is bounded: one sum of samples would overflow.
        {{"--background", "1e38,1e38,1e38"}, "each a number from 0 to 10000"},
        {{"--xray", "*", "--specular-weight", "1e38"}, "1e+38 is outside [0, 10000]"},
        {{"--xray", "*", "--specular", "10,20000,10"}, "20000 is outside [0, 10000]"},
        {{"--aov", "depth,normals", "--out", dir + "/x.exr"}},
        {{"--aov", "depth"}}, // into a PNG
        // One value a use: CLI11 reads "[]" as no value and took the next option.
        {{"--xray", "[]", "--model", dir + "/tri.obj"}, "--xray: '[]' matches no part"},
        {{"--aov", "[]", "--out", dir + "/x.exr"}, "--aov []: unknown pass '[]'"},
        {{"--turntable", "0"}},
        {{"--turntable", "3", "--frames", "3-2", "--out", dir + "/f_#.png"}},
        {{"--turntable", "3", "--frames", "2-4", "--out", dir + "/f_#.png"}},
        {{"--turntable", "3", "--out", dir + "/f.png"}},
        {{"--turntable", "3", "--out", dir + "/f_#_#.png"}, "more than one run of hashes", "", 2},
        {{"--out", dir + "/f_#_#.png"}, "more than one run of hashes", "", 2},
        {{"--turntable", "3", "--out", dir + "/f_#/t.png"}, "#/t.png: the hashes stand", "", 2},
        {{"--turntable", "3", "--out", dir + "/no/such/dir/f_#.png"}},
        {{"--turntable", "3", "--out", dir + "/mid_#.png"}, "mid_2.png: Is a directory"},
        // Frame 1's name fits the file system's 255 bytes, frame 10's not.
        {{"--turntable", "10", "--out", dir + "/" + std::string(249, 'f') + "_#.png"},
         "_10.png: File name too long"},
        {{"--frames", "1-2"}},
        {{"--out", dir + "/still_#.png"}},
        // Videos
        {{"--out", dir + "/v.avi"}, "--out " + dir + "/v.avi: avi videos are not written", "", 2},
        {{"--fps", "0", "--out", dir + "/v.mp4"}},
        {{"--fps", "-30", "--out", dir + "/v.mp4"}},
        {{"--fps", "inf", "--out", dir + "/v.mp4"}},
        {{"--fps", "nan", "--out", dir + "/v.mp4"}},
        // Beyond what the containers hold: Matroska times frames in milliseconds.
        {{"--fps", "5000", "--out", dir + "/v.mkv"}, "--fps: 5000: expected a number from"},
        {{"--fps", "1e-30", "--out", dir + "/v.mp4"}, "--fps: 1e-30"},
        {{"--fps", "24"}, "not a video"}, // into a PNG
        {{"--quality", "101", "--out", dir + "/v.webm"}},
        {{"--width", "25", "--out", dir + "/v.mp4"}, "even width and height"},
        // Beyond the encoder, refused before the scene is loaded, not at the first frame.
        {{"--width", "16386", "--height", "2", "--out", dir + "/v.webm"},
         "libvpx-vp9 encodes VP9 frames of 16384 pixels a side at most, and these are 16386x2"},
        {{"--width", "2", "--height", "16386", "--out", dir + "/v.mp4"}, "16384 pixels a side"},
        {{"--turntable", "3", "--out", dir + "/v_#.mp4"}, "no hashes", "", 2},
        {{"--turntable", "3", "--skip-existing", "--out", dir + "/v.mkv"}, "leave it out", "", 2},
        {{"--tile", "1/2", "--out", dir + "/v.mp4"}, "not into a video", "", 2},
        {{"--region", "0,0,8,8", "--out", dir + "/v.webm"}, "not into a video", "", 2},
        {{"--out", dir + "/piped.mp4"}, "piped.mp4: a .mp4 video is finished by going back"},
        // Tiles
        {{"--region", "0,0,25,16"}, "beyond the 24x16 frame"},
        {{"--region", "4,4,4,10"}, "empty"},
        {{"--region", "0,0,8"}},
        {{"--tile", "5/4"}},
        {{"--tile", "1/0"}, "--tile 1/0: a frame splits into 1 band at least"},
        {{"--tile", "0/0"}, "1 band at least"},
        {{"--tile", "1/17"}, "16 bands at most"},
        {{"--tile", "1/2", "--turntable", "3", "--out", dir + "/f_#.png"}},
        // Either of two tiles that disagree may be the stale one: both named.
        {{"merge", dir + "/top.png", dir + "/other_bottom.png", out},
         "top.png and " + dir + "/other_bottom.png disagree: rendered from other scenes"},
        {{"merge", dir + "/top.png", dir + "/wide_bottom.png", out},
         "wide_bottom.png disagree: tiles of a 24x16 frame and of a 32x16 one"},
        {{"merge", dir + "/top.png", dir + "/top.png", out}, "overlaps"},
        {{"merge", dir + "/top.png", out}, "uncovered, the first at (0, 8)"},
        {{"merge", dir + "/top.png", dir + "/whole.png", out}, "whole.png: not a tile"},
        {{"merge", dir + "/top.png", dir + "/flipped_bottom.png", out},
         "flipped_bottom.png: corrupt PNG (CRC mismatch in IDAT)"},
        // Its frame is not: refused before it is made.
        {{"merge", dir + "/huge.exr", dir + "/out.exr"},
         "a 65536x65536 image needs 131072 MiB, more than the memory available"},
        {{"merge", dir + "/top.png", dir + "/bottom.png", dir + "/top.png"},
         "top.png: it is the input " + dir + "/top.png"},
        {{"merge", dir + "/top.png", dir + "/bottom.png", dir + "/top_link.png"},
         "top_link.png: it is the input " + dir + "/top.png"},
        {{"merge", dir + "/top.png", dir + "/bottom.png", dir + "/v.avi"},
         "merge: " + dir +
             "/v.avi: avi videos are not written; name it NAME.mp4 (H.264), "
             "NAME.webm (VP9) or NAME.mkv (H.264)"},
        // Frames into a video
        {{"encode", dir + "/none_#.png", dir + "/v.mp4"}, "no frames match"},
        {{"encode", dir + "/gap_#.png", dir + "/v.mp4"}, "gap_2.png is missing"},
        // Refused for the frames that are there, without a path for each frame asked for.
        {{"encode", dir + "/gap_#.png", dir + "/v.mp4", "--frames", "1-200000000"},
         "gap_2.png is missing, and 199999997 more of frames 1-200000000"},
        {{"encode", dir + "/gap_#.png", dir + "/v.mp4", "--frames", "2147483647"},
         "gap_2147483647.png is missing of frames"},
        {{"encode", dir + "/gap_#.png", dir + "/gap_link.mkv", "--frames", "1-1"},
         "gap_link.mkv: it is the input " + dir + "/gap_1.png"},
        {{"encode", dir + "/sizes_#.png", dir + "/v.mp4"}, "sizes_2.png: 32x16"},
        {{"encode", dir + "/gap_#.png", dir + "/v.png", "--frames", "1-1"}, "not a video"},
        {{"encode", dir + "/gap_#.png", dir + "/v.mp4", "--fps", "0"}},
        {{"encode", dir + "/gap_#.png", dir + "/piped.mp4", "--frames", "1-1"}, "finished by"},
        {{"encode", dir + "/gap_#.png", dir + "/v.mkv", "--frames", "1-1", "--fps", "5000"},
         "--fps: 5000"},
    };
    for (const auto& [given, says, stdout_to, status] : cases) {
        const std::string what = given[0] + " " + given.back();
        std::vector<std::string> args = given;
        std::string program = "xray-render " + given[0];
        if (given[0] != "merge" && given[0] != "encode") {
            // The case comes last: of an option given twice, the last counts.
            args.assign(std::begin(tiny), std::end(tiny));
            if (given[0] != "--out")
                args.insert(args.end(), {"--out", out});
            args.insert(args.end(), given.begin(), given.end());
            program = "xray-render";
        }
        const std::vector<std::string> before = listing();
        const Outcome r = run(args, stdout_to);
        EXPECT_NE(r.status, 0) << what;
        EXPECT_EQ(r.status, status ? status : r.status) << what;
        EXPECT_EQ(r.err.rfind(program + ": ", 0), 0u) << what << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
        EXPECT_EQ(listing(), before) << what;
        EXPECT_NE(r.err.find(says), std::string::npos) << what << ": " << r.err;
    }
    std::ifstream top_after(dir + "/top.png", std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(top_after), {}) == top)
        << "a merge replaced its tile";
}
