#include "render/cli/command_line.h"

#include "render/image/image_file.h"
#include "render/output/turntable.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace xr {

namespace {

const char* const material_group = "X-ray material (the model, or the parts --xray names)";

// A parameter's option: its name with hyphens, except where a plainer name reads better.
std::string option_name(const ParamDeclaration& p) {
    if (p.name == "mode")
        return "--light-mode";
    std::string name = "--" + p.name;
    for (char& c : name)
        if (c == '_')
            c = '-';
    return name;
}

std::string default_text(const ParamDeclaration& p) {
    std::ostringstream out;
    const ParamValue& v = p.default_value;
    if (p.type == ParamType::color)
        out << v[0] << ',' << v[1] << ',' << v[2] << ',' << v[3];
    else if (!p.enum_names.empty())
        out << p.enum_names.at(size_t(v[0]));
    else
        out << v[0];
    return out.str();
}

bool parse_number(const std::string& text, float& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

// "r,g,b" or "r,g,b,a", each a finite number; false for anything else.
bool parse_color(const std::string& text, ParamValue& color) {
    std::vector<float> values;
    size_t start = 0;
    // Every field counts, the empty ones too: "1,0,0," is four fields, one of them bad.
    while (true) {
        const size_t comma = text.find(',', start);
        float v = 0.0f;
        if (!parse_number(text.substr(start, comma - start), v))
            return false;
        values.push_back(v);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (values.size() != 3 && values.size() != 4)
        return false;
    color = {values[0], values[1], values[2], values.size() == 4 ? values[3] : 1.0f};
    return true;
}

// "studio", "transparent" or "r,g,b", each a finite number, none negative.
std::optional<Background> parse_background(const std::string& text) {
    Background b;
    if (text == "studio" || text == "transparent") {
        b.kind = text == "studio" ? Background::Kind::studio : Background::Kind::transparent;
        return b;
    }
    ParamValue c{};
    if (!parse_color(text, c) || std::count(text.begin(), text.end(), ',') != 2 ||
        std::min({c[0], c[1], c[2]}) < 0.0f)
        return std::nullopt;
    b.kind = Background::Kind::color;
    b.color = {c[0], c[1], c[2]};
    return b;
}

// The output options, checked together once the command line is read.
struct OutputOptions {
    CLI::Option* background = nullptr;
    std::string background_text;
    std::vector<std::string> aov;
    CLI::Option* turntable = nullptr;
    int frames_total = 0;
    CLI::Option* frames = nullptr;
    std::string frames_text;
};

void add_output_options(CLI::App& app, OutputOptions& out, Options& o) {
    out.background =
        app.add_option("--background", out.background_text,
                       "what is seen behind the models: studio, transparent, or a colour r,g,b "
                       "(linear); overrides the scene's");
    app.add_option("--aov", out.aov,
                   "render passes to add to an OpenEXR output: depth, normal, albedo, xray, id "
                   "(comma-separated)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    out.turntable = app.add_option("--turntable", out.frames_total,
                                   "render N frames with the camera orbiting the target once; "
                                   "--out then names the frames with hashes: name_####.png")
                        ->check(CLI::Range(1, max_turntable_frames));
    out.frames = app.add_option("--frames", out.frames_text,
                                "render only frames A to B of the turntable (A-B, or A)");
    app.add_flag("--skip-existing", o.skip_existing,
                 "leave the output files that exist (files appear only whole)");
}

// Parses and checks the output options; throws CLI::ValidationError.
void read_output_options(const OutputOptions& out, Options& o) {
    if (out.background->count()) {
        o.background = parse_background(out.background_text);
        if (!o.background)
            throw CLI::ValidationError("--background " + out.background_text +
                                       ": expected studio, transparent or r,g,b, each a finite "
                                       "number, none negative");
    }
    std::string passes;
    for (const std::string& list : out.aov)
        passes += (passes.empty() ? "" : ",") + list;
    if (!out.aov.empty()) {
        try {
            o.passes = parse_passes(passes);
        } catch (const std::runtime_error& e) {
            throw CLI::ValidationError("--aov " + passes + ": " + e.what());
        }
        if (format_for(o.out) != ImageFormat::exr)
            throw CLI::ValidationError("--aov: passes are written only into OpenEXR, and " + o.out +
                                       " is a PNG (--out NAME.exr)");
    }
    if (out.turntable->count())
        o.turntable = out.frames_total;
    if (out.frames->count()) {
        try {
            o.frames = parse_frame_range(out.frames_text);
        } catch (const std::runtime_error& e) {
            throw CLI::ValidationError("--frames " + out.frames_text + ": " + e.what());
        }
    }
}

// One material option per declared parameter the user sets: a text to parse
// after the command line is read, or a flag.
struct MaterialOption {
    const ParamDeclaration* param;
    size_t index;
    CLI::Option* option = nullptr;
    std::string text;
    bool flag = false;
};

void add_material_options(CLI::App& app, std::vector<MaterialOption>& options) {
    const ShaderDeclaration& d = xray_declaration();
    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        if (p.type == ParamType::light_array || derived_by_host(p))
            continue;
        options.push_back({&p, i, nullptr, {}, false});
    }
    // Added once the vector no longer moves: CLI11 keeps the addresses.
    for (MaterialOption& m : options) {
        const ParamDeclaration& p = *m.param;
        if (p.type == ParamType::boolean) {
            m.option = app.add_flag(option_name(p), m.flag, p.help);
        } else {
            std::string help = p.help;
            if (p.type == ParamType::color)
                help += "; r,g,b[,a], linear";
            else if (p.enum_names.empty())
                help += "; " + describe_range(p);
            m.option = app.add_option(option_name(p), m.text, help)->default_str(default_text(p));
            if (!p.enum_names.empty())
                m.option->check(CLI::IsMember(p.enum_names));
        }
        m.option->group(material_group);
    }
}

// Parses and checks each material option given; throws CLI::ValidationError.
void read_material_options(const std::vector<MaterialOption>& options, Options& o) {
    for (const MaterialOption& m : options) {
        if (m.option->count() == 0)
            continue;
        o.material_given = true;
        const ParamDeclaration& p = *m.param;
        ParamValue v{};
        bool parsed = true;
        if (p.type == ParamType::boolean) {
            v[0] = m.flag ? 1.0f : 0.0f;
        } else if (p.type == ParamType::color) {
            parsed = parse_color(m.text, v);
        } else if (!p.enum_names.empty()) {
            const auto& names = p.enum_names;
            v[0] = float(std::find(names.begin(), names.end(), m.text) - names.begin());
        } else {
            parsed = parse_number(m.text, v[0]);
        }
        const std::string what = option_name(p) + " " + m.text;
        if (!parsed)
            throw CLI::ValidationError(what + ": " +
                                       (p.type == ParamType::color
                                            ? "expected r,g,b or r,g,b,a, each a finite number"
                                            : "expected a finite number"));
        const std::string bad = check_value(p, v);
        if (!bad.empty())
            throw CLI::ValidationError(what + ": " + bad);
        o.material.values[m.index] = v;
    }
}

} // namespace

std::optional<Options> parse_command_line(int argc, char** argv, int& exit_code) {
    Options o;
    CLI::App app("Renders models with the qorv_xraytexture shader to a PNG or OpenEXR image, or "
                 "a turntable's frames: a scene file, a model in the studio, or the built-in "
                 "scene.\n  xray-render compare A B [options] compares two images (see "
                 "xray-render compare --help).",
                 "xray-render");
    app.get_formatter()->column_width(34);
    app.set_version_flag("--version", "xray-render " XRAY_RENDER_VERSION);
    // As with most programs, an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    auto* scene = app.add_option("--scene", o.scene, "render this scene file (JSON)");
    app.add_option("--model,--obj", o.model,
                   "render this model in the studio: OBJ, glTF, GLB, STL, PLY, FBX, COLLADA, "
                   "3MF, ...")
        ->excludes(scene);
    app.add_option("--xray", o.xray,
                   "the parts matching this glob wear the x-ray material; repeatable (default: "
                   "the whole model)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    auto* list_parts =
        app.add_flag("--list-parts", o.list_parts,
                     "list the parts with their ids, triangle counts and colours, and exit");
    app.add_option("-o,--out", o.out,
                   "image to write: OpenEXR for NAME.exr, else PNG; for a turntable, hashes "
                   "stand for the frame number")
        ->capture_default_str();
    // Shown as the defaults; given, they override a scene file's settings.
    const RenderSettings defaults;
    int width = defaults.width, height = defaults.height, samples = defaults.samples;
    uint32_t seed = defaults.seed;
    auto* w = app.add_option("--width", width, "image width in pixels")
                  ->capture_default_str()
                  ->check(CLI::Range(1, 65536));
    auto* h = app.add_option("--height", height, "image height in pixels")
                  ->capture_default_str()
                  ->check(CLI::Range(1, 65536));
    auto* spp = app.add_option("--spp", samples, "jittered samples per pixel")
                    ->capture_default_str()
                    ->check(CLI::Range(1, 65536));
    auto* s = app.add_option("--seed", seed, "seed of the sampling pattern")->capture_default_str();
    app.add_option("--threads", o.threads, "rendering threads, 0 for every core")
        ->capture_default_str()
        ->check(CLI::Range(0, 1 << 16));
    app.add_option("--shader", o.shader,
                   "shader library to load (default: the one beside this program)");
    app.add_flag("-v,--verbose", o.verbose,
                 "also report load and build times, triangles and peak memory");
    OutputOptions output;
    add_output_options(app, output, o);
    std::vector<MaterialOption> material;
    add_material_options(app, material);

    ServeOptions serve;
    CLI::App* serve_command = app.add_subcommand(
        "serve", "Serves a web page for look development instead: the materials' controls beside "
                 "a picture that refines while you watch. Takes the options of a render too (see "
                 "xray-render --help); the page's Render writes --out.");
    serve_command->fallthrough()->excludes(list_parts);
    serve_command->add_option("--port", serve.port, "port to listen on; 0 picks a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve_command
        ->add_option("--bind", serve.bind,
                     "address to listen on; any other than 127.0.0.1 lets whoever reaches it "
                     "change the scene and write the files")
        ->capture_default_str();
    serve_command->add_option("--save", serve.save,
                              "scene file the page's Save writes (default: --out as .json, less a "
                              "sequence's frame number)");

    try {
        app.parse(argc, argv);
        read_material_options(material, o);
        read_output_options(output, o);
        if (w->count())
            o.width = width;
        if (h->count())
            o.height = height;
        if (spp->count())
            o.samples = samples;
        if (s->count())
            o.seed = seed;
        if (serve_command->parsed())
            o.serve = serve;
        if (o.material_given && o.model.empty() && o.xray.empty())
            throw CLI::ValidationError("the material options set what the parts named by "
                                       "--xray wear, or a model's; name the parts");
    } catch (const CLI::Success& e) { // --help or --version
        exit_code = app.exit(e);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "xray-render: %s (see --help)\n", e.what());
        exit_code = 2;
        return std::nullopt;
    }
    return o;
}

} // namespace xr
