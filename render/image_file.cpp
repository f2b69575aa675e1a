#include "render/image_file.h"

#include "render/exr_image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace xr {

namespace {

std::vector<uint8_t> read_bytes(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error(std::strerror(errno));
    std::vector<uint8_t> bytes;
    struct stat st;
    int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error == 0 && S_ISREG(st.st_mode))
        bytes.reserve(size_t(st.st_size));
    uint8_t block[65536];
    while (error == 0) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        bytes.insert(bytes.end(), block, block + n);
    }
    close(fd);
    if (error != 0)
        throw std::runtime_error(std::strerror(error));
    return bytes;
}

bool starts_with(const std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> magic) {
    return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// Library messages may run over several lines; errors here take one.
std::string one_line(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

} // namespace

ImageFile read_image(const std::string& path) {
    try {
        const std::vector<uint8_t> bytes = read_bytes(path);
        if (starts_with(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}))
            return {ImageFormat::png, Film(decode_png(bytes))};
        if (starts_with(bytes, {0x76, 0x2f, 0x31, 0x01}))
            return {ImageFormat::exr, decode_exr(bytes, path)};
        throw std::runtime_error("neither a PNG nor an OpenEXR image");
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read " + path + ": " + one_line(e.what()));
    }
}

ImageFormat format_for(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return ImageFormat::png;
    std::string extension = path.substr(dot);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".exr" ? ImageFormat::exr : ImageFormat::png;
}

std::vector<uint8_t> encode_image(const Film& film, ImageFormat format) {
    if (format == ImageFormat::exr)
        return encode_exr(film);
    std::vector<uint8_t> png = encode_png(film.beauty);
    if (png.empty())
        throw std::runtime_error("cannot encode the image as PNG");
    return png;
}

} // namespace xr
