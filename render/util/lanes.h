// Four floats worked on at once, one sample each: IEEE arithmetic lane by
// lane, so each lane rounds as the same operation on one float does, and code
// written once for a float serves four of them.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace xr {

using Lanes = float __attribute__((vector_size(16)));
// The bits of four floats, unsigned so that arithmetic on them wraps.
// Comparing lanes gives a mask: all ones in each lane where it holds.
using LaneBits = uint32_t __attribute__((vector_size(16)));

inline Lanes broadcast(float x) {
    return Lanes{x, x, x, x};
}
inline Lanes load_lanes(const float* from) {
    Lanes lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}
inline void store_lanes(float* to, Lanes lanes) {
    std::memcpy(to, &lanes, sizeof lanes);
}

inline LaneBits bits_of(Lanes x) {
    LaneBits bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}
inline Lanes float_of(LaneBits bits) {
    Lanes x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// The square root of each lane, correctly rounded as std::sqrt's.
inline Lanes root(Lanes x) {
#if defined(__SSE__)
    return _mm_sqrt_ps(x);
#elif defined(__ARM_NEON)
    return vsqrtq_f32(x);
#else
    return Lanes{std::sqrt(x[0]), std::sqrt(x[1]), std::sqrt(x[2]), std::sqrt(x[3])};
#endif
}
inline float root(float x) {
    return std::sqrt(x);
}

} // namespace xr
