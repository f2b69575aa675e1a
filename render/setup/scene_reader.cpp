#include "render/setup/scene_file.h"

#include "render/sample_bounds.h"
#include "render/setup/json_keys.h"
#include "render/setup/scene_names.h"
#include "render/setup/step_loader.h"
#include "render/setup/studio.h"
#include "render/util/embedded_text.h"
#include "render/util/error.h"
#include "render/util/regular_file.h"
#include "render/util/text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <unordered_set>

namespace xr {

namespace {

// In the file's order, as a scene edited as JSON comes.
using json = nlohmann::ordered_json;

const char* json_type(const json& j) {
    return j.is_number()    ? "a number"
           : j.is_string()  ? "a string"
           : j.is_boolean() ? "true or false"
           : j.is_array()   ? "an array"
           : j.is_object()  ? "an object"
                            : "null";
}

// A value in the document with its JSON pointer, checked as it is read.
class Field {
  public:
    Field(const json& j, Place place) : j_(j), place_(std::move(place)) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw Error(place_.key.empty() ? Place{place_.file, "/"} : place_, what);
    }
    const json& value() const { return j_; }
    const Place& place() const { return place_; }

    bool has(const char* key) const { return j_.contains(key); }
    // A key the object must have.
    Field operator[](const char* key) const {
        if (!j_.contains(key))
            fail("needs \"" + std::string(key) + "\"");
        return {j_.at(key), place_ / key};
    }
    Field item(size_t i) const { return {j_.at(i), place_ / std::to_string(i)}; }

    // An object holding no keys but these.
    const Field& object(std::initializer_list<const char*> keys) const {
        if (!j_.is_object())
            fail("expected an object, not " + std::string(json_type(j_)));
        for (const auto& [key, value] : j_.items())
            if (!lists(keys, key))
                Field(value, place_ / key).fail("unknown key '" + printable(key) + "'");
        return *this;
    }
    // An object of the kind names[kind], a `sort` of thing: holding no keys
    // but `common` and those its kind takes, kinds[kind]. A key that only
    // other kinds take is refused as theirs.
    template <size_t N>
    void object(std::initializer_list<const char*> common, const char* const (&names)[N],
                const std::vector<const char*> (&kinds)[N], int kind,
                const std::string& sort) const {
        for (const auto& [key, value] : j_.items()) {
            if (lists(common, key) || lists(kinds[kind], key))
                continue;
            std::string others;
            size_t n = 0;
            for (size_t i = 0; i < N; ++i)
                if (lists(kinds[i], key))
                    others += (n++ ? " and " : "") + std::string(names[i]);
            const Field field(value, place_ / key);
            if (n == 0)
                field.fail("unknown key '" + printable(key) + "'");
            field.fail("applies to the " + others + " " + sort + (n > 1 ? "s" : "") + " only");
        }
    }
    size_t array() const {
        if (!j_.is_array())
            fail("expected an array, not " + std::string(json_type(j_)));
        return j_.size();
    }
    float number() const {
        if (!j_.is_number())
            fail("expected a number, not " + std::string(json_type(j_)));
        const double v = j_.get<double>();
        if (!std::isfinite(float(v)))
            fail("expected a finite number");
        return float(v);
    }
    float number(float lo, float hi) const {
        const float v = number();
        if (v < lo || v > hi)
            fail("expected a number within [" + number_text(lo) + ", " + number_text(hi) + "]");
        return v;
    }
    float positive() const {
        const float v = number();
        if (!(v > 0.0f))
            fail("expected a number above 0");
        return v;
    }
    // A length or a scale factor.
    float extent() const {
        const float v = positive();
        if (v > max_coordinate)
            fail("expected a number within " + length_range());
        return v;
    }
    // A linear deflection (linear_deflection): a length, one too small for a
    // float taken as the finest.
    float deflection() const {
        number(); // a number, finite as a float
        const std::optional<float> v = linear_deflection(j_.get<double>());
        if (!v)
            fail("expected a number within " + length_range());
        return *v;
    }
    // A number with no fraction, however written (7 or 7.0), within [lo, hi];
    // in double, which holds every such number exactly, where a float would
    // round large ones.
    int64_t whole(int64_t lo, int64_t hi) const {
        if (!j_.is_number())
            fail("expected a number, not " + std::string(json_type(j_)));
        const double v = j_.get<double>();
        if (!(v == std::floor(v) && v >= double(lo) && v <= double(hi)))
            fail("expected a whole number within [" + std::to_string(lo) + ", " +
                 std::to_string(hi) + "]");
        return int64_t(v);
    }
    int integer(int lo, int hi) const { return int(whole(lo, hi)); }
    bool boolean() const {
        if (!j_.is_boolean())
            fail("expected true or false, not " + std::string(json_type(j_)));
        return j_.get<bool>();
    }
    std::string string() const {
        if (!j_.is_string())
            fail("expected a string, not " + std::string(json_type(j_)));
        return j_.get<std::string>();
    }
    template <size_t N> int one_of(const char* const (&names)[N]) const {
        const std::string s = string();
        for (size_t i = 0; i < N; ++i)
            if (s == names[i])
                return int(i);
        std::string all;
        for (size_t i = 0; i < N; ++i)
            all += (i ? (i + 1 == N ? " or " : ", ") : "") + std::string(names[i]);
        fail("'" + printable(s) + "' is not " + all);
    }
    Vec3 vec3(float m = max_coordinate) const {
        if (array() != 3)
            fail("expected [x, y, z]");
        return {item(0).number(-m, m), item(1).number(-m, m), item(2).number(-m, m)};
    }
    // A colour whose channels are within [0, most].
    Vec3 rgb(float most = max_color) const {
        if (array() != 3)
            fail("expected [r, g, b]");
        const Vec3 c = {item(0).number(), item(1).number(), item(2).number()};
        check_channels(most);
        return c;
    }
    // Throws unless every channel of the colour, [r, g, b] or [r, g, b, a],
    // is within [0, most]; alpha aside.
    void check_channels(float most = max_color) const {
        for (size_t i = 0; i < std::min<size_t>(array(), 3); ++i) {
            const float v = item(i).number();
            if (v < 0.0f)
                fail("a colour cannot be negative");
            if (v > most)
                fail("a colour cannot have a channel above " + number_text(most));
        }
    }
    // [r, g, b] or [r, g, b, a]; a plain number v is (v, v, v, 1) where allowed.
    Color color(bool number_allowed = false) const {
        if (number_allowed && j_.is_number()) {
            const float v = number();
            return {v, v, v, 1.0f};
        }
        const size_t n = array();
        if (n != 3 && n != 4)
            fail(number_allowed ? "expected a number, [r, g, b] or [r, g, b, a]"
                                : "expected [r, g, b] or [r, g, b, a]");
        Color c = {item(0).number(), item(1).number(), item(2).number(),
                   n == 4 ? item(3).number() : 1.0f};
        return c;
    }

