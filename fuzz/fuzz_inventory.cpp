// Fuzz target: ghcnd-inventory.txt's reader over an arbitrary input. An
// input is refused with a message naming its file and a line, or read
// into elements whose first year is at most their last.
#include "stations/choice.h"
#include "target.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// The input as a file, as the reader takes it; removed at exit.
struct input_file {
    const std::string path = "/tmp/fuzz-inventory-" + std::to_string(getpid()) + ".txt";
    ~input_file() { std::remove(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const input_file input;
    FILE *in = std::fopen(input.path.c_str(), "w");
    if (in == nullptr || std::fwrite(data, 1, size, in) != size || std::fclose(in) != 0)
        std::abort();
    import::ghcn_inventory inventory;
    const failure why = import::read_inventory(input.path, inventory);
    if (why.failed()) {
        if (why.message.rfind(input.path + " line ", 0) != 0)
            std::abort();
        return 0;
    }
    for (const auto &[id, years] : inventory)
        for (int e = 0; e < import::ghcn_elements; ++e)
            if (id.size() != 11 ||
                (years.line[e] != 0 && !(1 <= years.first[e] && years.first[e] <= years.last[e])))
                std::abort();
    return 0;
}
