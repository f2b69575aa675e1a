#include "render/output/output_plan.h"

#include <stdexcept>

namespace xr {

OutputPlan plan_output(const Options& o, int turntable) {
    OutputPlan plan;
    plan.format = format_for(o.out);
    plan.out = o.out;
    plan.turntable = turntable;
    if (!plan.sequence()) {
        if (o.frames)
            throw std::runtime_error("--frames: there is no sequence of frames to choose from "
                                     "(--turntable N)");
        if (o.out.find('#') != std::string::npos)
            throw std::runtime_error("--out " + o.out + ": hashes stand for the frame number " +
                                     "of a sequence, and this is a still (--turntable N)");
        return plan;
    }
    try {
        check_frame_pattern(o.out);
    } catch (const std::runtime_error& e) {
        throw std::runtime_error("--out " + o.out + ": " + e.what());
    }
    plan.range = o.frames.value_or(FrameRange{1, turntable});
    if (plan.range.last > turntable)
        throw std::runtime_error("--frames " + std::to_string(plan.range.first) + "-" +
                                 std::to_string(plan.range.last) +
                                 ": the turntable's frames are 1 to " + std::to_string(turntable));
    return plan;
}

} // namespace xr