  private:
    template <typename Keys> static bool lists(const Keys& keys, const std::string& key) {
        return std::any_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; });
    }

    const json& j_;
    Place place_;
};

Transform read_transform(const Field& f) {
    Transform t;
    if (f.has("translate"))
        t.translate = f["translate"].vec3();
    if (f.has("rotate"))
        t.rotate = f["rotate"].vec3();
    if (f.has("scale"))
        t.scale = f["scale"].extent();
    return t;
}

Tessellation read_tessellation(const Field& f) {
    f.object({"linear", "angular"});
    Tessellation t;
    if (f.has("linear"))
        t.linear = f["linear"].deflection();
    if (f.has("angular"))
        t.angular = f["angular"].number(min_angular_deflection, max_angular_deflection);
    return t;
}

ModelDescription read_model(const Field& f) {
    ModelDescription m;
    m.where = f.place();
    if (f.has("file")) {
        f.object({"file", "name", "translate", "rotate", "scale", "tessellation"});
        m.file = f["file"].string();
        if (m.file.empty())
            f["file"].fail("expected the name of a mesh file");
        if (f.has("tessellation")) {
            if (!is_step_file(m.file))
                f["tessellation"].fail("applies to STEP files (.step, .stp) only");
            m.tessellation = read_tessellation(f["tessellation"]);
        }
    } else if (f.has("shape")) {
        Shape s;
        s.kind = Shape::Kind(f["shape"].one_of(shape_names));
        f.object({"shape", "name", "translate", "rotate", "scale"}, shape_names, shape_keys,
                 int(s.kind), "shape");
        if (f.has("radius"))
            s.radius = f["radius"].extent();
        if (f.has("thickness"))
            s.thickness = f["thickness"].extent();
        if (f.has("size")) {
            s.size = f["size"].vec3();
            if (!(s.size.x > 0.0f && s.size.y > 0.0f && s.size.z > 0.0f))
                f["size"].fail("every side must be above 0");
        }
        m.shape = s;
        m.name = shape_names[int(s.kind)];
    } else {
        f.fail("a model needs a \"file\" or a \"shape\"");
    }
    if (f.has("name")) {
        // Empty, it would be left out of a saved scene, and the part renamed.
        m.name = f["name"].string();
        if (m.name.empty())
            f["name"].fail("a model's name cannot be empty; leave \"name\" out for the default");
    }
    m.transform = read_transform(f);
    return m;
}

