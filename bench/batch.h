// The batch the whole-run benchmarks time: sites of years of daily lines
// of a shape with their site files and list; and the median of samples.
#pragma once

#include "child_run.h"
#include "shapes.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// SITES sites of YEARS years of daily lines of a shape, in dir.
inline void make_batch(const std::filesystem::path &dir, int sites, int years, int extra_lines,
                       const std::string &shape) {
    std::filesystem::create_directories(dir);
    std::string list;
    noise_source noise{12345};
    size_t lines = 0;
    for (int s = 0; s < sites; ++s) {
        const std::string name = "site" + std::to_string(s);
        list += name + " 40.5 -104.2 0.5 0.3 0.2 1.3 0.5 5 1500\n";
        std::string sfp = "Site " + name + "\nClimate\n";
        for (int i = 0; i < 60; ++i)
            sfp += "0.0000            'OLD'\n";
        for (int i = 0; i < extra_lines; ++i) // the rest of a real parameter file
            sfp += "0.5               'PARAM" + std::to_string(i) + "'\n";
        sfp += "0.0 'SITLAT'\n0.0 'SITLNG'\n0.0 'NLAYER'\n0.0 'NLAYPG'\n0.0 'ELEV'\n";
        write_file(dir / (name + ".wth"), daily_text(shape, years, noise, lines));
        write_file(dir / (name + ".sfp"), sfp);
    }
    write_file(dir / "sites.txt", list);
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Runs the commands in dir in turns, runs times each after one run of
// each to warm the page cache: each command's samples. before(c), when
// given, is called before each run of command c, outside its time.
using named_command = std::pair<std::string, std::vector<std::string>>;
inline std::vector<std::vector<sample>>
time_in_turns(const std::filesystem::path &dir, const std::vector<named_command> &commands,
              int runs, const std::function<void(size_t)> &before = {}) {
    const auto run = [&](size_t c) {
        if (before)
            before(c);
        return run_once(dir, commands[c].second);
    };
    for (size_t c = 0; c < commands.size(); ++c)
        run(c);
    std::vector<std::vector<sample>> samples(commands.size());
    for (int r = 0; r < runs; ++r)
        for (size_t c = 0; c < commands.size(); ++c)
            samples[c].push_back(run(c));
    return samples;
}

// The ratios of a's runs to b's, run by run (taken in turns, so that the
// machine's drift cancels): the median wall and CPU ratios with their
// ranges.
inline void print_paired(const std::string &name, const std::vector<sample> &a,
                         const std::vector<sample> &b) {
    std::vector<double> wall, cpu;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        wall.push_back(a[i].wall_ms / b[i].wall_ms);
        cpu.push_back(a[i].cpu_ms / b[i].cpu_ms);
    }
    std::printf("%-20s wall %5.2f (%4.2f-%4.2f)   CPU %5.2f (%4.2f-%4.2f)\n", name.c_str(),
                median(wall), *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), median(cpu),
                *std::min_element(cpu.begin(), cpu.end()),
                *std::max_element(cpu.begin(), cpu.end()));
}

inline void print_header() {
    std::printf("%-20s %10s %17s %9s %9s %9s %8s\n", "", "wall ms", "(min-max)", "CPU ms", "sys ms",
                "peak KB", "ratio");
}

// A command's row: the medians of its samples, the range of its wall
// times, its peak memory and its median wall time against base_wall (0:
// it is the base). Its median wall time, or base_wall.
inline double print_row(const std::string &name, const std::vector<sample> &samples,
                        double base_wall) {
    std::vector<double> wall, cpu, sys, rss;
    for (const sample &s : samples) {
        wall.push_back(s.wall_ms);
        cpu.push_back(s.cpu_ms);
        sys.push_back(s.sys_ms);
        rss.push_back(static_cast<double>(s.max_rss_kb));
    }
    const double base = base_wall > 0 ? base_wall : median(wall);
    std::printf("%-20s %10.1f %8.1f-%-8.1f %9.1f %9.1f %9.0f %8.2f\n", name.c_str(), median(wall),
                *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), median(cpu), median(sys),
                *std::max_element(rss.begin(), rss.end()), median(wall) / base);
    return base;
}
