// The main of a fuzz target built without libFuzzer: runs the target once
// on each file of the directories given (its seed corpus, its kept
// regressions), in order of their names, so that every build replays them.
// A directory that is not there holds no input; a crash or an abort fails
// the run, and so does finding no input at all.
#include "target.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

// Defined by the targets that set something up first.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

int main(int argc, char **argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(argv[i], ec))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    if (LLVMFuzzerInitialize != nullptr && LLVMFuzzerInitialize(&argc, &argv) != 0)
        return 1;
    for (const fs::path &input : inputs) {
        std::ifstream in(input, std::ios::binary);
        // A buffer of the input's size exactly, so that a sanitizer sees a
        // read past its end.
        const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (!in.eof() && in.fail()) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", input.filename().c_str());
        LLVMFuzzerTestOneInput(data.data(), data.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
