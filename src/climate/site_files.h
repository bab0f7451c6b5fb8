// The files of a site, named after it, in one place for both programs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A site's own files: its site parameter file, its daily weather file and
// its own soil file (--keep-soils: NAME.soils.in beside its site file).
struct site_paths {
    std::string site_file, weather_file, soil_file;
};

inline site_paths paths_of(const std::string &site_name) {
    return {site_name + ".sfp", site_name + ".wth", site_name + ".soils.in"};
}

// What the importer's fill writes beside a daily file NAME.wth (or any
// name without that extension): its record of every value filled,
// NAME.fill.csv, and its skill table, NAME.fill-skill.csv.
inline std::string fill_stem_of(const std::string &weather_file) {
    const size_t n = weather_file.size();
    return n > 4 && weather_file.compare(n - 4, 4, ".wth") == 0 ? weather_file.substr(0, n - 4)
                                                                : weather_file;
}
inline std::string fill_record_of(const std::string &weather_file) {
    return fill_stem_of(weather_file) + ".fill.csv";
}
inline std::string fill_skill_of(const std::string &weather_file) {
    return fill_stem_of(weather_file) + ".fill-skill.csv";
}

// The record's last column, daily_crc32, ties it to the daily file it
// describes: the CRC-32 of that file's bytes as the fill wrote them, in
// decimal, on every row. A record written before it has no such column.
inline constexpr std::string_view fill_tie_column = "daily_crc32";

// Why a record is not its daily file's, as both programs say it.
inline constexpr char stale_record_why[] =
    "its daily_crc32 is not the file's CRC-32 (the file was written again after the fill, as "
    "by an import with --force)";

// Whether a record is its daily file's (whose CRC-32 is crc): untied
// without the column or a row that gives it, not_its_file when a row's
// value is not crc.
enum class record_tie { untied, its_file, not_its_file };

namespace record_detail {

// Field n (0 the first) of a CSV row, quotes heeded; nullopt past its
// last.
inline std::optional<std::string_view> field_of(std::string_view row, size_t n) {
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i <= row.size(); ++i) {
        if (i < row.size() && row[i] == '"')
            quoted = !quoted;
        if (i < row.size() && (quoted || row[i] != ','))
            continue;
        if (n-- == 0)
            return row.substr(start, i - start);
        start = i + 1;
    }
    return std::nullopt;
}

// The lines of a text, each without its line end (CR LF or LF).
template <class F> void each_line(std::string_view text, F &&line) {
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        std::string_view l = text.substr(at, end - at);
        if (l.ends_with('\r'))
            l.remove_suffix(1);
        line(l);
        at = end + 1;
    }
}

} // namespace record_detail

inline record_tie tie_of_record(std::string_view record, uint32_t crc) {
    std::optional<size_t> column;
    record_tie tie = record_tie::untied;
    const std::string want = std::to_string(crc);
    record_detail::each_line(record, [&](std::string_view line) {
        if (!column) { // the header
            column = SIZE_MAX;
            for (size_t k = 0; const auto f = record_detail::field_of(line, k); ++k)
                if (*f == fill_tie_column)
                    column = k;
            return;
        }
        const auto value = record_detail::field_of(line, *column);
        if (value && !value->empty() && tie != record_tie::not_its_file)
            tie = *value == want ? record_tie::its_file : record_tie::not_its_file;
    });
    return tie;
}