Texture read_texture(const Field& f, bool numbers) {
    Texture t;
    t.kind = Texture::Kind(f["texture"].one_of(texture_names));
    f.object({"texture", "a"}, texture_names, texture_keys, int(t.kind), "texture");
    if (f.has("a"))
        t.a = f["a"].color(numbers);
    if (f.has("b"))
        t.b = f["b"].color(numbers);
    if (f.has("scale"))
        t.scale = f["scale"].positive();
    if (f.has("axis")) {
        const Vec3 axis = f["axis"].vec3();
        if (!(length(in_float_range(axis)) > 0.0f))
            f["axis"].fail("the axis cannot be zero");
        t.axis = axis;
    }
    return t;
}

void read_xray_param(const Field& f, const ParamDeclaration& p, size_t index, XraySettings& x) {
    if (p.type == ParamType::light_array) {
        // A light listed twice would light the part twice.
        std::vector<std::string> names;
        std::unordered_set<std::string> listed;
        for (size_t i = 0; i < f.array(); ++i) {
            names.push_back(f.item(i).string());
            if (!listed.insert(names.back()).second)
                f.item(i).fail("the light '" + printable(names.back()) + "' is listed twice");
        }
        x.lights = names;
        return;
    }
    if (f.value().is_object()) {
        if (!p.connectable)
            f.fail(p.name + " cannot be connected to a procedural");
        const Texture t = read_texture(f, p.type != ParamType::color);
        // Each colour the texture gives must be a value the parameter takes:
        // a number takes the red channel, an integer or boolean it rounded.
        for (const auto& [key, c] : {std::pair{"a", t.a}, std::pair{"b", t.b}}) {
            const ParamValue v = p.type == ParamType::color    ? ParamValue{c.r, c.g, c.b, c.a}
                                 : p.type == ParamType::scalar ? ParamValue{c.r}
                                                               : ParamValue{std::round(c.r)};
            check_value(p, v, (f.has(key) ? f[key] : f).place());
        }
        x.textures[index] = t;
        return;
    }
    ParamValue v{};
    switch (p.type) {
    case ParamType::color: {
        const Color c = f.color();
        v = {c.r, c.g, c.b, c.a};
        break;
    }
    case ParamType::boolean:
        v[0] = f.boolean() ? 1.0f : 0.0f;
        break;
    case ParamType::integer:
        if (!p.enum_names.empty()) {
            const std::string name = f.string();
            const auto it = std::find(p.enum_names.begin(), p.enum_names.end(), name);
            if (it == p.enum_names.end())
                f.fail("'" + printable(name) + "' is not one of the names of " + p.name);
            v[0] = float(it - p.enum_names.begin());
        } else {
            v[0] = f.number();
        }
        break;
    default:
        v[0] = f.number();
    }
    check_value(p, v, f.place());
    x.values[index] = v;
}

XraySettings read_xray(const Field& f) {
    if (!f.value().is_object())
        f.fail("expected an object of x-ray parameters");
    const ShaderDeclaration& d = xray_declaration();
    XraySettings x;
    for (const auto& [key, value] : f.value().items()) {
        const Field param(value, f.place() / key);
        const ParamDeclaration* p = d.find(key);
        if (!p || derived_by_host(*p))
            param.fail("the x-ray shader has no parameter '" + printable(key) + "'");
        read_xray_param(param, *p, size_t(p - d.params.data()), x);
    }
    return x;
}

Assignment read_assignment(const Field& f) {
    f.object({"parts", "xray", "matte", "flagged"});
    Assignment a;
    a.where = f.place();
    a.parts = f["parts"].string();
    if (f.has("xray") && f.has("matte"))
        f.fail("a part wears either \"xray\" or \"matte\", not both");
    if (f.has("xray")) {
        a.look = Assignment::Look::xray;
        a.xray = read_xray(f["xray"]);
    } else if (f.has("matte")) {
        a.look = Assignment::Look::matte;
        const Field m = f["matte"];
        m.object({"color"});
        if (m.has("color")) {
            if (m["color"].value().is_object()) {
                a.matte_texture = read_texture(m["color"], false);
                // Both colours the texture blends are albedos, bounded as a plain one is.
                for (const char* key : {"a", "b"})
                    if (m["color"].has(key))
                        m["color"][key].check_channels();
            } else
                a.matte_color = m["color"].rgb();
        }
    }
    if (f.has("flagged"))
        a.flagged = f["flagged"].boolean();
    if (a.look == Assignment::Look::unchanged && !a.flagged)
        f.fail("an assignment needs \"xray\", \"matte\" or \"flagged\"");
    return a;
}

