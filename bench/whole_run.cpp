// Whole runs of a batch, the baseline binary against the new one taken in
// turns, as a user runs them: wall time, CPU and system time, peak memory.
//
// usage: whole_run BASELINE NEW [SITES YEARS [RUNS [LINES [SHAPE]]]]
// LINES more parameter lines in each site file (0: the daily-reader
// benchmark's 1.6 KB site files; 100 makes them 5 KB). SHAPE is the daily
// lines' shape: compact (the default), real, varied, fixed, ten (with the
// three optional columns) or layouts (field widths that change from line to line).
// Each run starts from the same generated batch, after one run of each on
// a copy, whose files are compared; NEW is run with --jobs 1, with its
// default, and as --check.
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

// SITES sites of YEARS years of daily lines of a shape, in dir.
void make_batch(const fs::path &dir, int sites, int years, int extra_lines,
                const std::string &shape) {
    fs::create_directories(dir);
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

// Every file below dir, by relative path.
std::vector<std::pair<std::string, std::string>> files_of(const fs::path &dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file())
            continue;
        FILE *f = std::fopen(entry.path().c_str(), "r");
        std::string text;
        char buffer[65536];
        for (size_t n; f != nullptr && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        if (f != nullptr)
            std::fclose(f);
        files.emplace_back(fs::relative(entry.path(), dir).string(), std::move(text));
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs both programs once on copies of the batch: whether they leave the
// same files, to the byte. The files are read in a child process, so that
// this process stays small for the peak memory of the runs it forks.
bool same_outputs(const fs::path &dir, const std::string &baseline, const std::string &fresh) {
    const pid_t pid = fork();
    if (pid != 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    std::vector<std::vector<std::pair<std::string, std::string>>> results;
    for (const std::string &program : {baseline, fresh}) {
        const fs::path copy = dir.string() + "-compare";
        fs::remove_all(copy);
        fs::copy(dir, copy, fs::copy_options::recursive);
        run_once(copy, {program, "sites.txt"});
        results.push_back(files_of(copy));
        fs::remove_all(copy);
    }
    _exit(results[0] == results[1] ? 0 : 1);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: whole_run BASELINE NEW [SITES YEARS [RUNS [LINES [SHAPE]]]]\n");
        return 2;
    }
    const std::string baseline = fs::absolute(argv[1]), fresh = fs::absolute(argv[2]);
    const int sites = argc > 4 ? std::atoi(argv[3]) : 20;
    const int years = argc > 4 ? std::atoi(argv[4]) : 100;
    const int runs = argc > 5 ? std::atoi(argv[5]) : 9;
    const int extra_lines = argc > 6 ? std::atoi(argv[6]) : 0;
    const std::string shape = argc > 7 ? argv[7] : "compact";
    const fs::path dir = fs::temp_directory_path() / ("siteprep-whole-" + std::to_string(getpid()));
    // Made in a child, so that this process stays small: a forked run's peak
    // memory counts what it had before its exec.
    if (const pid_t maker = fork(); maker == 0) {
        make_batch(dir, sites, years, extra_lines, shape);
        _exit(0);
    } else {
        waitpid(maker, nullptr, 0);
    }
    if (!same_outputs(dir, baseline, fresh))
        std::printf("note: the baseline's files differ from the new build's\n");
    const std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {"baseline", {baseline, "sites.txt"}},
        {"new --jobs 1", {fresh, "--jobs", "1", "sites.txt"}},
        {"new (default jobs)", {fresh, "sites.txt"}},
        {"new --check", {fresh, "--check", "sites.txt"}}};
    // One run of each first, to warm the page cache.
    for (const auto &c : commands)
        run_once(dir, c.second);
    std::vector<std::vector<sample>> samples(commands.size());
    for (int r = 0; r < runs; ++r)
        for (size_t c = 0; c < commands.size(); ++c)
            samples[c].push_back(run_once(dir, commands[c].second));
    std::printf("%d sites x %d years of %s lines, %d runs each, taken in turns\n", sites, years,
                shape.c_str(), runs);
    std::printf("%-20s %10s %17s %9s %9s %9s %8s\n", "", "wall ms", "(min-max)", "CPU ms", "sys ms",
                "peak KB", "ratio");
    double base_wall = 0;
    for (size_t c = 0; c < commands.size(); ++c) {
        std::vector<double> wall, cpu, sys, rss;
        for (const sample &s : samples[c]) {
            wall.push_back(s.wall_ms);
            cpu.push_back(s.cpu_ms);
            sys.push_back(s.sys_ms);
            rss.push_back(static_cast<double>(s.max_rss_kb));
        }
        if (c == 0)
            base_wall = median(wall);
        std::printf("%-20s %10.1f %8.1f-%-8.1f %9.1f %9.1f %9.0f %8.2f\n",
                    commands[c].first.c_str(), median(wall),
                    *std::min_element(wall.begin(), wall.end()),
                    *std::max_element(wall.begin(), wall.end()), median(cpu), median(sys),
                    *std::max_element(rss.begin(), rss.end()), median(wall) / base_wall);
    }
    fs::remove_all(dir);
    return 0;
}
