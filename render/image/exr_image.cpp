#include "render/image/exr_image.h"

#include "render/util/system_memory.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfStdIO.h>
#include <ImfStringAttribute.h>

#include <Iex.h>
#include <openexr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace xr {

namespace {

// Lossless, and the smaller and faster of the two lossless coders on renders
// with flat backdrops and float passes (see docs/performance.md).
constexpr Imf::Compression compression = Imf::ZIP_COMPRESSION;

// A file's bytes in memory, read under the file's name, which OpenEXR's
// messages quote.
class MemoryStream : public Imf::IStream {
  public:
    MemoryStream(const std::vector<uint8_t>& bytes, const std::string& name)
        : Imf::IStream(name.c_str()), bytes_(bytes) {}

    bool read(char c[], int n) override {
        if (n < 0 || position_ > bytes_.size() || bytes_.size() - position_ < size_t(n))
            throw Iex::InputExc("Unexpected end of file.");
        std::memcpy(c, bytes_.data() + position_, size_t(n));
        position_ += size_t(n);
        return position_ < bytes_.size();
    }
    uint64_t tellg() override { return position_; }
    void seekg(uint64_t position) override { position_ = position; }

  private:
    const std::vector<uint8_t>& bytes_;
    uint64_t position_ = 0;
};

// The file as OpenEXR writes it, straight into the bytes returned, which
// hold room for it uncompressed: no copy of it is made on the way. OpenEXR
// seeks back to fill in the table of its chunks.
class VectorStream : public Imf::OStream {
  public:
    explicit VectorStream(std::vector<uint8_t>& bytes) : Imf::OStream("memory"), bytes_(bytes) {}

    void write(const char c[], int n) override {
        const size_t end = position_ + size_t(n);
        if (end > bytes_.size())
            bytes_.resize(end);
        std::memcpy(bytes_.data() + position_, c, size_t(n));
        position_ = end;
    }
    uint64_t tellp() override { return position_; }
    void seekp(uint64_t position) override { position_ = position; }

  private:
    std::vector<uint8_t>& bytes_;
    uint64_t position_ = 0;
};

// One channel of the file over the data window.
struct Plane {
    std::string name;
    Imf::PixelType type;
    std::vector<float> values;
};

// Hands `store` the pixels of a data-window plane that lie inside the display
// window, each with its index in a plane of the display window's size.
template <class Store>
void crop(const std::vector<float>& plane, const Imath::Box2i& data, const Imath::Box2i& display,
          Store store) {
    const int64_t data_width = int64_t(data.max.x) - data.min.x + 1;
    const int64_t display_width = int64_t(display.max.x) - display.min.x + 1;
    const int x0 = std::max(data.min.x, display.min.x), x1 = std::min(data.max.x, display.max.x);
    const int y0 = std::max(data.min.y, display.min.y), y1 = std::min(data.max.y, display.max.y);
    for (int64_t y = y0; y <= y1; ++y)
        for (int64_t x = x0; x <= x1; ++x)
            store(size_t((y - display.min.y) * display_width + (x - display.min.x)),
                  plane[size_t((y - data.min.y) * data_width + (x - data.min.x))]);
}

bool is_beauty(const char* channel) {
    return std::strlen(channel) == 1 && std::strchr("RGBA", channel[0]);
}

// Refuses windows that are empty or too large to hold.
size_t checked_pixel_count(const Imath::Box2i& box) {
    const int64_t width = int64_t(box.max.x) - box.min.x + 1;
    const int64_t height = int64_t(box.max.y) - box.min.y + 1;
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > max_decoded_pixels)
        throw std::runtime_error("OpenEXR image of " + std::to_string(width) + "x" +
                                 std::to_string(height) + " pixels is too large");
    return size_t(width * height);
}

// A float as a half. A bright highlight's sum can pass the largest half, and
// an infinity in the file would spread through a compositor's filters as
// infinities and NaNs: it is held as the largest half instead, as an infinite
// float is. A NaN stays NaN: no half stands for it.
half to_half(float value) {
    const float largest = std::numeric_limits<half>::max();
    return std::isnan(value) ? half(value) : half(std::clamp(value, -largest, largest));
}

