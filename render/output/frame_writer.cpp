#include "render/output/frame_writer.h"

#include "render/output/output_file.h"
#include "render/output/progress_bar.h"
#include "render/output/turntable.h"
#include "render/output/video_writer.h"
#include "render/sample_bounds.h"
#include "render/thread_context.h"
#include "render/util/standard_output.h"
#include "render/util/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace xr {

namespace {

// Puts a camera back as it was however the frame ends, so that what renders
// the scene next (the preview, after a Render that failed) sees it unmoved.
class CameraKeeper {
  public:
    explicit CameraKeeper(Camera& camera) : camera_(camera), kept_(camera) {}
    ~CameraKeeper() { camera_ = kept_; }
    CameraKeeper(const CameraKeeper&) = delete;
    CameraKeeper& operator=(const CameraKeeper&) = delete;

    const Camera& kept() const { return kept_; }

  private:
    Camera& camera_;
    const Camera kept_;
};

// "16 spp", or for an adaptive render its bounds and what the film's pixels
// took on average.
std::string samples_text(const RenderSettings& s, const RenderStats& stats, const Film& film) {
    if (!s.adaptive)
        return std::to_string(s.samples) + " spp";
    char text[80];
    std::snprintf(text, sizeof text, "%d to %d spp adaptively (%.1f on average)",
                  s.fewest_samples(), s.samples,
                  double(stats.samples) / (double(film.width()) * double(film.height())));
    return text;
}

// The progress of `frames` frames from one frame's, `done` of them rendered
// before it.
ProgressFn job_progress(const ProgressFn& progress, size_t done, size_t frames) {
    return
        [progress, done, frames](float frame) { progress((float(done) + frame) / float(frames)); };
}

// One frame of the plan, the `done` of the `frames` to render before it finished.
Film render_frame(const FrameSource& source, const OutputPlan& plan, int frame, size_t done,
                  size_t frames, RenderSettings& settings, RenderStats& stats) {
    const CameraKeeper camera(source.scene->camera);
    if (plan.sequence()) {
        source.scene->camera = turntable_camera(camera.kept(), frame, plan.turntable);
        settings.seed = frame_seed(settings.seed, frame);
    }
    ProgressBar bar;
    RenderControl control = source.control;
    if (control.progress)
        control.progress = job_progress(control.progress, done, frames);
    else
        control.progress = [&bar](float share) { bar.update(share); };
    Film film = render_film({*source.scene, source.shader, settings, plan.passes}, stats, control);
    bar.finish();
    if (film.find("id"))
        add_id_manifest(film, source.scene->part_names());
    film.attributes.insert(source.attributes.begin(), source.attributes.end());
    return film;
}

// "640x400", or for a tile "640x100 at 0,300 of 640x400".
std::string size_of(const Film& film) {
    const std::string size = size_text(film.width(), film.height());
    if (!film.window)
        return size;
    return size + " at " + std::to_string(film.window->region.x0) + "," +
           std::to_string(film.window->region.y0) + " of " +
           size_text(film.window->width, film.window->height);
}

// A line on standard error when samples had to be made summable: what the
// image shows there is not what the scene asked for.
void warn_unsound(const std::string& label, const RenderStats& stats) {
    if (stats.unsound == 0)
        return;
    const bool one = stats.unsound == 1;
    std::fprintf(stderr, "warning: %s: %llu %s NaN or beyond ±%s, counted as 0 or as that bound\n",
                 label.c_str(), static_cast<unsigned long long>(stats.unsound),
                 one ? "sample was" : "samples were", number_text(max_sample_value).c_str());
}

// A line on standard error when see-through rays reached the nesting limit,
// or their sample's budget: the shader showed the background where something
// may have lain beyond.
void warn_cut_off(const std::string& label, const RenderStats& stats) {
    if (stats.cut_off != 0)
        std::fprintf(stderr,
                     "warning: %s: %s reached the nesting limit of %d surfaces; the background "
                     "shows beyond them\n",
                     label.c_str(), count_text(size_t(stats.cut_off), "see-through ray").c_str(),
                     max_depth);
    if (stats.starved != 0)
        std::fprintf(stderr,
                     "warning: %s: %s came after the %u a camera sample may cast, where surfaces "
                     "traced what lies behind them again and again; the background shows beyond "
                     "them\n",
                     label.c_str(), count_text(size_t(stats.starved), "see-through ray").c_str(),
                     see_through_budget);
}

// Runs `work`, saying what ran out of memory if it does ("PATH: encoding the
// 640x400 image as PNG: out of memory"), where a bare std::bad_alloc would not.
template <class Work>
auto saying_out_of_memory(const std::string& what, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(what + ": out of memory");
    }
}

} // namespace

