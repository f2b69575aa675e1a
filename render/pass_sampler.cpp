#include "render/pass_sampler.h"

#include "render/host_operations.h"
#include "render/image/passes.h"
#include "render/matte.h"

#include <cmath>

namespace xr {

namespace {

// The values of the film's channel k of the pass, or null when it has none.
float* channel(Film& film, Pass pass, size_t k) {
    for (const PassLayout& layout : pass_layouts)
        if (layout.pass == pass)
            for (FilmChannel& c : film.channels)
                if (c.name == layout.channels[k])
                    return c.values.data();
    return nullptr;
}

// A parameter of the x-ray material as its shader sees it: connected ones
// through the host's own evaluation.
template <class T> T resolved(HostState& s, const T* param) {
    const void* value = mi_phen_eval(render_state(&s), const_cast<T*>(param));
    return *static_cast<const T*>(value ? value : param);
}

const XrayParams& xray_params(const HostState& s) {
    return *s.material->block().params();
}

Vec3 albedo(const Scene& scene, HostState& s) {
    if (s.material->kind() == Material::Kind::matte)
        return matte_albedo(scene, s);
    return rgb(resolved(s, &xray_params(s).color));
}

// The shader's weight of what lies behind; opaque surfaces show nothing of it.
float see_through_weight(HostState& s) {
    if (s.material->kind() == Material::Kind::matte)
        return 0.0f;
    const XrayParams& params = xray_params(s);
    const float t = powf(std::fabs(s.facing), resolved(s, &params.power));
    return resolved(s, &params.invert) ? 1.0f - t : t;
}

} // namespace

PassSampler::PassSampler(Film& film)
    : depth_(channel(film, Pass::depth, 0)), normal_{channel(film, Pass::normal, 0),
                                                     channel(film, Pass::normal, 1),
                                                     channel(film, Pass::normal, 2)},
      albedo_{channel(film, Pass::albedo, 0), channel(film, Pass::albedo, 1),
              channel(film, Pass::albedo, 2)},
      xray_(channel(film, Pass::xray, 0)), id_(channel(film, Pass::id, 0)),
      samples_(channel(film, Pass::samples, 0)) {}

void PassSampler::add(ThreadContext& context, HostState* s, Pixel& p) const {
    const uint32_t part = s ? context.scene.objects()[s->object].part : 0;
    if (id_) {
        auto vote = p.votes.begin();
        while (vote != p.votes.end() && vote->first != part)
            ++vote;
        if (vote == p.votes.end())
            p.votes.push_back({part, 1});
        else
            ++vote->second;
    }
    if (!s)
        return;
    if (depth_) {
        p.depth_sum += length(Vec3(s->point) - context.scene.camera.eye);
        ++p.hits;
    }
    if (normal_[0])
        p.normal_sum += Vec3(s->normal);
    if (albedo_[0])
        p.albedo_sum += albedo(context.scene, *s);
    if (xray_)
        p.xray_sum += see_through_weight(*s);
}

void PassSampler::store(size_t i, int samples, Pixel& p) const {
    const float n = 1.0f / float(samples);
    if (depth_)
        depth_[i] = p.hits ? p.depth_sum / float(p.hits) : INFINITY;
    for (int k = 0; k < 3; ++k) {
        if (normal_[k])
            normal_[k][i] = p.normal_sum[k] * n;
        if (albedo_[k])
            albedo_[k][i] = p.albedo_sum[k] * n;
    }
    if (xray_)
        xray_[i] = p.xray_sum * n;
    if (id_) {
        // Ties go to the smaller id.
        std::pair<uint32_t, int> most = p.votes.front();
        for (const auto& vote : p.votes)
            if (vote.second > most.second ||
                (vote.second == most.second && vote.first < most.first))
                most = vote;
        id_[i] = float(most.first);
    }
    if (samples_)
        samples_[i] = float(samples);
    p.clear();
}

} // namespace xr
