// What the file system alone costs a tool that puts many small files in
// place: every regular file of DIR written again with its own content,
// nothing computed, on THREADS threads taking the files in turn, either
// through a temporary name renamed over it (the import's way, which keeps
// the old file whole until the new one is), or truncated and written in
// place (a script's open(path, "w")). Prints the seconds of each way.
//
// usage: replace_files DIR [THREADS [RUNS]]
#include "write_whole.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct file {
    std::string path, text;
};

std::vector<file> read_all(const fs::path &dir) {
    std::vector<file> files;
    for (const fs::directory_entry &e : fs::directory_iterator(dir))
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            files.push_back({e.path().string(), text.str()});
        }
    return files;
}

bool renamed(const file &f) {
    return os::write_file_keeping_mode(f.path, f.path + ".",
                                       [&f](os::out_stream &out) { return out.put(f.text), 0; })
        .ok();
}

bool in_place(const file &f) {
    std::ofstream out(f.path, std::ios::binary | std::ios::trunc);
    out << f.text;
    out.close();
    return !out.fail();
}

// The seconds to write every file one way, on the threads given.
double timed(const std::vector<file> &files, int threads, bool (*write)(const file &)) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (size_t k = next++; k < files.size(); k = next++)
            if (!write(files[k]))
                failed = true;
    };
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> others;
    for (int t = 1; t < threads; ++t)
        others.emplace_back(work);
    work();
    for (std::thread &t : others)
        t.join();
    if (failed) {
        std::fprintf(stderr, "replace_files: a file could not be written\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: replace_files DIR [THREADS [RUNS]]\n");
        return 2;
    }
    const int threads = argc > 2 ? std::atoi(argv[2]) : 2, runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::vector<file> files = read_all(argv[1]);
    for (int r = 0; r < runs; ++r)
        std::printf("%zu files on %d threads: renamed over %.2f s, in place %.2f s\n", files.size(),
                    threads, timed(files, threads, renamed), timed(files, threads, in_place));
    return 0;
}
