#include "render/cli/serve_command.h"

#include "render/cli/option_values.h"
#include "render/cli/preflight.h"
#include "render/output/frame_sequence.h"
#include "render/output/output_file.h"
#include "render/serve/preview_server.h"
#include "render/util/interrupt.h"
#include "render/util/standard_output.h"
#include "render/util/text.h"

#include <cstdio>
#include <exception>
#include <filesystem>

namespace xr {

namespace {

// Where Save writes when not told: beside the image, named as it is, or as
// its sequence is.
std::string scene_file_for(const RenderOptions& render, const ServeOptions& serve) {
    if (!serve.save.empty())
        return serve.save;
    return std::filesystem::path(sequence_name(render.output.out))
        .replace_extension(".json")
        .string();
}

std::string url(const std::string& address, int port) {
    const bool v6 = address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + "/";
}

} // namespace

CLI::App* add_serve_command(CLI::App& app, ServeOptions& o) {
    CLI::App* command = app.add_subcommand(
        "serve", "Serves a web page for look development instead: the materials' controls beside "
                 "a picture that refines while you watch. Takes the options of a render too (see "
                 "xray-render --help); the page's Render writes --out.");
    command->fallthrough();
    command->add_option("--port", o.port, "port to listen on; 0 picks a free one")
        ->capture_default_str()
        ->check(whole_number_within(0, 65535));
    command
        ->add_option("--bind", o.bind,
                     "address to listen on; any other than 127.0.0.1 lets whoever reaches it "
                     "change the scene and write the files")
        ->capture_default_str()
        ->check(not_empty("address"));
    command
        ->add_option("--connections", o.connections,
                     "connections served at once, a thread each: up to half of them pages "
                     "listening, a quarter clients slow to send their requests")
        ->capture_default_str()
        ->check(whole_number_within(8, 1024));
    command
        ->add_option("--save", o.save,
                     "scene file the page's Save writes (default: --out as .json, less a "
                     "sequence's frame number)")
        ->check(a_file_name());
    return command;
}

void serve_command(const RenderOptions& options, const ServeOptions& o) {
    // Ctrl-C, SIGTERM and SIGHUP stop the server in order, cancelling a Render
    // in flight; while the scene loads, or again while it stops, they end the
    // program at once. Made before any thread starts, which inherits its mask.
    OrderlyStop stop;

    // Render writes what the command line would write: refused now, like there.
    const std::string scene_file = std::filesystem::absolute(scene_file_for(options, o)).string();
    if (o.save.empty()) {
        // Save's default is a file beside the image, which a device has not.
        std::error_code error;
        const auto out = std::filesystem::status(options.output.out, error).type();
        if (!error && (out == std::filesystem::file_type::character ||
                       out == std::filesystem::file_type::block))
            throw std::runtime_error("--out " + options.output.out +
                                     ": a device, beside which the page's Save cannot write "
                                     "the scene; give --save");
        if (same_file(scene_file, options.output.out))
            throw std::runtime_error("--out " + options.output.out +
                                     ": the page's Save would write the scene there too (--save "
                                     "is --out with .json unless given)");
    }
    Preflight p = preflight(options, false, {scene_file});
    // A pipe would hold the worker, and the server's stop, until a reader came.
    check_not_a_pipe(scene_file);
    for (int frame : p.frames)
        check_not_a_pipe(p.plan.path(frame));
    ServedScene served;
    served.title = p.description.source;
    served.image = p.plan;
    served.image.out = std::filesystem::absolute(served.image.out).string();
    served.scene_file = scene_file;

    EventHub events;
    PreviewWorker worker(std::move(p.description), std::move(p.parts), p.library->shader(), served,
                         events);
    PreviewServer server(worker, events, o.connections);
    const int port = server.bind(o.bind, o.port);
    std::printf("xray-render: serving %s at %s\n", served.title.c_str(), url(o.bind, port).c_str());
    if (o.bind != "127.0.0.1" && o.bind != "::1" && o.bind != "localhost")
        std::printf("xray-render: listening on %s: whoever reaches it can change the scene and "
                    "write %s and %s\n",
                    o.bind.c_str(), printable(served.image.out).c_str(),
                    printable(served.scene_file).c_str());
    std::printf("Render writes %s, Save writes %s; Ctrl-C stops.\n",
                printable(served.image.out).c_str(), printable(served.scene_file).c_str());
    flush_standard_output();

    stop.on_first([&] {
        worker.stop();
        server.stop();
    });
    std::exception_ptr failure;
    try {
        server.listen();
    } catch (...) {
        failure = std::current_exception();
    }
    // Ended by a signal, or else by a failure of any kind; the worker and the
    // server outlive what stops them.
    stop.finish();
    if (failure)
        std::rethrow_exception(failure);
    std::printf("xray-render: stopped\n");
}

} // namespace xr
