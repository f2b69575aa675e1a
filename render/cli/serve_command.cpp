#include "render/cli/serve_command.h"

#include "render/output/frame_sequence.h"
#include "render/output/frame_writer.h"
#include "render/output/output_file.h"
#include "render/serve/preview_server.h"
#include "render/setup/scene_builder.h"
#include "render/shader_library.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <pthread.h>
#include <thread>

namespace xr {

namespace {

// Where Save writes when not told: beside the image, named as it is, or as
// its sequence is.
std::string scene_file_for(const Options& options) {
    if (!options.serve->save.empty())
        return options.serve->save;
    return std::filesystem::path(sequence_name(options.out)).replace_extension(".json").string();
}

std::string url(const std::string& address, int port) {
    const bool v6 = address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + "/";
}

} // namespace

int serve(const Options& options) {
    const ServeOptions& o = *options.serve;
    // Ctrl-C and SIGTERM stop the server in order, cancelling a Render in
    // flight, rather than end the program at once. Blocked before any thread
    // starts, so that every thread inherits the mask and only `stopper` sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    SceneDescription description = describe(options);
    ServedScene served;
    served.title = description.source;
    // Render writes what the command line would write: refused now, like there.
    served.image = plan_output(options, description.camera.turntable);
    check_image_fits(description.settings, options.passes, served.image.format);
    served.image.out = std::filesystem::absolute(served.image.out).string();
    served.passes = options.passes;
    served.scene_file = std::filesystem::absolute(scene_file_for(options)).string();
    for (const std::string& file : {served.image.path(served.image.range.first), served.scene_file})
        OutputFile probe(file);
    const ShaderLibrary library(options.shader.empty() ? default_shader_path() : options.shader);
    std::vector<Part> parts = load_parts(description);

    EventHub events;
    PreviewWorker worker(std::move(description), std::move(parts), library.shader(), served,
                         events);
    PreviewServer server(worker, events);
    const int port = server.bind(o.bind, o.port);
    std::printf("xray-render: serving %s at %s\n", served.title.c_str(), url(o.bind, port).c_str());
    if (o.bind != "127.0.0.1" && o.bind != "::1" && o.bind != "localhost")
        std::printf("xray-render: listening on %s: whoever reaches it can change the scene and "
                    "write %s and %s\n",
                    o.bind.c_str(), served.image.out.c_str(), served.scene_file.c_str());
    std::printf("Render writes %s, Save writes %s; Ctrl-C stops.\n", served.image.out.c_str(),
                served.scene_file.c_str());
    std::fflush(stdout);

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stop_signals, &signal);
        worker.stop();
        server.stop();
    });
    std::string failure;
    try {
        server.listen();
    } catch (const std::runtime_error& e) {
        failure = e.what();
    }
    // Ended by a signal, or else by a failure: then wake the stopper.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    if (!failure.empty())
        throw std::runtime_error(failure);
    std::printf("xray-render: stopped\n");
    return 0;
}

} // namespace xr
