#pragma once
// A benchmark figure as the median of its rounds, with the spread (fastest
// and slowest round) of the figure and of its reference, printed as
//   bench: <name> <value> <unit> reference <value> <unit> ratio <value> ...
#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

struct Rounds {
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
    double median() const
    {
        if (values.empty()) return 0;
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
};

inline void report(const char *name, const Rounds &value, const Rounds &reference, const char *unit)
{
    const double v = value.median(), r = reference.median();
    std::printf("bench: %s %.3f %s reference %.3f %s ratio %.2f spread %.3f-%.3f reference-spread %.3f-%.3f "
                "rounds %zu\n",
                name, v, unit, r, unit, r > 0 ? v / r : 0.0, value.min(), value.max(), reference.min(),
                reference.max(), value.values.size());
    std::fflush(stdout);
}

} // namespace bench
