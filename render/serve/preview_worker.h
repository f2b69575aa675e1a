// The one thread that owns the scene being served. It makes the edits the
// server queues, in the order they came; renders the preview in stages,
// publishing each frame; and saves the scene or renders the image when asked.
// An edit cancels the stage in flight, so no page waits for stale work; a
// Save or a Render lets it finish, so its work is not thrown away.
#pragma once

#include "render/scene.h"
#include "render/serve/event_hub.h"
#include "render/serve/preview_state.h"
#include "render/serve/scene_edit.h"
#include "render/setup/part.h"
#include <qorv_xraytexture.h>

#include <nlohmann/json.hpp>
#include <tbb/task_group.h>

#include <chrono>
#include <deque>
#include <future>
#include <memory>
#include <thread>

namespace xr {

class PreviewWorker {
  public:
    // Builds the scene before returning, so that a scene that cannot be built
    // throws here; then starts rendering it.
    PreviewWorker(SceneDescription scene, std::vector<Part> parts, qorv_xraytexture_fn shader,
                  ServedScene served, EventHub& events);
    ~PreviewWorker();

    // Cancels the render in flight, a Render's too, fails what is queued and
    // waits for the thread. Callable from any thread, more than once.
    void stop();
    PreviewWorker(const PreviewWorker&) = delete;
    PreviewWorker& operator=(const PreviewWorker&) = delete;

    // Checks a request's edit against the scene the edits queued before it
    // leave, and queues it; gives its number, from 1. The state and the frames
    // say which edits they show. Throws EditError, and queues nothing.
    uint64_t edit(const std::string& request);
    // Writes the scene file as the edits queued before leave the scene, at
    // once, beside the render in flight; and gives a SavedReply. Or, once
    // those edits are made and the stage in flight is done, renders the image
    // at the scene's settings exactly as the command line does, and gives a
    // RenderedReply; a still's picture is then the preview's final frame,
    // unless an edit came meanwhile. Each reply as JSON; the future holds the
    // exception when it fails. A Render asked for while another waits, with
    // no edit queued between them, joins it and shares its reply: the two
    // would write the same files, and Renders whose clients have gone cannot
    // pile up. A Render's job is numbered in `job`, for give_up.
    std::future<nlohmann::ordered_json> save();
    std::shared_future<nlohmann::ordered_json> render_image(uint64_t* job);
    // Called for a Render whose client has gone: its job is dropped, unless it
    // has started or another Render waits for it too.
    void give_up(uint64_t job);

    // A frame as the pages were sent it: its event, less the image, and its PNG.
    struct Frame {
        FrameMessage about;
        std::vector<uint8_t> png;
    };
    // The newest frame, or null before the first.
    std::shared_ptr<const Frame> latest_frame() const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Cancellable;
    enum class Task { edit, render };
    struct Job {
        Task task;
        SceneDescription scene; // an edit's result
        uint64_t number = 0;    // of an edit, or of a Render's job
        size_t waiting = 1;     // Renders that wait for the job
        Clock::time_point queued;
        std::promise<nlohmann::ordered_json> done;
        std::shared_future<nlohmann::ordered_json> reply; // of done
    };

    std::shared_future<nlohmann::ordered_json> queue(Task task, SceneDescription scene = {},
                                                     uint64_t* number = nullptr);
    void run();
    // Answers the job's future, with the exception when it fails.
    void do_job(Job& job);
    void make_edit(Job& job);
    // Rebuilds the scene after edits, publishes the state, restarts the stages.
    void catch_up();
    // The preview's stages for the scene's settings, from the first.
    void restart_stages();
    SavedReply write_scene(const SceneDescription& scene) const;
    RenderedReply write_image();
    // False when cancelled.
    bool render_stage(tbb::task_group_context& group);
    // Sends the pages the picture of the scene as it stands, as stage `stage`
    // (from 0) of the stages; the last is the final frame.
    void publish_frame(const Image& image, size_t stage);
    // Whether an edit is queued that is not made yet.
    bool edit_queued() const;
    void publish_status(const std::string& text, bool error = false);

    // Read only, or the worker thread's alone.
    const std::vector<Part> parts_;
    const qorv_xraytexture_fn shader_;
    ServedScene served_;
    EventHub& events_;
    SceneDescription scene_;
    std::unique_ptr<Scene> built_;
    std::vector<RenderSettings> stages_;
    size_t next_stage_ = 0;
    bool stale_ = false;            // scene_ has edits that built_ lacks
    uint64_t shown_edit_ = 0;       // the last edit made
    Clock::time_point shown_since_; // when that edit was queued

    // Shared with the server's threads.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    uint64_t edits_ = 0;
    uint64_t renders_ = 0;
    tbb::task_group_context* rendering_ = nullptr; // the stage in flight
    tbb::task_group_context* writing_ = nullptr;   // the Render in flight
    bool stopping_ = false;
    std::shared_ptr<const Frame> frame_;

    // Held while an edit is checked and queued, so edits are queued in the
    // order they were checked in.
    std::mutex editing_;
    SceneDescription edited_; // scene_ once the queued edits are made

    // Held while a Save writes, so that the scene files are written in the
    // order the Saves came.
    std::mutex saving_;

    std::mutex joining_;
    std::thread thread_;
};

} // namespace xr