LightDescription read_light(const Field& f) {
    f.object({"name", "type", "position", "target", "size", "color", "intensity", "samples"});
    LightDescription l;
    l.name = f["name"].string();
    if (l.name.empty())
        f["name"].fail("a light needs a name");
    l.kind = Light::Kind(f["type"].one_of(light_kinds));
    l.position = f["position"].vec3();
    if (l.kind == Light::Kind::rect) {
        // Straight down by default, by a step that far from the origin still counts.
        const Vec3 down{0.0f, std::max(1.0f, std::fabs(l.position.y)), 0.0f};
        l.target = f.has("target") ? f["target"].vec3() : l.position - down;
        if (!(length(in_float_range(l.target - l.position)) > 0.0f))
            f["target"].fail("a rectangle cannot face its own centre");
        if (f.has("size")) {
            const Field size = f["size"];
            if (size.array() != 2)
                size.fail("expected [width, height]");
            l.width = size.item(0).extent();
            l.height = size.item(1).extent();
        }
        l.samples = rect_light_samples;
    } else {
        for (const char* key : {"target", "size"})
            if (f.has(key))
                f[key].fail("only a rectangular light has a " + std::string(key));
    }
    // The colour is bounded with the intensity, below.
    if (f.has("color"))
        l.color = f["color"].rgb(std::numeric_limits<float>::max());
    if (f.has("intensity"))
        // Bounded with the colour and the area below: a small rectangle
        // may be intense.
        l.intensity = f["intensity"].number(0.0f, std::numeric_limits<float>::max());
    // What the light brings at the nearest distance it is sampled from.
    const bool rect = l.kind == Light::Kind::rect;
    const Vec3 power = l.color * l.intensity * (rect ? l.width * l.height : 1.0f);
    if (!(std::max({power.x, power.y, power.z}) <= max_light_power))
        (f.has("intensity") ? f["intensity"] : f["color"])
            .fail(std::string("the colour times the intensity") + (rect ? " times the area" : "") +
                  " passes " + number_text(max_light_power));
    if (f.has("samples")) {
        if (l.kind == Light::Kind::point)
            f["samples"].fail("a point light gives one sample");
        l.samples = f["samples"].integer(1, 1024);
    }
    return l;
}

CameraDescription read_camera(const Field& f) {
    f.object({"eye", "target", "fov", "frame", "from", "turntable"});
    CameraDescription c;
    const bool placed = f.has("eye") || f.has("target");
    if (placed && (f.has("frame") || f.has("from")))
        f.fail("a camera is placed by \"eye\" and \"target\", or frames parts; not both");
    if (placed) {
        c.eye = f["eye"].vec3(max_camera_coordinate);
        c.target = f["target"].vec3(max_camera_coordinate);
        if (!(length(in_float_range(*c.target - *c.eye)) > 0.0f))
            f["target"].fail("the camera cannot look at its own eye");
    }
    if (f.has("frame"))
        c.frame = f["frame"].string();
    if (f.has("from")) {
        c.from = f["from"].vec3();
        if (!(length(in_float_range(c.from)) > 0.0f))
            f["from"].fail("the direction cannot be zero");
    }
    if (f.has("fov"))
        c.fov = f["fov"].number(min_fov, max_fov);
    if (f.has("turntable"))
        c.turntable = f["turntable"].integer(1, max_turntable_frames);
    return c;
}

EnvironmentDescription read_environment(const Field& f) {
    f.object({"background", "floor"});
    EnvironmentDescription e;
    if (f.has("background")) {
        const Field b = f["background"];
        if (b.value().is_string()) {
            const std::string name = b.string();
            const auto named =
                std::find(std::begin(background_names), std::end(background_names), name);
            if (named == std::end(background_names))
                b.fail("expected \"studio\", \"transparent\" or [r, g, b]");
            e.background.kind = Background::Kind(named - std::begin(background_names));
        } else {
            e.background.kind = Background::Kind::color;
            e.background.color = b.rgb();
        }
    }
    if (f.has("floor"))
        e.floor = f["floor"].boolean();
    return e;
}

