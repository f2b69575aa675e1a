#include "tests/render/scratch_dir.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ScratchDir::ScratchDir() {
    // Under the build tree, so that a test leaves nothing outside it.
    if (mkdir(SCRATCH_ROOT, 0755) != 0 && errno != EEXIST)
        throw std::runtime_error(std::string("cannot make " SCRATCH_ROOT ": ") +
                                 std::strerror(errno));
    std::string pattern = SCRATCH_ROOT "/xray-render-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make " + pattern + ": " + std::strerror(errno));
    dir = pattern;
}

ScratchDir::~ScratchDir() {
    std::system(("rm -rf '" + dir + "' '" + dir + ".stdout' '" + dir + ".stderr'").c_str());
}

void ScratchDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void ScratchDir::write_text(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
}

std::vector<std::string> ScratchDir::listing() const {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (const dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

ScratchDir::Outcome ScratchDir::run(const std::vector<std::string>& args,
                                    const std::string& out) const {
    std::string command = XRAY_RENDER;
    for (const std::string& a : args)
        command += " '" + a + "'";
    command +=
        " >'" + (out.empty() ? dir + ".stdout" : out) + "' 2>'" + dir + ".stderr' </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir + ".stdout"),
            slurp(dir + ".stderr")};
}
