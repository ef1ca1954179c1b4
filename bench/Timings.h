#pragma once

#include <algorithm>
#include <vector>

// The spread of repeated timings: the median (the mean of the middle two for
// an even count), the least and the most; all 0 when there are none.
struct Timings {
    double median = 0, min = 0, max = 0;

    explicit Timings(std::vector<double> v)
    {
        if (v.empty())
            return;
        std::sort(v.begin(), v.end());
        median = (v[v.size() / 2] + v[(v.size() - 1) / 2]) / 2;
        min = v.front();
        max = v.back();
    }
};
