// How a run grows with its list: many small sites (one year each), the
// whole list and its first tenth (--part 1/10), time per site and peak
// memory, so that a user can size the tasks of a job array.
//
// usage: scale SITEPREP SITES [RUNS]
// The sites' daily files are hard links to one file (the run reads each as
// its own, 50,000 to a file); their site files are their own. Medians of RUNS runs.
#include "child_run.h"
#include "shapes.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

void make_batch(const fs::path &dir, int sites) {
    fs::create_directories(dir / "data");
    noise_source noise{777};
    size_t lines = 0;
    const std::string wth = daily_text("compact", 1, noise, lines);
    std::string sfp = "Site\nClimate\n";
    for (int i = 0; i < 60; ++i)
        sfp += "0.0000            'OLD'\n";
    sfp += "0.0 'SITLAT'\n0.0 'SITLNG'\n0.0 'NLAYER'\n0.0 'NLAYPG'\n0.0 'ELEV'\n";
    std::string list;
    for (int s = 0; s < sites; ++s) {
        const std::string name = "data/site" + std::to_string(s);
        list += name + " 40.5 -104.2 0.5 0.3 0.2 1.3 0.5 5 1500\n";
        write_file(dir / (name + ".sfp"), sfp);
        // A file system allows some 65,000 links to a file.
        const fs::path master = dir / ("one" + std::to_string(s / 50000) + ".wth");
        if (s % 50000 == 0)
            write_file(master, wth);
        fs::create_hard_link(master, dir / (name + ".wth"));
    }
    write_file(dir / "sites.txt", list);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: scale SITEPREP SITES [RUNS]\n");
        return 2;
    }
    const std::string program = fs::absolute(argv[1]);
    const int sites = std::atoi(argv[2]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const fs::path dir = fs::temp_directory_path() / ("siteprep-scale-" + std::to_string(getpid()));
    // Made in a child, so that this process stays small for the runs' peaks.
    if (const pid_t maker = fork(); maker == 0) {
        make_batch(dir, sites);
        _exit(0);
    } else {
        waitpid(maker, nullptr, 0);
    }
    const struct {
        const char *what;
        std::vector<std::string> command;
        int sites;
    } commands[] = {
        {"whole list", {program, "--no-progress", "sites.txt"}, sites},
        {"--part 1/10", {program, "--no-progress", "--part", "1/10", "sites.txt"}, sites / 10}};
    std::printf("%d sites of one year, medians of %d runs\n%-12s %10s %14s %10s\n", sites, runs, "",
                "seconds", "s/1000 sites", "peak KB");
    long peaks[2] = {0, 0};
    int k = 0;
    for (const auto &c : commands) {
        std::vector<double> seconds;
        long peak = 0;
        run_once(dir, c.command); // warms the page cache
        for (int r = 0; r < runs; ++r) {
            const sample s = run_once(dir, c.command);
            seconds.push_back(s.wall_ms / 1000.0);
            peak = std::max(peak, s.max_rss_kb);
        }
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        std::printf("%-12s %10.2f %14.3f %10ld\n", c.what, median, median * 1000.0 / c.sites, peak);
        peaks[k++] = peak;
    }
    // What a site adds: the whole list's peak less its tenth's.
    std::printf("memory a site: %.0f bytes\n",
                static_cast<double>(peaks[0] - peaks[1]) * 1024.0 / (sites - sites / 10));
    fs::remove_all(dir);
    return 0;
}
