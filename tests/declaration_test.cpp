// The shader's declaration (shader/qorv_xraytexture.json), which hosts read to
// present and fill the parameter block, against the public header.
#include <qorv_xraytexture.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

// The types the declaration may give a field of each C type.
template <typename T> struct Declared;
template <> struct Declared<Color> { static constexpr const char* types = "color"; };
template <> struct Declared<float> { static constexpr const char* types = "float"; };
template <> struct Declared<int32_t> { static constexpr const char* types = "boolean integer"; };
template <> struct Declared<Tag[1]> { static constexpr const char* types = "light_array"; };

struct BlockField {
    std::string name;
    size_t offset;
    size_t size;
    std::string types;
};

#define FIELD(name)                                                                                \
    BlockField {                                                                                   \
#name, offsetof(XrayParams, name), sizeof(XrayParams::name),                               \
            Declared < decltype(XrayParams::name)> ::types                                         \
    }

const std::vector<BlockField> fields = {FIELD(color),
                                        FIELD(power),
                                        FIELD(skip_flagged),
                                        FIELD(invert),
                                        FIELD(specular_weight),
                                        FIELD(specular_exponent),
                                        FIELD(specular),
                                        FIELD(mode),
                                        FIELD(i_light),
                                        FIELD(n_light),
                                        FIELD(light)};

json declaration() {
    std::ifstream file(XRAY_DECLARATION);
    return json::parse(file);
}

bool within(const json& value, const json& range) {
    return (range[0].is_null() || value >= range[0]) && (range[1].is_null() || value <= range[1]);
}

} // namespace

TEST(Declaration, ListsEveryFieldOfTheBlockInOrderWithItsOffsetAndType) {
    for (size_t i = 0; i + 1 < fields.size(); ++i)
        ASSERT_EQ(fields[i].offset + fields[i].size, fields[i + 1].offset) << fields[i].name;
    ASSERT_EQ(fields.back().offset + fields.back().size, sizeof(XrayParams));

    const json parameters = declaration().at("parameters");
    ASSERT_EQ(parameters.size(), fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const json& p = parameters[i];
        const BlockField& f = fields[i];
        SCOPED_TRACE(f.name);
        EXPECT_EQ(p.at("name"), f.name);
        EXPECT_EQ(p.at("offset"), f.offset);
        const std::string type = p.at("type");
        EXPECT_NE((" " + f.types + " ").find(" " + type + " "), std::string::npos) << type;

        // A default a host can put in the block, within the parameter's ranges.
        const json& value = p.at("default");
        if (type == "color")
            EXPECT_TRUE(value.is_array() && value.size() == 4);
        else if (type == "boolean")
            EXPECT_TRUE(value.is_boolean());
        else if (type == "integer")
            EXPECT_TRUE(value.is_number_integer());
        else if (type == "float")
            EXPECT_TRUE(value.is_number());
        else
            EXPECT_TRUE(value.is_array());
        for (const char* key : {"range", "soft_range"}) {
            if (!p.contains(key))
                continue;
            for (const json& v : value.is_array() ? value : json::array({value}))
                EXPECT_TRUE(within(v, p[key])) << key;
        }
        if (p.contains("range") && p.contains("soft_range")) {
            for (const json& bound : p["soft_range"])
                EXPECT_TRUE(within(bound, p["range"])) << "the slider stays within the range";
        }
        if (p.contains("enum")) {
            EXPECT_EQ(p["enum"].size(), p.at("range")[1].get<size_t>() + 1);
        }
    }
}

TEST(Declaration, NamesTheLibraryItsVersionAndTheHostOperationsOfTheHeader) {
    const json d = declaration();
    EXPECT_EQ(d.at("shader"), "qorv_xraytexture");
    EXPECT_EQ(d.at("version"), QORV_XRAYTEXTURE_VERSION);
    EXPECT_EQ(d.at("library").at("linux"), "qorv_xraytexture.so");
    EXPECT_EQ(d.at("library").at("windows"), "qorv_xraytexture.dll");
#define OPERATION_NAME(type, name, slot, parameters, arguments) #name,
    const std::vector<std::string> operations = {QORV_XRAYTEXTURE_HOST_OPERATIONS(OPERATION_NAME)};
#undef OPERATION_NAME
    EXPECT_EQ(d.at("host_operations").get<std::vector<std::string>>(), operations);
}
