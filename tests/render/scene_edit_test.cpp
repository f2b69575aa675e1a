// Edits from the page: only what look development changes, each value checked
// as a scene file's would be, and nothing else of the scene lost on the way.
#include "tests/render/render_fixture.h"

#include "render/serve/scene_edit.h"
#include "render/setup/scene_file.h"

#include <gtest/gtest.h>

using namespace xr;

namespace {

// The built-in scene: x-ray materials at /assign/0, 1, 5 and 6; mattes between.
SceneDescription builtin() {
    return built_in_scene();
}

std::string refusal(const std::string& body) {
    try {
        edit_scene(body, builtin());
    } catch (const EditError& e) {
        return e.what();
    }
    return "";
}

std::string many_operations(int n) {
    std::string patch = "[";
    for (int i = 0; i < n; ++i)
        patch += std::string(i ? "," : "") +
                 R"({"op": "add", "path": "/environment/floor", "value": true})";
    return patch + "]";
}

SceneDescription edited(const std::string& body) {
    return edit_scene(body, builtin());
}

} // namespace

TEST(SceneEdit, RefusesWhatTheSceneCannotTakeInOneLine) {
    const struct {
        std::string body, message;
    } cases[] = {
        {"[{\"op\": \"add\"",
         "cannot read the request: parse error at line 1, column 14: syntax error"},
        {R"([{"op": "add", "path": "/assign/0/xray/power", "value": 1e999}])",
         "cannot read the request: number overflow parsing '1e999'"},
        {R"({"op": "add", "path": "/camera"})", "expected a JSON Patch: an array of 1 to 64"},
        // The parser would keep the last of a key given twice.
        {R"([{"op": "add", "path": "/assign/0/xray/power", "path": "/camera/fov", "value": 50}])",
         "request: /0/path: given twice; an edit states each key once"},
        {"[]", "expected a JSON Patch"},
        {std::string(257, '[') + std::string(257, ']'),
         "cannot read the request: values nested more than 256 deep"},
        {many_operations(65), "expected a JSON Patch: an array of 1 to 64"},
        {R"([{"path": "/environment/floor", "value": true}])", "operation 0: expected {"},
        {R"([{"op": "move", "from": "/camera", "path": "/environment/floor"}])",
         "operation 0: 'move' is not an operation the preview makes"},
        {R"([{"op": "add", "path": "/environment/floor"}])",
         "operation 0: /environment/floor: \"add\" needs a \"value\""},
        // Nothing that names a file, or reaches past the materials, the
        // environment and the camera.
        {R"([{"op": "add", "path": "/models/0/file", "value": "/etc/passwd"}])",
         "operation 0: /models/0/file: the preview changes /assign/N/xray/NAME"},
        {R"([{"op": "add", "path": "/assign/0/xray/power/0", "value": 1}])",
         "operation 0: /assign/0/xray/power/0: the preview changes"},
        {R"([{"op": "add", "path": "/assign/0/xray/~1power", "value": 1}])",
         "operation 0: /assign/0/xray/~1power: the preview changes"},
        {R"([{"op": "add", "path": "/assign/2/xray/power", "value": 1}])",
         "operation 0: /assign/2/xray/power: /assign/2 is not an x-ray material"},
        {R"([{"op": "add", "path": "/assign/7/xray/power", "value": 1}])",
         "operation 0: /assign/7/xray/power: /assign/7 is not an x-ray material"},
        {R"([{"op": "add", "path": "/assign/00/xray/power", "value": 1}])",
         "operation 0: /assign/00/xray/power: /assign/00 is not an x-ray material"},
        {R"([{"op": "remove", "path": "/assign/0/xray/glow"}])",
         "operation 0: /assign/0/xray/glow: the x-ray shader has no parameter 'glow'"},
        {R"([{"op": "add", "path": "/assign/0/xray/n_light", "value": 9}])",
         "operation 0: /assign/0/xray/n_light: the x-ray shader has no parameter 'n_light'"},
        // Values as the scene reader checks a file's, with the key that is wrong.
        {R"([{"op": "add", "path": "/assign/0/xray/power", "value": -1}])",
         "request: /assign/0/xray/power: -1 is outside [0, inf)"},
        {R"([{"op": "add", "path": "/assign/0/xray/power", "value": {"texture": "stripes", "a": -5}}])",
         "request: /assign/0/xray/power/a: -5 is outside [0, inf)"},
        {R"([{"op": "add", "path": "/assign/0/xray/light", "value": ["key", "sun"]}])",
         "request: /assign/0/xray/light/1: there is no light named 'sun'"},
        {R"([{"op": "add", "path": "/camera/frame", "value": "nothing*"}])",
         "operation 0: /camera/frame: the preview places the camera by \"eye\", \"target\""},
        {R"([{"op": "add", "path": "/camera", "value": {"eye": [0, 1, 5], "target": [0, 0, 0]}}])",
         "operation 0: /camera: the preview changes"},
        {R"([{"op": "remove", "path": "/camera/target"}])", "request: /camera: needs \"target\""},
        {R"([{"op": "add", "path": "/settings/samples", "value": 4096}])",
         "operation 0: /settings/samples: the preview changes"},
        {R"([{"op": "add", "path": "/settings/noise", "value": -1}])",
         "request: /settings/noise: expected a number within [0, 255]"},
        // One bad operation refuses the whole patch.
        {R"([{"op": "add", "path": "/assign/0/xray/power", "value": 3},
             {"op": "add", "path": "/assign/1/xray/power", "value": -3}])",
         "request: /assign/1/xray/power: -3 is outside"},
    };
    EXPECT_EQ(refusal(many_operations(64)), "");
    for (const auto& c : cases) {
        const std::string message = refusal(c.body);
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << c.body;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(SceneEdit, ChangesWhatItNamesAndKeepsTheRest) {
    SceneDescription loaded = builtin();
    loaded.settings.threads = 1; // --threads, which no scene file holds
    loaded.camera.turntable = 24;
    const SceneDescription d =
        edit_scene(R"([{"op": "replace", "path": "/assign/1/xray/power", "value": 3.5},
                               {"op": "add", "path": "/assign/0/xray/invert", "value": true},
                               {"op": "add", "path": "/assign/0/xray/light", "value": ["soft"]},
                               {"op": "remove", "path": "/assign/6/xray/mode"},
                               {"op": "remove", "path": "/assign/5/xray/color"},
                               {"op": "add", "path": "/environment/floor", "value": false},
                               {"op": "add", "path": "/settings/adaptive", "value": true},
                               {"op": "add", "path": "/settings/noise", "value": 1.5},
                               {"op": "add", "path": "/camera/eye", "value": [1, 2, 3]},
                               {"op": "add", "path": "/camera/target", "value": [0, 1, 0]},
                               {"op": "add", "path": "/camera/fov", "value": 20},
                               {"op": "remove", "path": "/camera/frame"},
                               {"op": "remove", "path": "/camera/from"}])",
                   loaded);
    EXPECT_EQ(param(d.assign[1].xray, "power")[0], 3.5f);
    EXPECT_EQ(param(d.assign[0].xray, "invert")[0], 1.0f);
    EXPECT_EQ(d.assign[0].xray.lights, std::vector<std::string>{"soft"});
    EXPECT_EQ(param(d.assign[6].xray, "mode"),
              param(XraySettings(), "mode"));   // removed: the default
    EXPECT_FALSE(d.assign[5].xray.textures[0]); // the stripes disconnected
    EXPECT_FALSE(d.environment.floor);
    EXPECT_TRUE(d.settings.adaptive);
    EXPECT_EQ(d.settings.noise, 1.5f);
    EXPECT_EQ(d.camera.eye->z, 3.0f);
    EXPECT_EQ(d.camera.fov, 20.0f);

    // Everything else as loaded.
    EXPECT_EQ(param(d.assign[0].xray, "power"), param(loaded.assign[0].xray, "power"));
    EXPECT_EQ(param(d.assign[6].xray, "invert"), param(loaded.assign[6].xray, "invert"));
    EXPECT_EQ(d.assign[6].xray.lights, loaded.assign[6].xray.lights);
    EXPECT_EQ(d.assign[4].flagged, loaded.assign[4].flagged);
    ASSERT_TRUE(d.lights && loaded.lights);
    EXPECT_EQ(d.lights->size(), loaded.lights->size());
    EXPECT_EQ(d.settings.threads, 1);
    EXPECT_EQ(d.camera.turntable, 24);
    EXPECT_EQ(d.settings.samples, loaded.settings.samples);
    EXPECT_EQ(d.source, loaded.source);

    // A texture is connected again by stating it.
    const SceneDescription stripes = edited(
        R"([{"op": "add", "path": "/assign/0/xray/color", "value": {"texture": "checker"}}])");
    ASSERT_TRUE(stripes.assign[0].xray.textures[0]);
    EXPECT_EQ(stripes.assign[0].xray.textures[0]->kind, Texture::Kind::checker);
}
