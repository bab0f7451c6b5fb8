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
#include "batch.h"

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
    const std::vector<std::vector<sample>> samples = time_in_turns(dir, commands, runs);
    std::printf("%d sites x %d years of %s lines, %d runs each, taken in turns\n", sites, years,
                shape.c_str(), runs);
    print_header();
    double base_wall = 0;
    for (size_t c = 0; c < commands.size(); ++c)
        base_wall = print_row(commands[c].first, samples[c], c == 0 ? 0 : base_wall);
    fs::remove_all(dir);
    return 0;
}