// A file opened by OpenEXR's core library, which reads headers and the
// offsets of chunks without their pixels; closed when it goes.
class CoreFile {
  public:
    explicit CoreFile(const std::string& path) { start(path, initializer()); }
    // A file's bytes in memory, under its name.
    CoreFile(const std::vector<uint8_t>& bytes, const std::string& name) {
        exr_context_initializer_t init = initializer();
        init.user_data = const_cast<std::vector<uint8_t>*>(&bytes);
        init.read_fn = [](exr_const_context_t, void* file, void* into, uint64_t size,
                          uint64_t offset, exr_stream_error_func_ptr_t) -> int64_t {
            const auto& bytes = *static_cast<const std::vector<uint8_t>*>(file);
            if (offset >= bytes.size())
                return 0;
            const uint64_t got = std::min(size, bytes.size() - offset);
            std::memcpy(into, bytes.data() + offset, got);
            return int64_t(got);
        };
        init.size_fn = [](exr_const_context_t, void* file) {
            return int64_t(static_cast<const std::vector<uint8_t>*>(file)->size());
        };
        start(name, init);
    }
    ~CoreFile() { exr_finish(&context_); }
    CoreFile(const CoreFile&) = delete;
    CoreFile& operator=(const CoreFile&) = delete;

    bool opened() const { return opened_; }
    exr_context_t get() const { return context_; }

  private:
    static exr_context_initializer_t initializer() {
        exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
        // Broken files are expected and answered by the caller; not printed.
        init.error_handler_fn = [](exr_const_context_t, exr_result_t, const char*) {};
        return init;
    }
    void start(const std::string& name, const exr_context_initializer_t& init) {
        opened_ = exr_start_read(&context_, name.c_str(), &init) == EXR_ERR_SUCCESS;
    }

    exr_context_t context_ = nullptr;
    bool opened_ = false;
};

// Whether every chunk of the pixels of a scan-line file's first part is
// listed in its offset table, which is filled in last, and lies within its
// `size` bytes, as each chunk says how long it is.
bool scanlines_within(exr_context_t f, uint64_t size) {
    exr_attr_box2i_t data;
    int32_t lines = 0;
    if (exr_get_data_window(f, 0, &data) || exr_get_scanlines_per_chunk(f, 0, &lines) || lines < 1)
        return false;
    for (int64_t y = data.min.y; y <= data.max.y; y += lines) {
        exr_chunk_info_t chunk;
        if (exr_read_scanline_chunk_info(f, 0, int(y), &chunk) || chunk.data_offset == 0 ||
            chunk.data_offset > size || chunk.packed_size > size - chunk.data_offset)
            return false;
    }
    return true;
}

// Throws for a file of several parts, of which OpenEXR's reader would read
// the first alone, and for a scan-line file cut short, whose pixels that
// reader would allocate before it found them missing. What OpenEXR's core
// library cannot open is left to that reader to explain.
void check_one_whole_part(const std::vector<uint8_t>& exr, const std::string& name) {
    const CoreFile file(exr, name);
    int parts = 0;
    exr_storage_t storage;
    if (!file.opened() || exr_get_count(file.get(), &parts) ||
        exr_get_storage(file.get(), 0, &storage))
        return;
    if (parts != 1)
        throw std::runtime_error("an OpenEXR file of " + std::to_string(parts) +
                                 " parts (only single-part files are read)");
    if (storage == EXR_STORAGE_SCANLINE && !scanlines_within(file.get(), exr.size()))
        throw std::runtime_error("OpenEXR file cut short: its pixels run past the end of the file");
}

} // namespace

