#include "render/setup/obj_reader.h"

#include "render/material.h"
#include "render/setup/model_file_check.h"
#include "render/setup/obj_lines.h"
#include "render/setup/part_names.h"
#include "render/setup/placement.h"
#include "render/util/error.h"
#include "render/util/text.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

namespace xr {

namespace {

// Whether a word is a number as the reader parses one in full, of a size a
// float holds: a sign, digits with at most one point among them, and an
// exponent. The reader would take "nan" as 0, "1x" as 1, and a number whose
// exponent overflows an int ("1e99999999999") as 0; what else is beyond a
// float it reads as infinite. Checked by hand, as a parse again would cost a
// large file's load a tenth more.
bool is_float_decimal(std::string_view text) {
    size_t i = 0;
    const auto sign = [&] {
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        return negative;
    };
    // The power of ten of the first digit that is not 0, if any.
    std::optional<int64_t> lead;
    const auto digits = [&](bool fraction) {
        const size_t start = i;
        int64_t significant = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            significant += significant > 0 || text[i] != '0';
            if (fraction && !lead && text[i] != '0')
                lead = -int64_t(i - start) - 1;
        }
        if (!fraction && significant > 0)
            lead = significant - 1;
        return i - start;
    };
    sign();
    size_t mantissa = digits(false);
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits(true);
    }
    if (mantissa == 0)
        return false;
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = sign();
        const size_t start = i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            exponent = std::min<int64_t>(exponent * 10 + (text[i] - '0'), int64_t(1) << 40);
        if (i == start)
            return false;
        exponent = negative ? -exponent : exponent;
    }
    // From 1e39 a float's range is passed whatever the digits; below, the
    // reader's value says.
    return i == text.size() && (!lead || *lead + exponent <= 38);
}

// The words of the line, the keyword first, where the reader splits
// them (it ends the line at a NUL), one after another.
class Words {
  public:
    explicit Words(std::string_view line) : line_(line.substr(0, line.find('\0'))) {}

    // The next word, and its column from 1; empty past the last.
    std::string_view next(size_t& column) {
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        while (at_ < line_.size() && blank(line_[at_]))
            ++at_;
        const size_t start = at_;
        while (at_ < line_.size() && !blank(line_[at_]))
            ++at_;
        column = start + 1;
        return line_.substr(start, at_ - start);
    }

  private:
    std::string_view line_;
    size_t at_ = 0;
};

// The material files an OBJ names, from its folder, held to what a model file
// must be: a pipe or a device named there would hang the load or never end.
// (The library's own reader also splits its folder at ':'.)
class MaterialFiles : public tinyobj::MaterialReader {
  public:
    MaterialFiles(std::string model, std::string folder, std::vector<std::string>* also_read)
        : model_(std::move(model)), folder_(std::move(folder)), also_read_(also_read) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* ids, std::string* warnings,
                    std::string* errors) override {
        const std::string path = folder_ + name;
        std::error_code missing;
        // A missing material file leaves the model in the default grey.
        if (!std::filesystem::exists(path, missing))
            return false;
        try {
            check_model_file(path);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(model_ +
                                     " names a material file that cannot be read: " + e.what());
        }
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        if (also_read_)
            also_read_->push_back(path);
        std::istringstream text;
        try {
            text.str(with_grey_diffuse(in, path));
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(model_ + ": " + e.what());
        }
        tinyobj::LoadMtl(ids, materials, &text, warnings, errors);
        return true;
    }

    // The material file's text, each diffuse colour's words checked, as the
    // reader takes what is not a number as 0, and a colour given by one value
    // made grey, as the format has it: the reader would take "Kd 0.5" for
    // (0.5, 0, 0). Lines end as the reader's do: at LF, CR LF or a CR alone.
    static std::string with_grey_diffuse(std::istream& in, const std::string& path) {
        const std::string read{std::istreambuf_iterator<char>(in), {}};
        std::string text;
        size_t number = 0;
        for (size_t at = 0; at < read.size();) {
            const size_t end = std::min(read.find_first_of("\r\n", at), read.size());
            const std::string_view line = std::string_view(read).substr(at, end - at);
            at = end + (read.compare(end, 2, "\r\n") == 0 ? 2 : 1);
            text += diffuse(line, path, ++number);
            text += '\n';
        }
        return text;
    }

    // A line of the material file as with_grey_diffuse gives it. A comment
    // ends it; a colour given as a spectrum or in CIE XYZ goes to the reader
    // as it is.
    static std::string diffuse(std::string_view line, const std::string& path, size_t number) {
        line = line.substr(0, line.find('#'));
        Words words(line);
        size_t column = 0;
        if (words.next(column) != "Kd")
            return std::string(line);
        Words ahead = words;
        size_t form_column = 0;
        const std::string_view form = ahead.next(form_column);
        if (form == "spectral" || form == "xyz")
            return std::string(line);
        std::string_view values[3];
        size_t count = 0;
        for (; count < 3 && !(values[count] = words.next(column)).empty(); ++count)
            if (!is_float_decimal(values[count]))
                throw Error(Place::at_line(path, number, column),
                            "'" + printable(values[count]) + "' is not a finite number");
        if (count != 1 && count != 3)
            throw Error({path, "line " + std::to_string(number)},
                        "expected a colour of one value or three");
        if (count == 1)
            return "Kd " + std::string(values[0]) + " " + std::string(values[0]) + " " +
                   std::string(values[0]);
        return std::string(line);
    }

  private:
    std::string model_, folder_;
    std::vector<std::string>* also_read_; // may be null
};

