#include "render/serve/preview_worker.h"

#include "render/image/png_image.h"
#include "render/output/frame_writer.h"
#include "render/output/output_file.h"
#include "render/serve/data_url.h"
#include "render/serve/preview_stages.h"
#include "render/setup/scene_builder.h"
#include "render/setup/scene_file.h"
#include "render/util/text.h"

#include <tbb/task_group.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <malloc.h>
#include <optional>
#include <random>

namespace xr {

namespace {

using nlohmann::ordered_json;

double seconds_between(std::chrono::steady_clock::time_point a,
                       std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Publishes whole percents below 100 only, from whichever thread finished a tile.
ProgressFn percent_reporter(EventHub& events, const std::string& what) {
    auto shown = std::make_shared<std::atomic<int>>(-1);
    return [shown, &events, what](float done) {
        const int percent = std::min(int(done * 100.0f), 99);
        int before = shown->load();
        while (percent > before)
            if (shown->compare_exchange_weak(before, percent)) {
                publish(events, ProgressMessage{what, percent});
                return;
            }
    };
}

// Whether a Render's picture is the preview's final frame, pixel for pixel.
bool publishes_still(const OutputPlan& plan) {
    return !plan.sequence() && plan.passes.empty();
}

// Tells this run of the server from any before or after it on the same port.
std::string run_id() {
    std::random_device random;
    char id[17];
    std::snprintf(id, sizeof id, "%08x%08x", unsigned(random()), unsigned(random()));
    return id;
}

// What a Render wrote: the still or video, or a sequence's first and last frames.
std::string written_text(const OutputPlan& plan, const std::vector<int>& frames) {
    const std::string first = plan.path(frames.front()), last = plan.path(frames.back());
    if (first == last)
        return first;
    return first + " … " + last + " (" + count_text(frames.size(), "frame") + ")";
}

std::exception_ptr server_stopped() {
    return std::make_exception_ptr(std::runtime_error("the server stopped"));
}

} // namespace

// A render that stop() cancels while it is in flight; cancelled from the
// start when the worker is stopping already.
struct PreviewWorker::Cancellable {
    Cancellable(PreviewWorker& worker, tbb::task_group_context*& slot)
        : worker(worker), slot(slot) {
        const std::lock_guard<std::mutex> lock(worker.mutex_);
        if (worker.stopping_)
            group.cancel_group_execution();
        slot = &group;
    }
    ~Cancellable() {
        const std::lock_guard<std::mutex> lock(worker.mutex_);
        slot = nullptr;
    }

    PreviewWorker& worker;
    tbb::task_group_context*& slot;
    tbb::task_group_context group;
};

PreviewWorker::PreviewWorker(SceneDescription scene, std::vector<Part> parts,
                             qorv_xraytexture_fn shader, ServedScene served, EventHub& events)
    : parts_(std::move(parts)), shader_(shader), served_(std::move(served)), events_(events),
      scene_(std::move(scene)), built_(build_scene(scene_, parts_)), shown_since_(Clock::now()),
      edited_(scene_) {
    restart_stages();
    served_.loaded_camera = built_->camera;
    served_.server = run_id();
    publish(events_, preview_state(served_, scene_, built_->camera, 0));
    thread_ = std::thread([this] { run(); });
}

PreviewWorker::~PreviewWorker() {
    stop();
}

void PreviewWorker::stop() {
    std::deque<Job> left;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (tbb::task_group_context* group : {rendering_, writing_})
            if (group)
                group->cancel_group_execution();
        left.swap(jobs_);
    }
    wake_.notify_one();
    for (Job& job : left)
        job.done.set_exception(server_stopped());
    const std::lock_guard<std::mutex> lock(joining_);
    if (thread_.joinable())
        thread_.join();
}

uint64_t PreviewWorker::edit(const std::string& request) {
    const std::lock_guard<std::mutex> lock(editing_);
    SceneDescription scene = edit_scene(request, edited_);
    uint64_t number = 0;
    const std::shared_future<ordered_json> queued = queue(Task::edit, scene, &number);
    if (number == 0)
        queued.get(); // not queued: throws why
    edited_ = std::move(scene);
    return number;
}

std::future<ordered_json> PreviewWorker::save() {
    std::promise<ordered_json> done;
    // Written here rather than by the worker, which would have to cancel the
    // stage in flight, or keep the Save waiting for it.
    const std::lock_guard<std::mutex> saving(saving_);
    SceneDescription scene;
    {
        const std::lock_guard<std::mutex> lock(editing_);
        scene = edited_;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            done.set_exception(server_stopped());
            return done.get_future();
        }
    }
    try {
        const SavedReply saved = write_scene(scene);
        // The newest status is every new page's: a failure before stays no longer.
        publish_status("saved " + saved.file);
        done.set_value(saved);
    } catch (const std::exception& e) {
        publish_status(e.what(), true);
        done.set_exception(std::current_exception());
    }
    return done.get_future();
}

