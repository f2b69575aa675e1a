#include "render/serve/preview_messages.h"

#include "render/setup/scene_file.h"

namespace xr {

using nlohmann::ordered_json;

std::string json_text(const ordered_json& j) {
    return j.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

CameraMessage camera_message(const Camera& camera) {
    return {camera.eye, camera.target, camera.fov_y};
}

void to_json(ordered_json& j, const CameraMessage& m) {
    j = {{"eye", vec3_json(m.eye)}, {"target", vec3_json(m.target)}, {"fov", m.fov}};
}

void to_json(ordered_json& j, const StateMessage& m) {
    ordered_json materials = ordered_json::array();
    for (const StateMessage::Material& material : m.materials)
        materials.push_back({{"name", material.name}, {"path", material.path}});
    j = {{"edit", m.edit},
         {"server", m.server},
         {"title", m.title},
         {"files", {{"image", m.image_file}, {"scene", m.scene_file}}},
         {"parameters", m.parameters},
         {"sampling", m.sampling},
         {"sampling_warning", m.sampling_warning},
         {"fov_range", m.fov_range},
         {"materials", materials},
         {"lights", m.lights},
         {"scene", m.scene},
         {"camera", m.camera},
         {"loaded_camera", m.loaded_camera}};
}

void to_json(ordered_json& j, const FrameMessage& m) {
    j = {{"edit", m.edit},       {"stage", m.stage},     {"stages", m.stages},
         {"final", m.final},     {"width", m.width},     {"height", m.height},
         {"samples", m.samples}, {"seconds", m.seconds}, {"image", m.image}};
}

std::vector<std::pair<std::string, std::string>> frame_headers(const FrameMessage& m) {
    return {{"X-Edit", std::to_string(m.edit)},
            {"X-Stage", std::to_string(m.stage)},
            {"X-Stages", std::to_string(m.stages)},
            {"X-Final", m.final ? "true" : "false"}};
}

void to_json(ordered_json& j, const ProgressMessage& m) {
    j = {{"text", m.text}, {"percent", m.percent}};
}

void to_json(ordered_json& j, const StatusMessage& m) {
    j = {{"text", m.text}, {"error", m.error}};
}

void to_json(ordered_json& j, const EditReply& m) {
    j = {{"edit", m.edit}};
}

void to_json(ordered_json& j, const SavedReply& m) {
    j = {{"file", m.file}};
}

void to_json(ordered_json& j, const RenderedReply& m) {
    j = {{"file", m.file}, {"seconds", m.seconds}};
}

void to_json(ordered_json& j, const ErrorReply& m) {
    j = {{"error", m.error}};
}

} // namespace xr