// One piece's mesh as its faces arrive.
struct PieceBuilder {
    uint32_t id; // from 1, never reused within a file
    int material;
    Mesh mesh;
    // Corners whose position another corner of this mesh has with another
    // normal, by (position, normal).
    std::unordered_map<uint64_t, uint32_t> other_corners;
};

class ObjReader {
  public:
    ObjReader(const std::string& path, const std::string& prefix, const Transform& transform,
              std::vector<std::string>* also_read)
        : path_(path), names_(path, prefix), placement_(transform), also_read_(also_read) {}

    std::vector<Part> read() {
        check_model_file(path_);
        std::ifstream file(path_, std::ios::binary);
        if (!file)
            throw std::runtime_error("cannot read " + path_);
        ObjLines lines(file);
        lines_ = &lines;
        std::istream in(&lines);
        const size_t slash = path_.find_last_of('/');
        MaterialFiles materials(
            path_, slash == std::string::npos ? std::string() : path_.substr(0, slash + 1),
            also_read_);
        tinyobj::callback_t callbacks;
        callbacks.vertex_cb = [](void* self, float x, float y, float z, float) {
            auto* reader = static_cast<ObjReader*>(self);
            reader->positions_.push_back(reader->checked({x, y, z}));
        };
        callbacks.normal_cb = [](void* self, float x, float y, float z) {
            auto* reader = static_cast<ObjReader*>(self);
            reader->normals_.push_back(reader->checked({x, y, z}));
        };
        callbacks.texcoord_cb = [](void* self, float, float, float) {
            ++static_cast<ObjReader*>(self)->texcoords_;
        };
        callbacks.index_cb = [](void* self, tinyobj::index_t* corners, int count) {
            static_cast<ObjReader*>(self)->face(corners, count);
        };
        callbacks.usemtl_cb = [](void* self, const char*, int material) {
            static_cast<ObjReader*>(self)->material_ = material;
        };
        callbacks.mtllib_cb = [](void* self, const tinyobj::material_t* materials, int count) {
            auto& colors = static_cast<ObjReader*>(self)->colors_;
            colors.clear();
            for (int i = 0; i < count; ++i)
                colors.push_back(
                    {materials[i].diffuse[0], materials[i].diffuse[1], materials[i].diffuse[2]});
        };
        callbacks.group_cb = [](void* self, const char** names, int count) {
            std::string name;
            for (int i = 0; i < count; ++i)
                name += (i ? " " : "") + std::string(names[i]);
            auto* reader = static_cast<ObjReader*>(self);
            // A group goes on while its name does, and a group without a
            // name names nothing; an object starts anew.
            if (!name.empty() && name != reader->part_name_)
                reader->start_part(name);
        };
        callbacks.object_cb = [](void* self, const char* name) {
            auto* reader = static_cast<ObjReader*>(self);
            // An object without a name is the file's, as other formats name
            // theirs; the reader keeps the blanks around a name.
            const std::string_view blanks = " \t\r";
            std::string_view trimmed = name;
            trimmed.remove_prefix(std::min(trimmed.size(), trimmed.find_first_not_of(blanks)));
            trimmed.remove_suffix(trimmed.size() - (trimmed.find_last_not_of(blanks) + 1));
            reader->start_part(trimmed.empty() ? file_stem(reader->path_) : std::string(trimmed));
        };
        std::string warnings, errors;
        if (!tinyobj::LoadObjWithCallback(in, callbacks, this, &materials, &warnings, &errors) ||
            file.bad())
            throw std::runtime_error("cannot read " + path_ + ": " +
                                     (errors.empty() ? "a read failed" : one_line(errors)));
        finish_part();
        if (parts_.empty())
            throw std::runtime_error(path_ + " has no faces");
        name_parts(parts_, names_);
        return std::move(parts_);
    }