std::shared_future<ordered_json> PreviewWorker::render_image(uint64_t* job) {
    return queue(Task::render, {}, job);
}

void PreviewWorker::give_up(uint64_t job) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto at = std::find_if(jobs_.begin(), jobs_.end(), [job](const Job& j) {
        return j.task == Task::render && j.number == job;
    });
    if (at != jobs_.end() && --at->waiting == 0)
        jobs_.erase(at);
}

std::shared_ptr<const PreviewWorker::Frame> PreviewWorker::latest_frame() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return frame_;
}

std::shared_future<ordered_json> PreviewWorker::queue(Task task, SceneDescription scene,
                                                      uint64_t* number) {
    Job job{task, std::move(scene), 0, 1, Clock::now(), {}, {}};
    job.reply = job.done.get_future().share();
    const std::shared_future<ordered_json> done = job.reply;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            job.done.set_exception(server_stopped());
            return done;
        }
        if (task == Task::render && !jobs_.empty() && jobs_.back().task == Task::render) {
            ++jobs_.back().waiting;
            *number = jobs_.back().number;
            return jobs_.back().reply;
        }
        // The stage in flight shows a scene that an edit leaves behind, and a
        // still's final stage the picture a Render publishes; a Render waits
        // for any other, which is quicker than starting it over. The stages
        // are read only while one is in flight, when the worker leaves them.
        if (number)
            job.number = *number = task == Task::edit ? ++edits_ : ++renders_;
        if (rendering_ && (task == Task::edit ||
                           (next_stage_ + 1 == stages_.size() && publishes_still(served_.image))))
            rendering_->cancel_group_execution();
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return done;
}

void PreviewWorker::run() {
    for (;;) {
        std::deque<Job> jobs;
        tbb::task_group_context group;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] {
                return stopping_ || !jobs_.empty() || (built_ && next_stage_ < stages_.size());
            });
            if (stopping_)
                return;
            jobs.swap(jobs_);
            if (jobs.empty())
                rendering_ = &group;
        }
        if (jobs.empty()) {
            bool finished = true; // a stage that fails is not tried again
            try {
                finished = render_stage(group);
            } catch (const std::exception& e) {
                publish_status(e.what(), true);
            }
            const std::lock_guard<std::mutex> lock(mutex_);
            rendering_ = nullptr;
            next_stage_ += finished;
            continue;
        }
        for (Job& job : jobs)
            do_job(job);
        try {
            catch_up();
        } catch (const std::exception& e) {
            publish_status(e.what(), true);
        }
    }
}

void PreviewWorker::do_job(Job& job) {
    try {
        if (job.task == Task::edit) {
            make_edit(job);
            job.done.set_value({});
            return;
        }
        catch_up();
        job.done.set_value(write_image());
    } catch (const std::exception& e) {
        publish_status(e.what(), true);
        job.done.set_exception(std::current_exception());
    }
}

