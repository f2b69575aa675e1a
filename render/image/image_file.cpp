#include "render/image/image_file.h"

#include "render/image/exr_image.h"
#include "render/image/png_image.h"
#include "render/image/png_text.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

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

constexpr uint8_t png_magic[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t exr_magic[] = {0x76, 0x2f, 0x31, 0x01};

template <size_t N> bool starts_with(const uint8_t* bytes, size_t size, const uint8_t (&magic)[N]) {
    return size >= N && std::equal(magic, magic + N, bytes);
}

class Descriptor {
  public:
    // Non-blocking, so that opening a FIFO does not wait for a writer; reading
    // a regular file is unaffected.
    explicit Descriptor(const std::string& path)
        : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        if (fd < 0)
            throw std::runtime_error(std::strerror(errno));
    }
    ~Descriptor() { close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    // Up to `size` bytes; fewer only at the end of the file.
    size_t read_into(uint8_t* into, size_t size) const {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = read(fd, into + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw std::runtime_error(std::strerror(errno));
            if (n == 0)
                break;
            done += size_t(n);
        }
        return done;
    }

    const int fd;
};

// The whole of a regular file that starts as a PNG or an OpenEXR does, refused
// by its first bytes or its size before it is read.
std::vector<uint8_t> read_image_bytes(const std::string& path, ImageFormat& format) {
    const Descriptor file(path);
    struct stat st;
    if (fstat(file.fd, &st) != 0)
        throw std::runtime_error(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw std::runtime_error(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode))
        throw std::runtime_error("not a regular file");
    uint8_t head[8];
    const size_t got = file.read_into(head, std::min(sizeof head, size_t(st.st_size)));
    if (starts_with(head, got, png_magic))
        format = ImageFormat::png;
    else if (starts_with(head, got, exr_magic))
        format = ImageFormat::exr;
    else
        throw std::runtime_error("neither a PNG nor an OpenEXR image");
    check_memory(double(st.st_size), "the file");
    // As large as the file was when it was opened, however it changes since.
    std::vector<uint8_t> bytes(size_t(st.st_size));
    std::copy(head, head + got, bytes.begin());
    bytes.resize(got + file.read_into(bytes.data() + got, bytes.size() - got));
    return bytes;
}

} // namespace

ImageFile read_image(const std::string& path, ImageChannels channels, ImageExtent extent) {
    try {
        ImageFormat format = ImageFormat::png;
        const std::vector<uint8_t> bytes = read_image_bytes(path, format);
        if (format == ImageFormat::png) {
            ImageFile image{format, Film(decode_png(bytes))};
            image.film.attributes = png_text(bytes);
            return image;
        }
        return {format, decode_exr(bytes, path, channels == ImageChannels::beauty, extent)};
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
    return add_png_text(encode_png(film.beauty), film.attributes);
}

} // namespace xr
