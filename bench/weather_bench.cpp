// Reading speed of the daily weather files and the whole tool's time for a
// batch: 20 sites with 100 years of daily lines each, generated once.
#include "daily_simd/daily_simd.h"
#include "shapes.h"
#include "wthr.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int site_count = 20;
constexpr int years = 100;

struct workload {
    std::string dir;
    std::vector<std::string> weather_files;
    size_t weather_bytes = 0;
    size_t weather_lines = 0;
    size_t input_bytes = 0; // everything the tool reads
};

const int days_in_month[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

workload make_workload() {
    workload w;
    char pattern[] = "/tmp/siteprep-bench-XXXXXX";
    w.dir = mkdtemp(pattern);
    std::string list;
    unsigned seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<float>((seed >> 16) % 1000) / 100.0f;
    };
    for (int s = 0; s < site_count; ++s) {
        std::string name = "site" + std::to_string(s);
        list += name + " 40.5 -104.2 0.5 0.3 0.2 1.3 0.5 5 1500\n";
        std::string sfp = "Site " + name + "\nClimate\n";
        for (int i = 0; i < 60; ++i)
            sfp += "0.0000            'OLD'\n";
        sfp += "0.0 'SITLAT'\n0.0 'SITLNG'\n0.0 'NLAYER'\n0.0 'NLAYPG'\n0.0 'ELEV'\n";
        std::string wth;
        for (int y = 0; y < years; ++y) {
            int doy = 0;
            for (int m = 0; m < 12; ++m) {
                for (int d = 1; d <= days_in_month[m]; ++d) {
                    char line[96];
                    int n = std::snprintf(
                        line, sizeof line, "%d %d %d %d %.1f %.1f %.2f\n", d, m + 1, 1900 + y,
                        ++doy, static_cast<double>(10.0f + noise()),
                        static_cast<double>(noise() - 5.0f), static_cast<double>(noise() / 10.0f));
                    wth.append(line, static_cast<size_t>(n));
                    ++w.weather_lines;
                }
            }
        }
        std::string wth_path = w.dir + "/" + name + ".wth";
        FILE *f = std::fopen(wth_path.c_str(), "w");
        std::fwrite(wth.data(), 1, wth.size(), f);
        std::fclose(f);
        f = std::fopen((w.dir + "/" + name + ".sfp").c_str(), "w");
        std::fwrite(sfp.data(), 1, sfp.size(), f);
        std::fclose(f);
        w.weather_files.push_back(wth_path);
        w.weather_bytes += wth.size();
        // The tool reads a site file twice (once per rewrite cycle).
        w.input_bytes += wth.size() + 2 * sfp.size();
    }
    FILE *f = std::fopen((w.dir + "/sites.txt").c_str(), "w");
    std::fwrite(list.data(), 1, list.size(), f);
    std::fclose(f);
    w.input_bytes += list.size();
    return w;
}

const workload &the_workload() {
    static workload w = make_workload();
    return w;
}

void report(benchmark::State &state, size_t bytes, size_t lines) {
    state.SetBytesProcessed(static_cast<int64_t>(static_cast<size_t>(state.iterations()) * bytes));
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(static_cast<size_t>(state.iterations()) * lines),
                           benchmark::Counter::kIsRate);
}

struct tables {
    month_table prec, tmin, tmax;
};

int read_tables(const std::string &path, tables &t, simd_level level = simd_level::avx512) {
    FILE *fp = std::fopen(path.c_str(), "r");
    daily_error err;
    daily_options how;
    how.simd = level;
    os::line_reader reader(fp, os::max_daily_line);
    const int last = process_daily_weather(reader, t.prec, t.tmin, t.tmax, err, how);
    std::fclose(fp);
    return last;
}

// Reads the files with the parser of a level (portable: the general parser
// alone, as every reader did before the vectorized one).
void read_files(benchmark::State &state, const std::vector<std::string> &files, size_t bytes,
                size_t lines, simd_level level = simd_level::avx512) {
    static tables t;
    for (auto _ : state)
        for (const std::string &path : files)
            benchmark::DoNotOptimize(read_tables(path, t, level));
    report(state, bytes, lines);
}

