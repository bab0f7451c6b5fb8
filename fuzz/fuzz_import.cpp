// Fuzz target: the importer's readers over an arbitrary input in each
// format (the first byte picks it). An input is refused with a message or
// becomes whole years of days in calendar order, seven fields a line.
#include "fd.h"
#include "formats.h"
#include "readers.h"
#include "target.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

int days_in_year(int y) {
    return is_leap(y) ? 366 : 365;
}

// Whole years from January 1, each line "d m y doy a b c" in order.
void check_days(const std::string &text) {
    size_t at = 0;
    int year = 0, doy = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            std::abort();
        int d, m, y, n, used = 0;
        char a[32], b[32], c[32];
        const std::string line = text.substr(at, end - at);
        if (std::sscanf(line.c_str(), "%d %d %d %d %31s %31s %31s%n", &d, &m, &y, &n, a, b, c,
                        &used) != 7 ||
            static_cast<size_t>(used) != line.size())
            std::abort();
        if (year == 0)
            year = y;
        if (doy == days_in_year(year)) {
            ++year;
            doy = 0;
        }
        import::date day;
        if (y != year || n != ++doy || !date_of_day(y, n, day) || day.month != m || day.day != d)
            std::abort();
        at = end + 1;
    }
    if (year != 0 && doy != days_in_year(year))
        std::abort();
}

// The input as a file, as the readers take it; removed at exit.
struct input_file {
    const std::string path = "/tmp/fuzz-import-" + std::to_string(getpid()) + ".txt";
    ~input_file() { std::remove(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    static const input_file input;
    const std::string &path = input.path;
    FILE *in = std::fopen(path.c_str(), "w");
    if (in == nullptr || std::fwrite(data + 1, 1, size - 1, in) != size - 1 || std::fclose(in) != 0)
        std::abort();
    import::import_options o;
    o.format = &import::daily_formats()[data[0] % import::daily_formats().size()];
    o.temp = import::temp_unit::fahrenheit;
    o.prcp = import::prcp_unit::mm;
    o.columns.date = "date";
    o.columns.value[import::tmax] = "tmax";
    o.columns.value[import::tmin] = "tmin";
    o.columns.value[import::prcp] = "prcp";
    o.missing = {"NA"};
    char *out = nullptr;
    size_t out_size = 0;
    os::out_stream wth(open_memstream(&out, &out_size));
    import::station_row row;
    const failure why = import::import_file(path, o, wth, row);
    if (!wth.close().ok())
        std::abort();
    const std::string text(out, out_size);
    std::free(out);
    if (!why.failed())
        check_days(text);
    return 0;
}