std::vector<uint8_t> encode_exr(const Film& film) {
    // OpenEXR writes each channel from a buffer of its own type.
    const size_t pixels = film.beauty.pixels.size();
    std::vector<half> rgba(4 * pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const Color& c = film.beauty.pixels[i];
        rgba[4 * i] = to_half(c.r), rgba[4 * i + 1] = to_half(c.g);
        rgba[4 * i + 2] = to_half(c.b), rgba[4 * i + 3] = to_half(c.a);
    }
    // A tile is placed in its frame by its windows: the frame is displayed,
    // the film holds the data.
    const PixelRegion held =
        film.window ? film.window->region : PixelRegion{0, 0, film.width(), film.height()};
    const Imath::Box2i data({held.x0, held.y0}, {held.x1 - 1, held.y1 - 1});
    const Imath::Box2i display =
        film.window ? Imath::Box2i({0, 0}, {film.window->width - 1, film.window->height - 1})
                    : data;
    Imf::Header header(display, data);
    header.compression() = compression;
    for (const auto& [name, text] : film.attributes)
        header.insert(name, Imf::StringAttribute(text));
    Imf::FrameBuffer frame;
    auto add = [&](const std::string& name, Imf::PixelType type, const void* first,
                   size_t x_stride) {
        header.channels().insert(name, Imf::Channel(type));
        frame.insert(
            name, Imf::Slice::Make(type, first, data, x_stride, x_stride * size_t(film.width())));
    };
    for (size_t i = 0; i < 4; ++i)
        add(std::string(1, "RGBA"[i]), Imf::HALF, &rgba[i], 4 * sizeof(half));
    std::vector<std::vector<half>> halves(film.channels.size());
    for (size_t k = 0; k < film.channels.size(); ++k) {
        const FilmChannel& channel = film.channels[k];
        if (channel.precision == ChannelPrecision::single) {
            add(channel.name, Imf::FLOAT, channel.values.data(), sizeof(float));
            continue;
        }
        halves[k].resize(channel.values.size());
        std::transform(channel.values.begin(), channel.values.end(), halves[k].begin(), to_half);
        add(channel.name, Imf::HALF, halves[k].data(), sizeof(half));
    }

    // Chunks are stored as they are where compressing them would not make
    // them smaller, so no file is larger than its pixels, a table entry and a
    // chunk's own header a line, and its header.
    size_t pixel_bytes = 4 * sizeof(half);
    size_t header_bytes = 4096;
    for (const FilmChannel& channel : film.channels) {
        pixel_bytes += channel.precision == ChannelPrecision::single ? sizeof(float) : sizeof(half);
        header_bytes += channel.name.size() + 32;
    }
    for (const auto& [name, text] : film.attributes)
        header_bytes += name.size() + text.size() + 32;
    std::vector<uint8_t> bytes;
    bytes.reserve(pixels * pixel_bytes + size_t(film.height()) * 16 + header_bytes);
    {
        VectorStream stream(bytes);
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writePixels(film.height());
    } // the file is complete once closed
    return bytes;
}

