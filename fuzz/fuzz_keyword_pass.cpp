// Fuzz target: the site keyword pass over an arbitrary site parameter file.
#include "create_site.h"
#include "streams.h"
#include "target.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::string result;
    if (!run_pass(
            text, [] { create_site(41.5f, -105.25f, 3.0f, 1530.0f); }, result))
        std::abort();
    // Every line is either copied or replaced by one line.
    const auto lines = [](const std::string &s) {
        return std::count(s.begin(), s.end(), '\n') + (!s.empty() && s.back() != '\n');
    };
    if (lines(result) != lines(text))
        std::abort();
    return 0;
}

// Silences the passes' messages, once.
extern "C" int LLVMFuzzerInitialize(int *, char ***);
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    return std::freopen("/dev/null", "w", stdout) == nullptr;
}
