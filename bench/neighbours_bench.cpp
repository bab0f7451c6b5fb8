// What the check's comparison of each site with its neighbours costs as
// the batch grows: the k-d tree, every site's five nearest and their
// medians, over sites scattered on a smooth field the size of a continent
// (the conterminous United States' box), with a few planted errors.
//
// usage: neighbours_bench [RUNS]   (medians with min-max of RUNS runs, 7 by default)
#include "neighbours.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

std::vector<neighbour_input> field(int n) {
    std::mt19937 random(static_cast<unsigned>(n));
    std::uniform_real_distribution<double> lat(25, 49), lon(-125, -67);
    std::vector<neighbour_input> sites(static_cast<size_t>(n));
    for (size_t i = 0; i < sites.size(); ++i) {
        neighbour_input &s = sites[i];
        s.latitude = lat(random);
        s.longitude = lon(random);
        s.elevation = 200 + 750 * (1 + std::sin(s.longitude / 3) * std::cos(s.latitude / 2));
        s.precipitation = 30 + 1.5 * (s.longitude + 125) + 0.02 * s.elevation;
        s.temperature = 20 - 0.8 * (s.latitude - 25) - lapse_rate * s.elevation;
        if (i % 997 == 0)
            s.precipitation *= 10;
    }
    return sites;
}

} // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    std::printf("%8s %10s %22s %12s %8s\n", "sites", "median ms", "min-max ms", "us a site",
                "flagged");
    for (const int n : {1000, 10000, 100000}) {
        const std::vector<neighbour_input> sites = field(n);
        std::vector<double> ms;
        long flagged = 0;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const std::vector<neighbour_result> found = compare_neighbours(sites, {});
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
            flagged = std::count_if(found.begin(), found.end(),
                                    [](const neighbour_result &x) { return x.flagged(); });
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%8d %10.2f %10.2f-%-11.2f %12.2f %8ld\n", n, ms[ms.size() / 2], ms.front(),
                    ms.back(), 1000 * ms[ms.size() / 2] / n, flagged);
    }
    return 0;
}