void PreviewWorker::make_edit(Job& job) {
    scene_ = std::move(job.scene);
    stale_ = true;
    shown_edit_ = job.number;
    shown_since_ = job.queued;
}

void PreviewWorker::catch_up() {
    if (!stale_)
        return;
    // One scene in memory at a time; none when building fails, until the next edit.
    built_.reset();
    built_ = build_scene(scene_, parts_);
    stale_ = false;
    restart_stages();
    // The progress of a stage the edits cancelled is no page's to see; the
    // pages take the new state as its end.
    events_.withdraw(EventKind::progress);
    publish(events_, preview_state(served_, scene_, built_->camera, shown_edit_));
}

void PreviewWorker::restart_stages() {
    // An edit of the settings (adaptive sampling among them) changes the stages.
    stages_ = preview_stages(scene_.settings);
    next_stage_ = 0;
}

SavedReply PreviewWorker::write_scene(const SceneDescription& scene) const {
    // Checked again here, as at the start: a FIFO put in its place since
    // would hold the request, and the server's stop, until a reader came.
    check_not_a_pipe(served_.scene_file);
    write_scene_file(scene, served_.scene_file);
    return {served_.scene_file};
}

RenderedReply PreviewWorker::write_image() {
    const OutputPlan& plan = served_.image;
    Cancellable writing(*this, writing_);
    FrameSource source{built_.get(),
                       shader_,
                       scene_.settings,
                       {percent_reporter(events_, "rendering " + plan.out), &writing.group}};
    // A still's beauty is the preview's final stage, pixel for pixel.
    std::optional<Image> still;
    if (publishes_still(plan))
        source.written = [&still](const Film& film) { still = film.beauty; };
    const std::vector<int> frames = frames_to_render(plan, scene_.settings, false);
    for (int frame : frames)
        check_not_a_pipe(plan.path(frame));
    const auto start = Clock::now();
    write_frames(source, plan, frames);
    const double seconds = seconds_between(start, Clock::now());
    if (still && next_stage_ < stages_.size() && !edit_queued()) {
        next_stage_ = stages_.size();
        publish_frame(*still, next_stage_ - 1);
    }
    const std::string written = written_text(plan, frames);
    char summary[32];
    std::snprintf(summary, sizeof summary, " in %.1f s", seconds);
    publish_status("wrote " + written + summary);
    return {written, seconds};
}

bool PreviewWorker::render_stage(tbb::task_group_context& group) {
    const RenderSettings& s = stages_[next_stage_];
    const bool last = next_stage_ + 1 == stages_.size();
    RenderStats stats;
    const ProgressFn progress = last ? percent_reporter(events_, "refining") : ProgressFn();
    const Image image = render({*built_, shader_, s}, stats, {progress, &group});
    if (group.is_group_execution_cancelled())
        return false;
    publish_frame(image, next_stage_);
    return true;
}

void PreviewWorker::publish_frame(const Image& image, size_t stage) {
    const RenderSettings& s = stages_[stage];
    const bool last = stage + 1 == stages_.size();
    auto frame = std::make_shared<Frame>();
    frame->png = encode_png(image);
    frame->about = {
        shown_edit_, stage + 1, stages_.size(), last,
        s.width,     s.height,  s.samples,      seconds_between(shown_since_, Clock::now()),
        {}}; // the image travels in the message alone
    FrameMessage message = frame->about;
    message.image = png_data_url(frame->png);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        frame_ = std::move(frame);
    }
    // Idle from now until the next request: give back the free pages that the
    // server's many threads leave scattered over the heap's arenas.
    if (last)
        malloc_trim(0);
    publish(events_, message);
}

bool PreviewWorker::edit_queued() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return edits_ > shown_edit_;
}

void PreviewWorker::publish_status(const std::string& text, bool error) {
    publish(events_, StatusMessage{text, error});
}

} // namespace xr
