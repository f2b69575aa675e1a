#include "tests/render/scratch_dir.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <unistd.h>

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/xray-render-test-XXXXXX";
    dir = mkdtemp(pattern);
}

ScratchDir::~ScratchDir() {
    std::system(("rm -rf '" + dir + "'").c_str());
}

void ScratchDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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
