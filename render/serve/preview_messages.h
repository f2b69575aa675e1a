// What the server tells its pages, and how it answers their requests: a type
// for each message, turned into JSON in preview_messages.cpp alone, under the
// names page/app.js reads.
#pragma once

#include "render/camera.h"
#include "render/serve/event_hub.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xr {

// A camera as the page moves it: {"eye", "target", "fov"}.
struct CameraMessage {
    Vec3 eye, target;
    float fov;
};
CameraMessage camera_message(const Camera& camera);

// Events, each the newest of its kind.

// The scene as it stands after edit number `edit`: what the page draws its
// controls from and shows in them.
struct StateMessage {
    static constexpr EventKind kind = EventKind::state;
    struct Material {
        std::string name; // the glob it is assigned to: "glob", or "glob#2" for the second
        std::string path; // its JSON pointer in the scene: "/assign/3/xray"
    };

    uint64_t edit = 0;
    std::string server; // this run of the server: a page tells a restart by it
    std::string title;
    std::string image_file, scene_file; // what Render and Save write
    nlohmann::ordered_json parameters;  // the shader's declared parameters the page may set
    nlohmann::ordered_json sampling;    // the render settings it may set, declared alike
    std::string sampling_warning;       // why adaptive sampling, asked for, does nothing
    float fov_range[2] = {};            // the camera's field of view the scene takes
    std::vector<Material> materials;
    std::vector<std::string> lights;
    nlohmann::ordered_json scene; // the scene file
    CameraMessage camera, loaded_camera;
};

// A picture of the scene after edit `edit`: stage `stage` of `stages`.
struct FrameMessage {
    static constexpr EventKind kind = EventKind::frame;
    uint64_t edit = 0;
    size_t stage = 0, stages = 0;
    bool final = false;
    int width = 0, height = 0, samples = 0;
    double seconds = 0.0; // since the edit was asked for, or since loading
    std::string image;    // a data: URL of the PNG
};

// Which edit and stage a frame shows, as the headers of its PNG served alone:
// X-Edit, X-Stage, X-Stages and X-Final, valued as in its event.
std::vector<std::pair<std::string, std::string>> frame_headers(const FrameMessage& m);

// How far the render in flight has come.
struct ProgressMessage {
    static constexpr EventKind kind = EventKind::progress;
    std::string text;
    int percent = 0;
};

// The outcome of the last Save or Render, or an error.
struct StatusMessage {
    static constexpr EventKind kind = EventKind::status;
    std::string text;
    bool error = false;
};

// Replies to requests.
struct EditReply {
    uint64_t edit; // the number the state and frames that show it carry
};
struct SavedReply {
    std::string file;
};
struct RenderedReply {
    std::string file;
    double seconds;
};
struct ErrorReply {
    std::string error;
};

void to_json(nlohmann::ordered_json& j, const CameraMessage& m);
void to_json(nlohmann::ordered_json& j, const StateMessage& m);
void to_json(nlohmann::ordered_json& j, const FrameMessage& m);
void to_json(nlohmann::ordered_json& j, const ProgressMessage& m);
void to_json(nlohmann::ordered_json& j, const StatusMessage& m);
void to_json(nlohmann::ordered_json& j, const EditReply& m);
void to_json(nlohmann::ordered_json& j, const SavedReply& m);
void to_json(nlohmann::ordered_json& j, const RenderedReply& m);
void to_json(nlohmann::ordered_json& j, const ErrorReply& m);

// JSON as the text it travels as. File names and the like are bytes; those
// that are not UTF-8 travel as U+FFFD, the replacement character, rather
// than fail the message.
std::string json_text(const nlohmann::ordered_json& j);

template <class Message> std::string message_text(const Message& m) {
    return json_text(nlohmann::ordered_json(m));
}

// Publishes an event to every page.
template <class Message> void publish(EventHub& events, const Message& m) {
    events.publish(Message::kind, message_text(m));
}

} // namespace xr
