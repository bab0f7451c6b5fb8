// What the options for gaps cost, as whole runs taken in turns: a run with
// --completeness wmo --monthly against the plain run on the same batch
// (the daily-reader benchmark's 20 sites of 100 years by default), and
// the fill of a daily file of YEARS years from three donors.
//
// usage: gaps_run SITEPREP SITEPREP_IMPORT [SITES YEARS [RUNS]]
#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A target of years from 1900 with every 11th day's values and every
// 50th month missing, and three donors that are it off by a bias and a
// ratio of their own, each with gaps of its own.
void make_fill_batch(const fs::path &dir, int years) {
    fs::create_directories(dir);
    noise_source noise{777};
    std::string files[4];
    static const int days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long day = 0;
    for (int y = 0; y < years; ++y) {
        int doy = 0;
        for (int m = 0; m < 12; ++m)
            for (int d = 1; d <= days_in_month[m]; ++d, ++day) {
                const double t = 10 + noise.next(), p = noise.next() > 6 ? noise.next() / 5 : 0;
                const bool gap = day % 11 == 5 || (y * 12 + m) % 50 == 7;
                ++doy;
                for (int k = 0; k < 4; ++k) {
                    char line[128];
                    if (k == 0 ? gap : (day + k) % 97 == 0)
                        std::snprintf(line, sizeof line, "%d %d %d %d -99.99 -99.99 -99.99\n", d,
                                      m + 1, 1900 + y, doy);
                    else
                        std::snprintf(line, sizeof line, "%d %d %d %d %.1f %.1f %.2f\n", d, m + 1,
                                      1900 + y, doy, t + 0.5 * k, t - 8 + 0.5 * k,
                                      p * (1 + 0.1 * k));
                    files[k] += line;
                }
            }
    }
    write_file(dir / "target.wth", files[0]);
    for (int k = 1; k < 4; ++k)
        write_file(dir / ("donor" + std::to_string(k) + ".wth"), files[k]);
}

// Puts a file's data on the disk, if there is such a file.
void sync_file(const fs::path &path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Makes a batch in a child, so that this process stays small: a forked
// run's peak memory counts what it had before its exec.
template <class Make> void make_in_child(Make make) {
    if (const pid_t maker = fork(); maker == 0) {
        make();
        _exit(0);
    } else {
        waitpid(maker, nullptr, 0);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gaps_run SITEPREP SITEPREP_IMPORT [SITES YEARS [RUNS]]\n");
        return 2;
    }
    const std::string siteprep = fs::absolute(argv[1]), import = fs::absolute(argv[2]);
    const int sites = argc > 4 ? std::atoi(argv[3]) : 20;
    const int years = argc > 4 ? std::atoi(argv[4]) : 100;
    const int runs = argc > 5 ? std::atoi(argv[5]) : 15;
    const fs::path dir = fs::temp_directory_path() / ("siteprep-gaps-" + std::to_string(getpid()));
    make_in_child([&] { make_batch(dir / "batch", sites, years, 0, "compact"); });
    const std::vector<named_command> runs_of = {
        {"plain", {siteprep, "sites.txt"}},
        {"wmo + monthly", {siteprep, "--completeness", "wmo", "--monthly", "m.csv", "sites.txt"}},
        {"wmo + synced monthly",
         {siteprep, "--completeness", "wmo", "--monthly", "synced.csv", "sites.txt"}},
        {"wmo + new monthly",
         {siteprep, "--completeness", "wmo", "--monthly", "new.csv", "sites.txt"}},
        {"plain --check", {siteprep, "--check", "sites.txt"}},
        {"wmo + monthly check",
         {siteprep, "--check", "--completeness", "wmo", "--monthly", "m.csv", "sites.txt"}}};
    // m.csv replaces the table its previous run wrote a moment before;
    // synced.csv one that is on the disk (synced before each run, outside
    // its time), as a table from an earlier day would be; new.csv is
    // removed before each run, a table written where there was none. The
    // file system frees the old table's blocks within the rename.
    const std::vector<std::vector<sample>> run_samples =
        time_in_turns(dir / "batch", runs_of, runs, [&](size_t c) {
            if (c == 2)
                sync_file(dir / "batch" / "synced.csv");
            if (c == 3)
                fs::remove(dir / "batch" / "new.csv");
        });
    std::printf("%d sites x %d years, %d runs each, taken in turns\n", sites, years, runs);
    print_header();
    const double plain = print_row(runs_of[0].first, run_samples[0], 0);
    for (size_t c = 1; c <= 3; ++c)
        print_row(runs_of[c].first, run_samples[c], plain);
    const double check = print_row(runs_of[4].first, run_samples[4], 0);
    print_row(runs_of[5].first, run_samples[5], check);
    std::printf("\nrun by run, against the plain run or check before it\n");
    for (size_t c = 1; c <= 3; ++c)
        print_paired(runs_of[c].first, run_samples[c], run_samples[0]);
    print_paired(runs_of[5].first, run_samples[5], run_samples[4]);

    make_in_child([&] { make_fill_batch(dir / "fill", years); });
    const std::vector<named_command> fills = {
        {"fill from 3 donors",
         {import, "fill", "target.wth", "--donor", "donor1.wth", "--donor", "donor2.wth", "--donor",
          "donor3.wth", "-o", "out", "--force"}}};
    const std::vector<std::vector<sample>> fill_samples = time_in_turns(dir / "fill", fills, runs);
    std::printf("\nthe fill of %d years from 3 donors, %d runs\n", years, runs);
    print_header();
    print_row(fills[0].first, fill_samples[0], 0);
    fs::remove_all(dir);
    return 0;
}
