#include "render/cli/option_values.h"

#include "render/sample_bounds.h"
#include "render/setup/scene_names.h"
#include "render/util/text.h"
#include "render/util/whole_number.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace xr {

namespace {

// A number finite as a float, kept in double: one too small for a float is
// not yet 0.
std::optional<double> parse_double(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(float(value)))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<float> parse_number(const std::string& text) {
    const std::optional<double> value = parse_double(text);
    return value ? std::optional<float>(float(*value)) : std::nullopt;
}

CLI::Validator not_empty(const std::string& noun) {
    return CLI::Validator(
        [noun](std::string& text) { return text.empty() ? "an empty " + noun : std::string(); },
        "");
}

CLI::Validator a_file_name() {
    return not_empty("file name");
}

CLI::Validator number_within(float min, float max) {
    const std::string range = std::isinf(max)
                                  ? "a finite number, " + number_text(min) + " or more"
                                  : "a number from " + number_text(min) + " to " + number_text(max);
    return CLI::Validator(
        [min, max, range](std::string& text) {
            const std::optional<float> value = parse_number(text);
            if (value && *value >= min && *value <= max)
                return std::string();
            return text + ": expected " + range;
        },
        // As CLI11's own checks show theirs in --help.
        std::isinf(max) ? "FLOAT >= " + number_text(min)
                        : "FLOAT in [" + number_text(min) + " - " + number_text(max) + "]");
}

CLI::Validator whole_number_within(int64_t min, int64_t max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) {
            const std::optional<int64_t> value = whole_number<int64_t>(text);
            if (value && *value >= min && *value <= max)
                return std::string();
            return text + ": expected a whole number from " + range;
        },
        "INT in [" + std::to_string(min) + " - " + std::to_string(max) + "]");
}

namespace {

// Comma-separated finite numbers. Every field counts, the empty ones too:
// "1,0,0," is four fields, one of them bad.
std::optional<std::vector<double>> parse_numbers(const std::string& text) {
    std::vector<double> values;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        const std::optional<double> v = parse_double(text.substr(start, comma - start));
        if (!v)
            return std::nullopt;
        values.push_back(*v);
        if (comma == std::string::npos)
            return values;
        start = comma + 1;
    }
}

} // namespace

std::optional<std::array<float, 4>> parse_color(const std::string& text) {
    const std::optional<std::vector<double>> parsed = parse_numbers(text);
    if (!parsed || (parsed->size() != 3 && parsed->size() != 4))
        return std::nullopt;
    const std::vector<double>& values = *parsed;
    return std::array<float, 4>{float(values[0]), float(values[1]), float(values[2]),
                                values.size() == 4 ? float(values[3]) : 1.0f};
}

std::optional<Background> parse_background(const std::string& text) {
    Background b;
    const auto named = std::find(std::begin(background_names), std::end(background_names), text);
    if (named != std::end(background_names)) {
        b.kind = Background::Kind(named - std::begin(background_names));
        return b;
    }
    const std::optional<std::array<float, 4>> c = parse_color(text);
    if (!c || std::count(text.begin(), text.end(), ',') != 2 ||
        std::min({(*c)[0], (*c)[1], (*c)[2]}) < 0.0f ||
        std::max({(*c)[0], (*c)[1], (*c)[2]}) > max_color)
        return std::nullopt;
    b.kind = Background::Kind::color;
    b.color = {(*c)[0], (*c)[1], (*c)[2]};
    return b;
}

std::optional<Tessellation> parse_tessellation(const std::string& text) {
    const std::optional<std::vector<double>> values = parse_numbers(text);
    if (!values || values->size() != 2)
        return std::nullopt;
    const std::optional<float> linear = linear_deflection((*values)[0]);
    const float angular = float((*values)[1]);
    if (!(linear && angular >= min_angular_deflection && angular <= max_angular_deflection))
        return std::nullopt;
    Tessellation t;
    t.linear = linear;
    t.angular = angular;
    return t;
}

} // namespace xr
