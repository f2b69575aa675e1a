// Division by a number fixed ahead of time, as a product where that gives the
// same float. The reciprocal of a power of two is exact, so x * (1 / d) is the
// same real number as x / d and rounds alike; a multiplication costs a
// fraction of a division. Any other divisor divides, as does a power of two
// too small for its reciprocal to be a float.
#pragma once

#include <cmath>

namespace xr {

class Divisor {
  public:
    explicit Divisor(float d)
        : d_(d), reciprocal_(1.0f / d), exact_(power_of_two(d) && std::isfinite(reciprocal_)) {}

    // x / d, for a float or for lanes of them.
    template <class T> T divide(T x) const { return exact_ ? x * reciprocal_ : x / d_; }

  private:
    static bool power_of_two(float d) {
        int exponent = 0;
        return d > 0.0f && std::isfinite(d) && std::frexp(d, &exponent) == 0.5f;
    }

    float d_, reciprocal_;
    bool exact_;
};

} // namespace xr
