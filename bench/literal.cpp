// The whole job done the simplest correct way, as the benchmarks' measure:
// the site list and every daily line read with fgets and sscanf in the
// formats given, and each site file copied to XXXX.sfp with stdio and
// rewritten from it, once for the site keys and once for the weather
// block. The passes that compose the lines are the tool's own, so the
// files come out the same to the byte; only the reading and the rewriting
// are done the plain way. Clean batches only: a bad line is not looked for.
//
// usage: literal SITE_LIST
#include "create_site.h"
#include "create_soil.h"
#include "streams.h"
#include "wthr.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void fail(const char *what) {
    std::fprintf(stderr, "literal: %s\n", what);
    std::exit(1);
}

FILE *open_or_fail(const char *path, const char *mode) {
    FILE *fp = std::fopen(path, mode);
    if (fp == nullptr)
        fail(path);
    return fp;
}

void copy_file(const char *from, const char *to) {
    FILE *in = open_or_fail(from, "r");
    FILE *out = open_or_fail(to, "w");
    char line[4096];
    while (std::fgets(line, sizeof line, in) != nullptr)
        std::fputs(line, out);
    if (std::fclose(in) != 0 || std::fclose(out) != 0)
        fail(to);
}

// The site file rewritten from its copy by one pass.
template <typename Pass> void rewrite(const std::string &site_file, Pass pass) {
    copy_file(site_file.c_str(), "XXXX.sfp");
    oldfp = open_or_fail("XXXX.sfp", "r");
    os::out_stream out(open_or_fail(site_file.c_str(), "w"));
    newfp = &out;
    pass();
    newfp = nullptr;
    if (std::fclose(oldfp) != 0 || !out.close())
        fail(site_file.c_str());
    std::remove("XXXX.sfp");
}

// Months close when the month field changes; years pass with December.
int aggregate(FILE *wth, month_table &prec, month_table &tmin, month_table &tmax) {
    for (int y = 0; y < max_years; ++y)
        for (int m = 0; m < months; ++m)
            prec[y][m] = tmin[y][m] = tmax[y][m] = 0.0f;
    int month = 1, year = 0, n[3] = {0, 0, 0};
    float sum[3] = {0, 0, 0};
    const auto close = [&] {
        tmax[year][month - 1] = n[0] > 1 ? sum[0] / static_cast<float>(n[0]) : missing_value;
        tmin[year][month - 1] = n[1] > 1 ? sum[1] / static_cast<float>(n[1]) : missing_value;
        prec[year][month - 1] = n[2] > 0 ? sum[2] : missing_value;
    };
    char line[256];
    while (std::fgets(line, sizeof line, wth) != nullptr) {
        int day, m, y, doy;
        float v[3];
        if (std::sscanf(line, "%d %d %d %d %f %f %f", &day, &m, &y, &doy, &v[0], &v[1], &v[2]) != 7)
            continue;
        if (m != month) {
            close();
            year += month == 12;
            month = m;
            n[0] = n[1] = n[2] = 0;
            sum[0] = sum[1] = sum[2] = 0.0f;
        }
        for (int q = 0; q < 3; ++q)
            if (is_valid(v[q])) {
                ++n[q];
                sum[q] = sum[q] + v[q];
            }
    }
    close();
    return year;
}

void prepare_site(const char *line) {
    char name[1024];
    float lat, lon, sand, silt, clay, bulk, pass_through, elev;
    int code;
    if (std::sscanf(line, "%1023s %f %f %f %f %f %f %f %d %f", name, &lat, &lon, &sand, &silt,
                    &clay, &bulk, &pass_through, &code, &elev) != 10)
        return;
    os::out_stream soils(open_or_fail("soils.in", "w"));
    newfp = &soils;
    std::string said;
    create_soil(sand, silt, clay, bulk, pass_through, code, said);
    newfp = nullptr;
    if (!soils.close())
        fail("soils.in");
    const std::string site_file = std::string(name) + ".sfp";
    rewrite(site_file, [&] { create_site(lat, lon, static_cast<float>(code), elev, said); });
    static month_table prec, tmin, tmax;
    FILE *wth = open_or_fail((std::string(name) + ".wth").c_str(), "r");
    const int years = aggregate(wth, prec, tmin, tmax) + 1;
    std::fclose(wth);
    weather_stats ws;
    compute_stats(ws, years, prec, tmin, tmax);
    rewrite(site_file, [&] { weather(ws, said); });
    std::fputs(said.c_str(), stdout); // what the passes said, as the tool says it
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        fail("usage: literal SITE_LIST");
    FILE *list = open_or_fail(argv[1], "r");
    char line[4096];
    while (std::fgets(line, sizeof line, list) != nullptr)
        prepare_site(line);
    std::fclose(list);
    return 0;
}
