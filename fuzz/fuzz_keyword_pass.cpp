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
    std::string result, said;
    if (!run_pass(
            text, [&said] { create_site(41.5f, -105.25f, 3.0f, 1530.0f, said); }, result))
        std::abort();
    // Every line is either copied or replaced by one line, and no more
    // lines are said replaced than there are.
    const auto lines = [](const std::string &s) {
        return std::count(s.begin(), s.end(), '\n') + (!s.empty() && s.back() != '\n');
    };
    if (lines(result) != lines(text) || lines(said) > lines(text))
        std::abort();
    return 0;
}
