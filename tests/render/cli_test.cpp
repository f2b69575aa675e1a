// xray-render as its users run it: one clean line for bad input, never a partial file.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class XrayRenderCli : public ::testing::Test {
  protected:
    XrayRenderCli() {
        char pattern[] = "/tmp/xray-render-cli-XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~XrayRenderCli() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    Outcome run(const std::vector<std::string>& args) {
        std::string command = XRAY_RENDER;
        for (const std::string& a : args)
            command += " '" + a + "'";
        command += " >'" + dir + "/stdout' 2>'" + dir + "/stderr' </dev/null";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir + "/stdout"),
                slurp(dir + "/stderr")};
    }

    // Files the renderer left in the scratch directory, apart from the captures.
    std::vector<std::string> left_behind() {
        std::vector<std::string> names;
        DIR* d = opendir(dir.c_str());
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != "stdout" && name != "stderr" &&
                name.find(".obj") == std::string::npos && name.find(".json") == std::string::npos)
                names.push_back(name);
        }
        closedir(d);
        return names;
    }

    std::string dir;
};

const char* const tiny[] = {"--width", "24", "--height", "16", "--spp", "1"};

} // namespace

TEST_F(XrayRenderCli, RendersQuietlyAndSumsUpOnOneLine) {
    std::vector<std::string> args(std::begin(tiny), std::end(tiny));
    args.insert(args.end(), {"--threads", "1", "--out", dir + "/scene.png"});
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ""); // no diagnostic: every host operation was found
    EXPECT_NE(r.out.find("24x16, 1 spp, 1 threads"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
    EXPECT_EQ(slurp(dir + "/scene.png").substr(1, 3), "PNG");
}

TEST_F(XrayRenderCli, RendersModelsAndListsTheirParts) {
    std::ofstream(dir + "/tetra.obj") << "o tip\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                         "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n";
    std::vector<std::string> args(std::begin(tiny), std::end(tiny));
    args.insert(args.end(), {"--obj", dir + "/tetra.obj", "--out", dir + "/tetra.png"});
    Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    r = run({"--model", FIXTURES "/assembly.glb", "--list-parts"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("model/core              12  0.9,0.1,0.1\n"), std::string::npos) << r.out;

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

// Ctrl-C or SIGTERM in the middle of a render: the program ends by that
// signal (the shell reports 128 + its number) and leaves no file behind.
TEST_F(XrayRenderCli, InterruptedRenderLeavesNoFile) {
    for (int signal : {SIGINT, SIGTERM}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::string out = dir + "/big.png";
            execl(XRAY_RENDER, XRAY_RENDER, "--spp", "4096", "--threads", "1", "--out", out.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Once the temporary file exists, the render is under way.
        for (int i = 0; i < 2000 && left_behind().empty(); ++i)
            usleep(5000);
        EXPECT_FALSE(left_behind().empty());
        kill(child, signal);
        int status = 0;
        // A program that ignored the signal is stopped after a while, and fails.
        for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i)
            usleep(10000);
        if (kill(child, 0) == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(left_behind().empty()) << left_behind()[0];
    }
}

TEST_F(XrayRenderCli, HelpListsTheMaterialOptions) {
    const Outcome r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--out", "--spp", "--threads", "--obj", "--shader", "--power",
                               "--invert", "--color", "--specular-weight", "--light-mode"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

TEST_F(XrayRenderCli, BadInputIsOneLineAndNoFile) {
    std::ofstream(dir + "/empty.obj") << "# nothing\n";
    std::ofstream(dir + "/huge.obj") << "v 0 0 0\nv 1e39 0 0\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(dir + "/broken.json") << "{\"models\": [\n  {\"shape\": \"sphere\"}\n";
    const std::string out = dir + "/out.png";
    const std::vector<std::vector<std::string>> cases = {
        {"--frobnicate"},
        {"--width", "-5"},
        {"--spp", "0"},
        {"--color", "1,0"},
        {"--xray", "*", "--color", "1,0,0,"},
        {"--xray", "*", "--power", "nan"},
        {"--xray", "*", "--specular-exponent", "inf"},
        {"--xray", "*", "--power", "-1"},
        {"--power", "3"},
        {"--light-mode", "sideways"},
        {"--width", "65536", "--height", "65536"},
        {"--obj", dir + "/missing.obj"},
        {"--obj", dir + "/empty.obj"},
        {"--obj", dir + "/huge.obj"},
        {"--model", FIXTURES "/assembly.gltf", "--xray", "*door*"},
        {"--scene", dir + "/broken.json"},
        {"--scene", dir + "/missing.json"},
        {"--shader", dir + "/missing.so"},
        {"--shader", WRONG_VERSION_SHADER},
        {"--out", dir + "/no/such/dir/x.png"},
        {"--out", dir},
    };
    for (const std::vector<std::string>& given : cases) {
        const std::string what = given[0] + " " + given.back();
        // The case comes last: of an option given twice, the last counts.
        std::vector<std::string> args(std::begin(tiny), std::end(tiny));
        if (given[0] != "--out")
            args.insert(args.end(), {"--out", out});
        args.insert(args.end(), given.begin(), given.end());
        const Outcome r = run(args);
        EXPECT_NE(r.status, 0) << what;
        EXPECT_EQ(r.err.rfind("xray-render: ", 0), 0u) << what << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << what << ": " << r.err;
        EXPECT_TRUE(left_behind().empty()) << what;
    }
}