void write_frames(const FrameSource& source, const OutputPlan& plan,
                  const std::vector<int>& frames) {
    const auto start = std::chrono::steady_clock::now();
    // A video takes every frame as it is done, and appears once it has them all.
    std::unique_ptr<VideoWriter> video;
    if (plan.video)
        video = std::make_unique<VideoWriter>(plan.out, *plan.video, plan.video_settings,
                                              source.settings.width, source.settings.height);
    else
        check_frames_writable(plan, frames);
    size_t rendered = 0;
    for (int frame = plan.range.first; frame <= plan.range.last; ++frame) {
        const std::string path = plan.path(frame);
        const std::string label = plan.sequence()
                                      ? "frame " + std::to_string(frame) + " of " +
                                            std::to_string(plan.turntable) + ": " + printable(path)
                                      : printable(path);
        if (!std::binary_search(frames.begin(), frames.end(), frame)) {
            std::printf("%s is complete, skipped\n", label.c_str());
            continue;
        }
        // Each frame's path and size checked again just before its render: a
        // path become unwritable since the start, or an image too large for
        // what the loaded scene leaves of the memory, fails before its work.
        if (!video) {
            check_writable(path);
            check_frame_fits(plan, source.settings);
        }
        RenderSettings settings = source.settings;
        RenderStats stats;
        const Film film = saying_out_of_memory(label + ": rendering", [&] {
            return render_frame(source, plan, frame, rendered++, frames.size(), settings, stats);
        });
        tbb::task_group_context* group = source.control.group;
        if (group && group->is_group_execution_cancelled())
            throw std::runtime_error("the render of " + path + " was stopped");
        if (video) {
            video->add(film.beauty);
        } else {
            // The file's hidden temporary made only now, so that a process
            // killed while it renders (SIGKILL) leaves none behind.
            const std::vector<uint8_t> bytes =
                saying_out_of_memory(label + ": encoding the " + size_of(film) + " image as " +
                                         (plan.format == ImageFormat::png ? "PNG" : "OpenEXR"),
                                     [&] { return encode_image(film, plan.format); });
            OutputFile(path).commit(bytes);
        }
        if (source.written)
            source.written(film);
        std::printf("%s: %s, %s, %s, %.2f s, %llu shading calls, %.2f Mrays/s\n", label.c_str(),
                    size_of(film).c_str(), samples_text(settings, stats, film).c_str(),
                    count_text(size_t(stats.threads), "thread").c_str(), stats.seconds,
                    static_cast<unsigned long long>(stats.shader_calls),
                    stats.seconds > 0.0 ? double(stats.rays) / stats.seconds * 1e-6 : 0.0);
        flush_standard_output(); // a line as each frame is done, into a log file too
        warn_unsound(label, stats);
        warn_cut_off(label, stats);
    }
    if (video) {
        video->finish();
        std::printf("%s\n", video->summary().c_str());
    }
    if (!plan.sequence())
        return;
    const int skipped = plan.range.last - plan.range.first + 1 - int(frames.size());
    std::printf("frames %d-%d of %d: ", plan.range.first, plan.range.last, plan.turntable);
    if (!frames.empty()) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%zu rendered in %.2f s (%.2f s a frame), ", frames.size(), seconds,
                    seconds / double(frames.size()));
    }
    std::printf("%d skipped\n", skipped);
}

} // namespace xr
