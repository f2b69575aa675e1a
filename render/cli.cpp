#include "render/cli.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

namespace xr {

namespace {

// "r,g,b" or "r,g,b,a", each a finite number.
std::string parse_color(const std::string& text, Color& color) {
    std::vector<float> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        size_t used = 0;
        float v = NAN;
        try {
            v = std::stof(item, &used);
        } catch (const std::exception&) {
        }
        if (used != item.size() || !std::isfinite(v))
            return "--color: '" + item + "' is not a number";
        values.push_back(v);
    }
    if (values.size() != 3 && values.size() != 4)
        return "--color: expected r,g,b or r,g,b,a, got '" + text + "'";
    color = {values[0], values[1], values[2], values.size() == 4 ? values[3] : 1.0f};
    return {};
}

} // namespace

std::optional<Options> parse_command_line(int argc, char** argv, int& exit_code) {
    Options o;
    CLI::App app("Renders a scene with the qorv_xraytexture shader to a PNG image.", "xray-render");
    app.get_formatter()->column_width(34);
    // As with most programs, an option given twice takes its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    app.add_option("-o,--out", o.out, "PNG file to write")->capture_default_str();
    app.add_option("--width", o.render.width, "image width in pixels")
        ->capture_default_str()
        ->check(CLI::Range(1, 16384));
    app.add_option("--height", o.render.height, "image height in pixels")
        ->capture_default_str()
        ->check(CLI::Range(1, 16384));
    app.add_option("--spp", o.render.samples, "jittered samples per pixel")
        ->capture_default_str()
        ->check(CLI::Range(1, 65536));
    app.add_option("--threads", o.render.threads, "rendering threads, 0 for every core")
        ->capture_default_str()
        ->check(CLI::Range(0, 1024));
    app.add_option("--seed", o.render.seed, "seed of the sampling pattern")->capture_default_str();
    app.add_option("--obj", o.obj, "render this Wavefront OBJ mesh instead of the built-in scene");
    app.add_option("--shader", o.shader,
                   "shader library to load (default: the one beside "
                   "this program)");

    auto* material = "X-ray material (the shell, or the OBJ mesh)";
    std::string color;
    app.add_option("--color", color, "surface colour r,g,b[,a], linear")
        ->group(material)
        ->default_str("0.25,0.55,1,1");
    app.add_option("--power", o.material.power, "exponent on the facing cosine")
        ->group(material)
        ->capture_default_str();
    app.add_flag("--invert", o.material.invert, "squarely faced parts keep the colour")
        ->group(material);
    app.add_option("--specular-weight", o.material.specular_weight, "highlight strength")
        ->group(material)
        ->capture_default_str();
    app.add_option("--specular-exponent", o.material.specular_exponent, "Phong exponent")
        ->group(material)
        ->capture_default_str();
    const std::map<std::string, int32_t> modes = {{"given", 0}, {"inclusive", 1}, {"exclusive", 2}};
    std::string mode = "given";
    app.add_option("--light-mode", mode,
                   "the lights as given, or the host's inclusive or exclusive light list")
        ->group(material)
        ->check(CLI::IsMember({"given", "inclusive", "exclusive"}))
        ->capture_default_str();

    try {
        app.parse(argc, argv);
        o.material.mode = modes.at(mode);
        if (!color.empty()) {
            const std::string error = parse_color(color, o.material.color);
            if (!error.empty())
                throw CLI::ValidationError(error);
        }
    } catch (const CLI::CallForHelp& e) {
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