  private:
    void start_part(const std::string& name) {
        finish_part();
        part_name_ = name;
    }

    void finish_part() {
        Part part;
        for (PieceBuilder& piece : pieces_) {
            Mesh& mesh = piece.mesh;
            if (!mesh.normals.empty())
                mesh.normals.resize(mesh.positions.size());
            mesh.repair_normals();
            const bool known = piece.material >= 0 && size_t(piece.material) < colors_.size();
            part.pieces.push_back({std::make_shared<Mesh>(std::move(mesh)),
                                   known ? colors_[size_t(piece.material)] : default_grey});
        }
        pieces_.clear();
        if (part.pieces.empty())
            return;
        names_.add(part_name_);
        parts_.push_back(std::move(part));
    }

    PieceBuilder& piece() {
        for (PieceBuilder& piece : pieces_)
            if (piece.material == material_)
                return piece;
        pieces_.push_back({++builders_, material_, {}, {}});
        return pieces_.back();
    }

    // What the reader made of a vertex's or a normal's line: it takes what is
    // not a number, or is missing, as 0; what overflows a float is infinite.
    Vec3 checked(Vec3 read) const {
        const float values[] = {read.x, read.y, read.z};
        Words words(lines_->line());
        size_t column = 0;
        words.next(column); // "v" or "vn"
        for (size_t n = 1; n <= 3; ++n) {
            const std::string_view text = words.next(column);
            if (text.empty())
                throw Error({path_, "line " + std::to_string(lines_->number())},
                            "expected three coordinates");
            // Too large for a float, the reader's value is infinite.
            if (!is_float_decimal(text) || !std::isfinite(values[n - 1]))
                throw Error(Place::at_line(path_, lines_->number(), column),
                            "'" + printable(text) + "' is not a finite number");
        }
        return read;
    }

    // Each corner of a face's line as the reader splits it: up to three
    // whole numbers within an int, between slashes, only the second left out
    // ("1//2"). The reader takes "1.9" and "1x" as 1, wraps what is beyond an
    // int, and for an index left out last reads on into the next corner.
    void check_corners() const {
        Words words(lines_->line());
        size_t column = 0;
        words.next(column); // "f"
        for (std::string_view corner = words.next(column); !corner.empty();
             corner = words.next(column)) {
            size_t at = 0;
            for (int part = 0;; ++part) {
                const size_t slash = std::min(corner.find('/', at), corner.size());
                const std::string_view index = corner.substr(at, slash - at);
                int value = 0;
                // A sign may be written, as coordinates may have one.
                const size_t sign = index.size() > 1 && index[0] == '+' && index[1] != '-';
                const auto [end, error] =
                    std::from_chars(index.data() + sign, index.data() + index.size(), value);
                const auto fail = [&](const std::string& what) {
                    return Error(Place::at_line(path_, lines_->number(), column + at), what);
                };
                if (part > 2)
                    throw fail("a corner has at most three indices");
                if (error == std::errc::result_out_of_range)
                    throw fail("'" + std::string(index) +
                               "' is beyond an index's range, ±2147483647");
                if ((part != 1 || slash == corner.size() || !index.empty()) &&
                    (error != std::errc() || end != index.data() + index.size()))
                    throw fail(index.empty() ? "an index is left out"
                                             : "'" + printable(index) + "' is not a whole number");
                if (slash == corner.size())
                    break;
                at = slash + 1;
            }
        }
    }

    static constexpr uint32_t none = UINT32_MAX;

