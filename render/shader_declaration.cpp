#include "render/shader_declaration.h"

#include "render/sample_bounds.h"
#include "render/util/embedded_text.h"
#include "render/util/text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace xr {

namespace {

using nlohmann::json;

ParamType type_named(const std::string& name) {
    static const std::pair<const char*, ParamType> types[] = {
        {"color", ParamType::color},
        {"float", ParamType::scalar},
        {"boolean", ParamType::boolean},
        {"integer", ParamType::integer},
        {"light_array", ParamType::light_array},
    };
    for (const auto& [text, type] : types)
        if (name == text)
            return type;
    throw std::runtime_error("unknown parameter type '" + name + "'");
}

ParamValue value_of(const json& j, ParamType type) {
    ParamValue v{};
    if (type == ParamType::light_array)
        return v;
    if (type == ParamType::color) {
        for (size_t i = 0; i < 4; ++i)
            v[i] = j.at(i).get<float>();
    } else if (type == ParamType::boolean) {
        v[0] = j.get<bool>() ? 1.0f : 0.0f;
    } else {
        v[0] = j.get<float>();
    }
    return v;
}

// A [min, max] pair whose ends may be null for open.
void read_range(const json& param, const char* key, std::optional<float>& lo,
                std::optional<float>& hi) {
    if (!param.contains(key) || param[key].is_null())
        return;
    const json& range = param[key];
    if (!range[0].is_null())
        lo = range[0].get<float>();
    if (!range[1].is_null())
        hi = range[1].get<float>();
}

// The x-ray shader's values that multiply light, bounded (sample_bounds.h)
// within the ranges it declares: its colours and its highlights' weight.
ShaderDeclaration with_light_factors_bounded(ShaderDeclaration d) {
    for (ParamDeclaration& p : d.params) {
        const bool weight = p.offset == offsetof(XrayParams, specular_weight);
        if (p.type == ParamType::color || weight) {
            const float most = weight ? max_weight : max_color;
            p.max = std::min(p.max.value_or(most), most);
        }
    }
    return d;
}

} // namespace

const ParamDeclaration* ShaderDeclaration::find(const std::string& name) const {
    for (const ParamDeclaration& p : params)
        if (p.name == name)
            return &p;
    return nullptr;
}

int ShaderDeclaration::at_offset(uint32_t offset) const {
    const size_t word = offset / 4;
    if (word < by_word.size())
        return by_word[word];
    return params.empty() || params.back().type != ParamType::light_array ? -1
                                                                          : int(params.size() - 1);
}

uint32_t ShaderDeclaration::light_array_offset() const {
    return uint32_t(by_word.size() * 4);
}

ShaderDeclaration parse_declaration(const std::string& text) {
    ShaderDeclaration d;
    try {
        const json j = json::parse(text);
        for (const json& p : j.at("parameters")) {
            ParamDeclaration param;
            param.name = p.at("name").get<std::string>();
            param.type = type_named(p.at("type").get<std::string>());
            param.offset = p.at("offset").get<uint32_t>();
            param.default_value = value_of(p.at("default"), param.type);
            read_range(p, "range", param.min, param.max);
            if (p.contains("enum"))
                param.enum_names = p["enum"].get<std::vector<std::string>>();
            param.connectable = p.value("connectable", false);
            param.help = p.value("help", "");
            d.params.push_back(std::move(param));
        }
    } catch (const json::exception& e) {
        throw std::runtime_error(std::string("shader declaration: ") + e.what());
    }
    // Parameters tile the block word by word, and the light array comes last.
    for (size_t i = 0; i < d.params.size(); ++i) {
        const ParamDeclaration& p = d.params[i];
        if (p.offset != d.by_word.size() * 4)
            throw std::runtime_error("shader declaration: " + p.name + " is not where the block " +
                                     "continues");
        if (p.type == ParamType::light_array) {
            if (i + 1 != d.params.size())
                throw std::runtime_error("shader declaration: the light array must come last");
            break;
        }
        d.by_word.insert(d.by_word.end(), p.size() / 4, int(i));
    }
    return d;
}

const ShaderDeclaration& xray_declaration() {
    static const ShaderDeclaration declaration =
        with_light_factors_bounded(parse_declaration(xray_declaration_text));
    return declaration;
}

void check_value(const ParamDeclaration& p, const ParamValue& value, const Place& where) {
    const size_t channels = p.type == ParamType::color ? 4 : 1;
    for (size_t i = 0; i < channels; ++i) {
        const float v = value[i];
        const std::string text = number_text(v);
        if (!std::isfinite(v))
            throw Error(where, text + " is not a finite number");
        // A colour's bound is on the light it passes on; its alpha passes on none.
        const bool alpha = p.type == ParamType::color && i == 3;
        if ((p.min && v < *p.min) || (p.max && !alpha && v > *p.max))
            throw Error(where, text + " is outside " + describe_range(p));
        // The surface colour's alpha is the share of what lies behind it that
        // the surface covers: beyond [0, 1] it would take light away. The
        // shader reads no other colour's alpha.
        if (p.type == ParamType::color && p.offset == offsetof(XrayParams, color) && i == 3 &&
            !(v >= 0.0f && v <= 1.0f))
            throw Error(where, "alpha " + text + " is outside [0, 1]");
        if (p.type == ParamType::integer && v != std::floor(v))
            throw Error(where, text + " is not a whole number");
        if (p.type == ParamType::boolean && v != 0.0f && v != 1.0f)
            throw Error(where, text + " is neither 0 (false) nor 1 (true)");
    }
}

std::string describe_range(const ParamDeclaration& p) {
    return (p.min ? "[" + number_text(*p.min) : "(-inf") + ", " +
           (p.max ? number_text(*p.max) + "]" : "inf)");
}

} // namespace xr