// 20 files of 100 years of one shape of daily lines.
struct shape_files {
    std::vector<std::string> paths;
    size_t bytes = 0, lines = 0;
};

shape_files make_shape_files(const std::string &shape) {
    shape_files files;
    noise_source noise{777};
    for (int s = 0; s < site_count; ++s) {
        const std::string wth = daily_text(shape, years, noise, files.lines);
        const std::string path = the_workload().dir + "/" + shape + std::to_string(s) + ".wth";
        FILE *f = std::fopen(path.c_str(), "w");
        std::fwrite(wth.data(), 1, wth.size(), f);
        std::fclose(f);
        files.paths.push_back(path);
        files.bytes += wth.size();
    }
    return files;
}

const shape_files &files_of_shape(const char *shape) {
    static std::vector<std::pair<std::string, shape_files>> made;
    for (const auto &m : made)
        if (m.first == shape)
            return m.second;
    made.emplace_back(shape, make_shape_files(shape));
    return made.back().second;
}

// The reader on each shape of daily lines, with each parser.
void BM_shape(benchmark::State &state, const char *shape, simd_level level) {
    const shape_files *files = &files_of_shape(shape);
    if (fast_daily_parser parser; parser.level < level) {
        state.SkipWithError("not on this CPU");
        return;
    }
    read_files(state, files->paths, files->bytes, files->lines, level);
    state.counters["ns/line"] = benchmark::Counter(
        static_cast<double>(static_cast<size_t>(state.iterations()) * files->lines),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_daily_reader(benchmark::State &state) {
    const workload &w = the_workload();
    read_files(state, w.weather_files, w.weather_bytes, w.weather_lines);
}

void BM_daily_reader_portable(benchmark::State &state) {
    const workload &w = the_workload();
    read_files(state, w.weather_files, w.weather_bytes, w.weather_lines, simd_level::portable);
}

// A file whose every line has a layout of its own (field widths, signs and
// decimals all vary), the worst case for a reader that caches layouts.
const std::string &new_layouts_file(size_t &bytes, size_t &lines) {
    static std::string path;
    static size_t file_bytes = 0, file_lines = 0;
    if (path.empty()) {
        path = the_workload().dir + "/../siteprep-bench-layouts.wth";
        std::string text;
        unsigned seed = 777;
        auto next = [&seed](unsigned n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % n;
        };
        for (int y = 0; y < 100; ++y)
            for (int m = 1; m <= 12; ++m)
                for (int d = 1; d <= 30; ++d) {
                    std::string line = std::to_string(d) + std::string(1 + next(2), ' ') +
                                       std::to_string(m) + " " + std::to_string(1900 + y) + " 1";
                    for (int v = 0; v < 3; ++v) {
                        char value[32];
                        std::snprintf(value, sizeof value, " %s%.*f", next(2) ? "-" : "",
                                      static_cast<int>(next(4)),
                                      static_cast<double>(next(100000)) / 100.0);
                        line += value;
                    }
                    text += line + "\n";
                    ++file_lines;
                }
        FILE *f = std::fopen(path.c_str(), "w");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        file_bytes = text.size();
    }
    bytes = file_bytes;
    lines = file_lines;
    return path;
}

void BM_new_layouts(benchmark::State &state) {
    size_t bytes = 0, lines = 0;
    const std::string &path = new_layouts_file(bytes, lines);
    read_files(state, {path}, bytes, lines);
}

void BM_new_layouts_portable(benchmark::State &state) {
    size_t bytes = 0, lines = 0;
    const std::string &path = new_layouts_file(bytes, lines);
    read_files(state, {path}, bytes, lines, simd_level::portable);
}

// Every parser must fill bit-identical tables from every file read here.
bool tables_identical() {
    static tables fast, portable;
    size_t bytes = 0, lines = 0;
    std::vector<std::string> files = the_workload().weather_files;
    files.push_back(new_layouts_file(bytes, lines));
    for (const char *shape : daily_shapes)
        files.push_back(files_of_shape(shape).paths.front());
    for (const std::string &path : files) {
        const int b = read_tables(path, portable, simd_level::portable);
        for (simd_level level : {simd_level::avx2, simd_level::avx512}) {
            const int a = read_tables(path, fast, level);
            if (a != b || std::memcmp(&fast, &portable, sizeof fast) != 0) {
                std::fprintf(stderr, "tables differ for %s\n", path.c_str());
                return false;
            }
        }
    }
    std::printf("tables identical from every parser: %zu files\n", files.size());
    return true;
}

// The classic way: a 132-byte fgets buffer and a sscanf of the seven fields.
void BM_fgets_sscanf(benchmark::State &state) {
    const workload &w = the_workload();
    for (auto _ : state) {
        for (const std::string &path : w.weather_files) {
            FILE *fp = std::fopen(path.c_str(), "r");
            char buf[132];
            int a, month, c, d;
            float tmax, tmin, prec, sum = 0;
            while (std::fgets(buf, sizeof buf, fp) != nullptr) {
                std::sscanf(buf, "%d %d %d %d %f %f %f", &a, &month, &c, &d, &tmax, &tmin, &prec);
                sum += tmax;
            }
            benchmark::DoNotOptimize(sum);
            std::fclose(fp);
        }
    }
    report(state, w.weather_bytes, w.weather_lines);
}

// Reading every input byte of the batch once, doing nothing with it.
void BM_read_input_once(benchmark::State &state) {
    const workload &w = the_workload();
    std::vector<char> buf(1 << 16);
    for (auto _ : state) {
        for (const auto &entry : fs::directory_iterator(w.dir)) {
            FILE *fp = std::fopen(entry.path().c_str(), "r");
            while (std::fread(buf.data(), 1, buf.size(), fp) == buf.size()) {
            }
            std::fclose(fp);
        }
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(static_cast<size_t>(state.iterations()) * w.input_bytes));
}

// The whole tool over the batch, as a user runs it (with the option given).
void run_whole_batch(benchmark::State &state, const char *option) {
    const workload &w = the_workload();
    for (auto _ : state) {
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(w.dir.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout))
                _exit(127);
            if (option != nullptr)
                execl(SITEPREP_BIN, "siteprep", option, "sites.txt", static_cast<char *>(nullptr));
            else
                execl(SITEPREP_BIN, "siteprep", "sites.txt", static_cast<char *>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("siteprep failed");
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(static_cast<size_t>(state.iterations()) * w.input_bytes));
    state.counters["sites/s"] = benchmark::Counter(
        static_cast<double>(static_cast<size_t>(state.iterations()) * site_count),
        benchmark::Counter::kIsRate);
}

void BM_whole_batch(benchmark::State &state) {
    run_whole_batch(state, nullptr);
}

// The same with every rewrite synced to the disk.
void BM_whole_batch_sync(benchmark::State &state) {
    run_whole_batch(state, "--sync");
}

BENCHMARK(BM_daily_reader)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_daily_reader_portable)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_new_layouts)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_new_layouts_portable)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_fgets_sscanf)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_read_input_once)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_whole_batch)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(BM_whole_batch_sync)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly();

} // namespace

int main(int argc, char **argv) {
    const std::pair<const char *, simd_level> levels[] = {{"avx512", simd_level::avx512},
                                                          {"avx2", simd_level::avx2}};
    for (const auto &[name, level] : levels)
        for (const char *shape : daily_shapes)
            benchmark::RegisterBenchmark((std::string("BM_shape/") + shape + "/" + name).c_str(),
                                         BM_shape, shape, level)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly();
    benchmark::Initialize(&argc, argv);
    if (!getenv("SKIPCHK") && !tables_identical())
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    size_t bytes = 0, lines = 0;
    fs::remove(new_layouts_file(bytes, lines));
    fs::remove_all(the_workload().dir);
    return 0;
}
