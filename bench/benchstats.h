#pragma once
// The median and range of a set of measurements (times, or ratios taken one per round).

#include <algorithm>
#include <cmath>
#include <vector>

struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

inline Spread spreadOf(std::vector<double> values) {
    if (values.empty())
        return {std::nan(""), std::nan(""), std::nan("")};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}
