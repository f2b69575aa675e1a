#include "render/cli/compare_command.h"

#include "render/cli/option_values.h"
#include "render/image/image_compare.h"
#include "render/image/image_file.h"
#include "render/image/png_image.h"
#include "render/output/output_file.h"
#include "render/output/output_plan.h"
#include "render/util/system_memory.h"
#include "render/util/text.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace xr {

namespace {

const char* space_name(CompareSpace space) {
    return space == CompareSpace::linear ? "linear light, premultiplied"
                                         : "sRGB-encoded colour, straight alpha";
}

} // namespace

CLI::App* add_compare_command(CLI::App& app, CompareOptions& o) {
    CLI::App* command = app.add_subcommand(
        "compare", "Compares two images (PNG or OpenEXR) as an image test: exit status 0 when "
                   "they agree within the limits, 1 when they differ, 2 for bad input.");
    command->add_option("A", o.a, "the reference image")->required()->check(a_file_name());
    command->add_option("B", o.b, "the image to test")->required()->check(a_file_name());
    command
        ->add_option("--fail", o.fail,
                     "a pixel fails when one of its channels differs by more than this")
        ->capture_default_str()
        ->check(number_within(0.0f, INFINITY));
    command
        ->add_option("--fail-percent", o.fail_percent,
                     "the test fails when more than this percentage of pixels fail")
        ->capture_default_str()
        ->check(number_within(0.0f, 100.0f));
    command->add_option("--diff", o.diff, "write a heat map of the differences to this PNG")
        ->check(a_file_name());
    return command;
}

namespace {

// Compares the images, writing the heat map when their sizes agree.
bool compare_images(const CompareOptions& o) {
    const std::string a_name = printable(o.a), b_name = printable(o.b);
    ImageFile a = read_image(o.a, ImageChannels::beauty),
              b = read_image(o.b, ImageChannels::beauty);
    if (a.film.width() != b.film.width() || a.film.height() != b.film.height()) {
        std::printf("%s is %s, %s is %s\n", a_name.c_str(),
                    size_text(a.film.width(), a.film.height()).c_str(), b_name.c_str(),
                    size_text(b.film.width(), b.film.height()).c_str());
        if (!o.diff.empty())
            std::printf("  heat map         none (sizes differ)%s\n",
                        remove_regular_file(o.diff) ? ", the old one removed" : "");
        std::printf("FAIL\n");
        return false;
    }
    const int width = a.film.width(), height = a.film.height();
    // Converted in place: the films are held, not copies beside them.
    const CompareSpace space = compare_space(a.format, b.format);
    Image pa = in_space(std::move(a.film.beauty), a.format, space);
    const Image pb = in_space(std::move(b.film.beauty), b.format, space);
    const ImageDifference d = measure_difference(pa, pb, o.fail, space);
    const double percent = d.pixels ? 100.0 * double(d.over) / double(d.pixels) : 0.0;
    const bool pass = percent <= double(o.fail_percent);

    if (!o.diff.empty()) {
        // Made in the place of pa; its encoding takes about as much again:
        // its 8-bit copy, its filtered rows and their compressed copies.
        check_memory(double(width) * double(height) * double(sizeof(Color)),
                     "the heat map " + printable(o.diff) + " of " + size_text(width, height) +
                         " pixels");
        const std::vector<uint8_t> bytes = encode_png(heat_map(std::move(pa), pb));
        OutputFile(o.diff).commit(bytes);
    }

    std::printf("%s and %s: %s, compared in %s\n", a_name.c_str(), b_name.c_str(),
                size_text(width, height).c_str(), space_name(space));
    std::printf("  mean difference  %.6g\n", d.mean);
    std::printf("  max difference   %.6g at (%d, %d) in %c\n", double(d.max), d.max_x, d.max_y,
                "RGBA"[d.max_channel]);
    std::printf("  over %-11.6g %zu pixels (%.4g%%), %.4g%% allowed\n", double(o.fail), d.over,
                percent, double(o.fail_percent));
    if (!o.diff.empty())
        std::printf("  heat map         %s\n", printable(o.diff).c_str());
    std::printf("%s\n", pass ? "PASS" : "FAIL");
    return pass;
}

} // namespace

bool compare(const CompareOptions& o) {
    // A heat map named for another format, that would replace an image, or
    // that cannot be written fails before any work is done.
    if (!o.diff.empty()) {
        check_image_name(o.diff, ImageFormat::png, "the heat map --diff writes");
        check_not_an_input(o.diff, {o.a, o.b});
        check_writable(o.diff);
    }
    try {
        return compare_images(o);
    } catch (const std::exception&) {
        // An earlier run's heat map must not pass for this one's. The
        // comparison's own failure is the one to tell.
        try {
            if (!o.diff.empty())
                remove_regular_file(o.diff);
        } catch (const std::exception&) {
        }
        throw;
    }
}

} // namespace xr
