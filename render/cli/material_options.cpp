#include "render/cli/material_options.h"

#include "render/cli/option_values.h"
#include "render/util/text.h"

#include <algorithm>

namespace xr {

namespace {

const char* const material_group = "X-ray material (the model, or the parts --xray names)";

// A parameter's option: its name with hyphens, except where a plainer name reads better.
std::string option_name(const ParamDeclaration& p) {
    if (p.name == "mode")
        return "--light-mode";
    std::string name = "--" + p.name;
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
}

std::string default_text(const ParamDeclaration& p) {
    const ParamValue& v = p.default_value;
    if (p.type == ParamType::color)
        return number_text(v[0]) + "," + number_text(v[1]) + "," + number_text(v[2]) + "," +
               number_text(v[3]);
    if (!p.enum_names.empty())
        return p.enum_names.at(size_t(v[0]));
    return number_text(v[0]);
}

} // namespace

MaterialOptions::MaterialOptions(CLI::App& app) {
    const ShaderDeclaration& d = xray_declaration();
    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        if (p.type != ParamType::light_array && !derived_by_host(p))
            options_.push_back({&p, i});
    }
    // Added once the vector no longer moves: CLI11 keeps the addresses.
    for (Option& m : options_) {
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

bool MaterialOptions::given() const {
    return std::any_of(options_.begin(), options_.end(),
                       [](const Option& m) { return m.option->count() > 0; });
}

void MaterialOptions::read(XraySettings& settings) const {
    for (const Option& m : options_) {
        if (m.option->count() == 0)
            continue;
        const ParamDeclaration& p = *m.param;
        const std::string what = option_name(p) + " " + m.text;
        ParamValue v{};
        if (p.type == ParamType::boolean) {
            v[0] = m.flag ? 1.0f : 0.0f;
        } else if (p.type == ParamType::color) {
            const auto color = parse_color(m.text);
            if (!color)
                throw CLI::ValidationError(what +
                                           ": expected r,g,b or r,g,b,a, each a finite number");
            v = *color;
        } else if (!p.enum_names.empty()) {
            const auto& names = p.enum_names;
            v[0] = float(std::find(names.begin(), names.end(), m.text) - names.begin());
        } else {
            const auto number = parse_number(m.text);
            if (!number)
                throw CLI::ValidationError(what + ": expected a finite number");
            v[0] = *number;
        }
        try {
            check_value(p, v, {"", what});
        } catch (const Error& e) {
            throw CLI::ValidationError(e.what());
        }
        settings.values[m.index] = v;
    }
}

} // namespace xr