RenderSettings read_settings(const Field& f) {
    f.object({"width", "height", "samples", "seed", "adaptive", "noise", "min_samples"});
    RenderSettings s;
    if (f.has("width"))
        s.width = f["width"].integer(1, max_image_side);
    if (f.has("height"))
        s.height = f["height"].integer(1, max_image_side);
    if (f.has("samples"))
        s.samples = f["samples"].integer(1, max_samples);
    if (f.has("seed"))
        s.seed = uint32_t(f["seed"].whole(0, UINT32_MAX));
    if (f.has("adaptive"))
        s.adaptive = f["adaptive"].boolean();
    if (f.has("noise"))
        s.noise = f["noise"].number(0.0f, max_noise);
    if (f.has("min_samples"))
        s.min_samples = f["min_samples"].integer(1, max_samples);
    return s;
}

// Every light an x-ray material names must exist.
void check_light_names(const SceneDescription& scene) {
    const std::vector<std::string> names = light_names(scene);
    const std::unordered_set<std::string> known(names.begin(), names.end());
    for (size_t i = 0; i < scene.assign.size(); ++i) {
        const Assignment& a = scene.assign[i];
        if (a.look != Assignment::Look::xray || !a.xray.lights)
            continue;
        for (size_t k = 0; k < a.xray.lights->size(); ++k) {
            const std::string& name = (*a.xray.lights)[k];
            if (!known.count(name))
                throw Error(a.where / "xray" / "light" / std::to_string(k),
                            "there is no light named '" + printable(name) + "'");
        }
    }
}

std::pair<size_t, size_t> line_and_column(const std::string& text, size_t byte) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < std::min(byte, text.size()); ++i) {
        if (text[i] == '\n')
            ++line, column = 1;
        else
            ++column;
    }
    return {line, column};
}

} // namespace

SceneDescription parse_scene(const std::string& text, const std::string& source,
                             const std::string& base_dir) {
    json root;
    KeyTracker keys(source, "a scene file states each key once");
    if (!nesting_within_limit(text))
        throw Error({source, ""}, nesting_refusal());
    try {
        // Keys are checked in a pass of their own: nlohmann's parser with a
        // callback takes time quadratic in the length of an array of objects.
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        const auto [line, column] = line_and_column(text, e.byte == 0 ? 0 : e.byte - 1);
        throw Error(Place::at_line(source, line, column), syntax_message(e));
    } catch (const json::out_of_range& e) {
        // A number beyond a double's range, which the parser does not place
        // and the pass of the keys does, by its JSON pointer.
        check_keys(text, keys);
        throw Error({source, ""}, syntax_message(e));
    }
    check_keys(text, keys);
    return read_scene(root, source, base_dir);
}

SceneDescription read_scene(const nlohmann::ordered_json& root, const std::string& source,
                            const std::string& base_dir) {
    SceneDescription scene;
    scene.source = source;
    scene.base_dir = base_dir;
    const Field top(root, {source, ""});
    top.object({"models", "assign", "lights", "camera", "environment", "settings"});
    const Field models = top["models"];
    if (models.array() == 0)
        models.fail("a scene needs at least one model");
    for (size_t i = 0; i < models.array(); ++i)
        scene.models.push_back(read_model(models.item(i)));
    if (top.has("lights")) {
        const Field lights = top["lights"];
        std::vector<LightDescription>& own = scene.lights.emplace();
        std::unordered_set<std::string> names;
        for (size_t i = 0; i < lights.array(); ++i) {
            own.push_back(read_light(lights.item(i)));
            if (!names.insert(own[i].name).second)
                lights.item(i)["name"].fail("a light named '" + printable(own[i].name) +
                                            "' comes earlier");
        }
    }
    if (top.has("assign"))
        for (size_t i = 0; i < top["assign"].array(); ++i)
            scene.assign.push_back(read_assignment(top["assign"].item(i)));
    if (top.has("camera"))
        scene.camera = read_camera(top["camera"]);
    if (top.has("environment"))
        scene.environment = read_environment(top["environment"]);
    if (top.has("settings"))
        scene.settings = read_settings(top["settings"]);
    check_light_names(scene);
    return scene;
}

SceneDescription built_in_scene() {
    return parse_scene(default_scene_text, "built-in scene", "");
}

SceneDescription read_scene_file(const std::string& path) {
    const std::string text = reading(path, [&] {
        const RegularFile file(path);
        if (file.size() > max_scene_file_bytes)
            throw std::runtime_error("larger than the " +
                                     std::to_string(max_scene_file_bytes >> 20) +
                                     " MiB a scene file may be");
        return file.read_text(file.size());
    });
    const size_t slash = path.find_last_of('/');
    return parse_scene(
        text, path, slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1)));
}

} // namespace xr