    // An index as the file writes it, from 1, or back from the last with a
    // minus, as an index into `count` items; `none` for none (0). `corner`
    // counts the face's corners from 0, to place the error.
    uint32_t resolve(int index, size_t count, const char* what, int corner) const {
        const int64_t i = index > 0 ? int64_t(index) - 1 : int64_t(count) + index;
        if (index == 0)
            return none;
        if (i < 0 || size_t(i) >= count)
            undefined(index, what, corner);
        return uint32_t(i);
    }

    [[noreturn]] void undefined(int index, const char* what, int corner) const {
        Words words(lines_->line());
        size_t column = 0;
        for (int k = -1; k <= corner; ++k) // "f", then the corners up to this one
            words.next(column);
        throw Error(Place::at_line(path_, lines_->number(), column),
                    "refers to " + std::string(what) + " " + std::to_string(index) +
                        ", which it does not define");
    }

    void face(const tinyobj::index_t* corners, int count) {
        if (count < 3) // points and lines are not surfaces
            return;
        check_corners();
        PieceBuilder& into = piece();
        uint32_t first = 0, previous = 0;
        for (int k = 0; k < count; ++k) {
            const uint32_t vertex = corner(into, corners[k], k);
            if (k == 0)
                first = vertex;
            else if (k >= 2)
                into.mesh.indices.insert(into.mesh.indices.end(), {first, previous, vertex});
            previous = vertex;
        }
    }

    // The mesh's vertex for a corner, added the first time the mesh meets it.
    uint32_t corner(PieceBuilder& into, const tinyobj::index_t& c, int k) {
        const uint32_t p = resolve(c.vertex_index, positions_.size(), "position", k);
        const uint32_t n = resolve(c.normal_index, normals_.size(), "normal", k);
        resolve(c.texcoord_index, texcoords_, "texture coordinate", k);
        if (p == none)
            undefined(0, "position", k);
        if (owner_.size() < positions_.size()) {
            owner_.resize(positions_.size(), 0);
            vertex_of_.resize(positions_.size());
            normal_of_.resize(positions_.size());
        }
        // Most positions have one normal in a mesh: those need no map.
        const Vec3* normal = n == none ? nullptr : &normals_[n];
        if (owner_[p] == into.id && normal_of_[p] == n)
            return vertex_of_[p];
        if (owner_[p] == into.id) {
            const uint64_t key = uint64_t(p) << 32 | n;
            const auto [at, added] =
                into.other_corners.try_emplace(key, uint32_t(into.mesh.positions.size()));
            if (added)
                add_vertex(into.mesh, p, normal);
            return at->second;
        }
        owner_[p] = into.id;
        normal_of_[p] = n;
        vertex_of_[p] = uint32_t(into.mesh.positions.size());
        add_vertex(into.mesh, p, normal);
        return vertex_of_[p];
    }

    // Vertices without a normal in a mesh that has some get a zero one,
    // which repair_normals replaces by their faces'.
    void add_vertex(Mesh& mesh, size_t p, const Vec3* normal) {
        const Vec3 placed = placement_.point(positions_[p]);
        check_placed_vertex(placed, path_);
        mesh.positions.push_back(placed);
        if (normal) {
            mesh.normals.resize(mesh.positions.size() - 1);
            mesh.normals.push_back(normalize(placement_.normal(*normal)));
        } else if (!mesh.normals.empty()) {
            mesh.normals.push_back({});
        }
    }

    std::string path_;
    PartNames names_;
    Placement placement_;
    std::vector<std::string>* also_read_; // may be null
    ObjLines* lines_ = nullptr;
    std::vector<Vec3> positions_, normals_; // the file's, as it lists them
    size_t texcoords_ = 0;                  // listed
    std::vector<Vec3> colors_;              // by material
    int material_ = -1;                     // none
    std::string part_name_ = "defaultobject";
    std::vector<PieceBuilder> pieces_; // of the part being read
    std::vector<Part> parts_;
    // By the file's position: the piece that last gave it a vertex, which
    // vertex of that piece's mesh, and with which normal.
    std::vector<uint32_t> owner_, vertex_of_, normal_of_;
    uint32_t builders_ = 0;
};

} // namespace

std::vector<Part> read_obj(const std::string& path, const std::string& prefix,
                           const Transform& transform, std::vector<std::string>* also_read) {
    return ObjReader(path, prefix, transform, also_read).read();
}

} // namespace xr
