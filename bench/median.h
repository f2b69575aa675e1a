// The median of a benchmark's repetitions: the usual figure, as a run in which
// another process took a core is an outlier rather than a measure.
#pragma once

#include <algorithm>
#include <vector>

// Of an even count, the mean of the middle two.
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}