Film decode_exr(const std::vector<uint8_t>& exr, const std::string& name, bool beauty_only,
                ImageExtent extent) {
    MemoryStream stream(exr, name);
    Imf::InputFile file(stream);
    const Imath::Box2i display = file.header().displayWindow();
    const Imath::Box2i data = file.header().dataWindow();
    const size_t data_pixels = checked_pixel_count(data);
    // The pixels the film holds.
    const Imath::Box2i held = extent == ImageExtent::data ? data : display;
    const size_t held_pixels = checked_pixel_count(held);
    // A tile's frame is not read, only sized: each side as a row of pixels.
    checked_pixel_count(Imath::Box2i(display.min, {display.max.x, display.min.y}));
    checked_pixel_count(Imath::Box2i(display.min, {display.min.x, display.max.y}));
    const Imf::ChannelList& list = file.header().channels();
    for (const char* name : {"R", "G", "B"})
        if (!list.findChannel(name))
            throw std::runtime_error(std::string("OpenEXR image without an ") + name + " channel");

    std::vector<const char*> wanted;
    for (auto c = list.begin(); c != list.end(); ++c) {
        if (beauty_only && !is_beauty(c.name()))
            continue;
        if (c.channel().xSampling != 1 || c.channel().ySampling != 1)
            throw std::runtime_error(std::string("subsampled channel ") + c.name() +
                                     " (only full resolution is read)");
        wanted.push_back(c.name());
    }
    // A small file may declare windows of hundreds of millions of pixels: what
    // its planes and the film need is known before any of it is allocated.
    const size_t extra =
        wanted.size() - size_t(std::count_if(wanted.begin(), wanted.end(), is_beauty));
    const size_t plane_count = wanted.size() + (list.findChannel("A") ? 0 : 1);
    check_memory(double(sizeof(float)) * double(data_pixels) * double(plane_count) +
                     double(sizeof(Color) + sizeof(float) * extra) * double(held_pixels),
                 "an OpenEXR image of " + std::to_string(held.max.x - held.min.x + 1) + "x" +
                     std::to_string(held.max.y - held.min.y + 1) + " pixels");

    check_one_whole_part(exr, name);

    // Every channel wanted at once: the file is decompressed a single time.
    std::vector<Plane> planes;
    for (const char* channel : wanted)
        planes.push_back({channel, list[channel].type, std::vector<float>(data_pixels)});
    Imf::FrameBuffer frame;
    const size_t data_width = size_t(int64_t(data.max.x) - data.min.x + 1);
    for (Plane& plane : planes)
        frame.insert(plane.name, Imf::Slice::Make(Imf::FLOAT, plane.values.data(), data,
                                                  sizeof(float), sizeof(float) * data_width));
    file.setFrameBuffer(frame);
    file.readPixels(data.min.y, data.max.y);
    if (!list.findChannel("A"))
        planes.push_back({"A", Imf::HALF, std::vector<float>(data_pixels, 1.0f)});

    Film film(held.max.x - held.min.x + 1, held.max.y - held.min.y + 1);
    if (held != display)
        film.window = FrameWindow{display.max.x - display.min.x + 1,
                                  display.max.y - display.min.y + 1,
                                  {held.min.x - display.min.x, held.min.y - display.min.y,
                                   held.max.x - display.min.x + 1, held.max.y - display.min.y + 1}};
    for (auto a = file.header().begin(); a != file.header().end(); ++a)
        if (const auto* text = dynamic_cast<const Imf::StringAttribute*>(&a.attribute()))
            film.attributes[a.name()] = text->value();
    std::vector<Color>& pixels = film.beauty.pixels;
    for (const Plane& plane : planes) {
        float Color::*component = plane.name == "R"   ? &Color::r
                                  : plane.name == "G" ? &Color::g
                                  : plane.name == "B" ? &Color::b
                                  : plane.name == "A" ? &Color::a
                                                      : nullptr;
        if (component) {
            crop(plane.values, data, held, [&](size_t i, float v) { pixels[i].*component = v; });
            continue;
        }
        const auto precision =
            plane.type == Imf::HALF ? ChannelPrecision::half : ChannelPrecision::single;
        std::vector<float>& values = film.add_channel(plane.name, precision).values;
        crop(plane.values, data, held, [&](size_t i, float v) { values[i] = v; });
    }
    return film;
}

std::optional<ImageLayout> whole_exr_layout(const std::string& path, uint64_t size) {
    const CoreFile file(path);
    exr_context_t f = file.get();
    int parts = 0;
    exr_storage_t storage;
    exr_attr_box2i_t display, data;
    const exr_attr_chlist_t* list = nullptr;
    if (!file.opened() || exr_get_count(f, &parts) || parts != 1 ||
        exr_get_storage(f, 0, &storage) || storage != EXR_STORAGE_SCANLINE ||
        !scanlines_within(f, size) || exr_get_display_window(f, 0, &display) ||
        exr_get_data_window(f, 0, &data) || exr_get_channels(f, 0, &list))
        return std::nullopt;
    ImageLayout layout;
    const exr_attr_v2i_t origin = display.min;
    layout.window = {display.max.x - origin.x + 1,
                     display.max.y - origin.y + 1,
                     {data.min.x - origin.x, data.min.y - origin.y, data.max.x - origin.x + 1,
                      data.max.y - origin.y + 1}};
    for (int c = 0; c < list->num_channels; ++c)
        layout.channels.emplace_back(list->entries[c].name.str,
                                     size_t(list->entries[c].name.length));
    int32_t count = 0;
    if (exr_get_attribute_count(f, 0, &count))
        return std::nullopt;
    for (int32_t i = 0; i < count; ++i) {
        const exr_attribute_t* a = nullptr;
        if (exr_get_attribute_by_index(f, 0, EXR_ATTR_LIST_FILE_ORDER, i, &a))
            return std::nullopt;
        if (a->type == EXR_ATTR_STRING && a->string)
            layout.attributes[a->name] = std::string(a->string->str, size_t(a->string->length));
    }
    return layout;
}

} // namespace xr
