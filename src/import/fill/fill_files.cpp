// The fill's files: the target and its donors read as daily files, every
// file it reads and writes checked by the guard before the first write,
// the stations table's row recounted, and the fill run.
#include "fill_files.h"
#include "calendar.h"
#include "checksum.h"
#include "csv.h"
#include "csv_table.h"
#include "daily_line.h"
#include "file_paths.h"
#include "guard.h"
#include "input.h"
#include "layout.h"
#include "open.h"
#include "outputs.h"
#include "reporter.h"
#include "shown.h"
#include "site_files.h"
#include "tokens.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace import {

std::string filled_day_text(long day) {
    const calendar_date d = date_of_number(day);
    return format_message("%04d-%02d-%02d", d.year, d.month, d.day);
}

namespace {

// A day's line: where its values start and its seventh field ends.
bool find_values(std::string_view line, size_t &values, size_t &rest) {
    size_t pos = 0;
    for (int field = 1; field <= 7; ++field) {
        const std::string_view token = next_token(line, pos);
        if (token.empty())
            return false;
        if (field == 5)
            values = static_cast<size_t>(token.data() - line.data());
    }
    rest = pos;
    return true;
}

// The series of a file's dated lines, from its first day to its last.
void fill_series_of(daily_text &into, const std::vector<std::array<double, quantities>> &values) {
    day_series &s = into.series;
    s.first = into.lines.front().day;
    s.days.assign(static_cast<size_t>(into.lines.back().day - s.first + 1), {NAN, NAN, NAN});
    for (size_t i = 0; i < into.lines.size(); ++i)
        s.days[static_cast<size_t>(into.lines[i].day - s.first)] = values[i];
}

double value_of(float v) {
    return is_valid(v) ? static_cast<double>(v) : NAN;
}

// A day's values that no weather can have made missing and noted; the bits
// of those quantities.
unsigned take_possible(std::array<double, quantities> &values, const calendar_date &d,
                       outside_range &outside) {
    unsigned bits = 0;
    for (int q = 0; q < quantities; ++q) {
        double &v = values[static_cast<size_t>(q)];
        if (!std::isnan(v) && !physically_possible(q, v)) {
            v = NAN;
            bits |= 1u << q;
            outside.note(q, d);
        }
    }
    return bits;
}

} // namespace

failure parse_daily_text(const std::string &name, std::string text, daily_text &into) {
    into = daily_text();
    into.text = std::move(text);
    const std::string &t = into.text;
    std::vector<std::array<double, quantities>> values;
    long number = 0;
    for (size_t at = 0, end = 0; at < t.size(); at = end) {
        end = t.find('\n', at);
        end = end == std::string::npos ? t.size() : end + 1;
        const std::string_view line(t.data() + at, end - at);
        const std::string where = shown_name(name) + format_message(" line %ld: ", ++number);
        if (number == 1)
            into.eol = line_end_of(line);
        daily_record rec;
        std::string why;
        const parse_status status = parse_daily_line(line, rec, why);
        if (status == parse_status::blank)
            continue;
        if (status == parse_status::bad)
            return {where + why + ": not a daily file this tool reads"};
        const calendar_date d{rec.year, rec.month, rec.day};
        if (!is_real_date(d))
            return {where + format_message("%d %d %d (day month year) is not a date", rec.day,
                                           rec.month, rec.year)};
        daily_text::day_line l;
        l.day = day_number(d.year, d.month, d.day);
        l.begin = at;
        l.end = end;
        if (!into.lines.empty() && l.day <= into.lines.back().day)
            return {where + filled_day_text(l.day) +
                    (l.day == into.lines.back().day ? " again" : " after a later date")};
        if (!into.lines.empty() && l.day - into.lines.front().day >= max_years * 366L)
            return {where + format_message("more than %d years after the first day", max_years)};
        find_values(line, l.values, l.rest);
        l.values += at;
        l.rest += at;
        values.push_back({value_of(rec.tmax), value_of(rec.tmin), value_of(rec.prec)});
        l.outside = take_possible(values.back(), d, into.outside);
        into.lines.push_back(l);
    }
    if (into.lines.empty())
        return {shown_name(name) + ": no day"};
    fill_series_of(into, values);
    return {};
}

failure read_donors(const std::vector<std::string> &paths, donor_files &into) {
    for (const std::string &path : paths) {
        os::result<os::regular_file> opened = os::open_regular(path);
        os::result<std::string> text =
            opened ? os::read_rest(opened->file) : os::result<std::string>(opened.error());
        if (!text)
            return {"Error reading the donor " + shown_name(path) + ": " + text.error().reason()};
        daily_text donor;
        if (failure f = parse_daily_text(path, std::move(*text), donor); f.failed())
            return {"The donor " + f.message};
        into.names.push_back(path);
        into.series.push_back(std::move(donor.series));
        into.outside.push_back(donor.outside);
    }
    return {};
}

double height_of(std::string_view text) {
    float v = 0;
    return parse_finite_float(trimmed(text), v) ? static_cast<double>(v) : NAN;
}

failure read_donor_heights(const std::vector<std::string> &paths, const std::string &stations,
                           elevations &into) {
    into.donors.assign(paths.size(), NAN);
    into.donor_unknown.assign(paths.size(), std::string());
    csv_table table;
    // A table the import itself keeps (rows of other shapes included) is
    // no reason to refuse the import: its heights are then unknown, and
    // the summary says why.
    std::string unread;
    if (!stations.empty() && !paths.empty()) {
        const os::result<std::string> text = read_table_file(stations);
        if (!text)
            return {"Error reading " + shown_name(stations) + ": " + text.error().reason()};
        if (!text->empty())
            if (failure f = read_csv_table(stations, table); f.failed()) {
                unread = f.message;
                table = csv_table();
            }
    }
    const size_t name = table.column({"name"}), height = table.column({"elevation_m"});
    for (size_t k = 0; k < paths.size(); ++k) {
        const std::string stem = stem_of(paths[k]);
        for (const std::vector<std::string> &row : table.rows)
            if (name != table.none && height != table.none && row[name] == stem) {
                into.donors[k] = height_of(row[height]);
                break;
            }
        if (std::isnan(into.donors[k]))
            into.donor_unknown[k] =
                "the elevation of " + shown_name(paths[k]) + " is not known (" +
                (stations.empty()  ? std::string("give --stations with its row")
                 : !unread.empty() ? unread
                                   : "no elevation_m of " + stem + " in " + shown_name(stations)) +
                ")";
    }
    return {};
}

void say_donors_outside(const donor_files &donors) {
    for (size_t k = 0; k < donors.names.size(); ++k)
        say_outside_range("the donor " + shown_name(donors.names[k]), donors.outside[k],
                          "never used");
}

namespace {

// A file read whole; absent (ENOENT) is empty when absent_ok.
os::result<std::string> read_whole(const std::string &path, bool absent_ok = false) {
    os::result<os::regular_file> opened = os::open_regular(path);
    if (!opened)
        return absent_ok && opened.err() == ENOENT ? os::result<std::string>(std::string())
                                                   : os::result<std::string>(opened.error());
    return os::read_rest(opened->file);
}

// The files of a fill, for the guard: the target, the donors and the
// target's earlier record read, the three outputs written. Reading the
// target and its record whole before anything is written, the fill may
// write over them.
std::vector<std::string> fill_collisions(const fill_request &r, const std::string &output) {
    std::vector<os::guarded_file> files = {
        {r.target, "the target " + shown_name(r.target), false},
        {fill_record_of(r.target), "the target's fill record", false}};
    for (const std::string &donor : r.donors)
        files.push_back({donor, "the donor " + shown_name(donor), false});
    const size_t outputs = files.size();
    files.push_back({output, "the filled daily file " + shown_name(output), true});
    files.push_back({fill_record_of(output), "its fill record", true});
    files.push_back({fill_skill_of(output), "its skill table", true});
    if (!r.stations.empty())
        files.push_back({r.stations, "the stations table", true});
    const os::guard_excuse excuse = [outputs](size_t writer, size_t other) {
        return (writer == outputs && other == 0) || (writer == outputs + 1 && other == 1);
    };
    std::vector<std::string> found;
    for (const std::vector<size_t> &group : os::same_files(files))
        if (std::string message = os::collision_in(files, group, excuse); !message.empty())
            found.push_back(std::move(message));
    for (size_t i = outputs; i < files.size(); ++i)
        if (std::string why = os::planted_link(files[i].path); !why.empty())
            found.push_back(std::move(why));
    return found;
}

// Where the filled file goes: DIR/NAME.wth, or the target itself.
std::string output_of(const fill_request &r) {
    if (r.output_dir.empty())
        return r.target;
    std::string stem = os::base_of(r.target);
    if (const size_t dot = stem.rfind('.'); dot != std::string::npos && dot > 0)
        stem.erase(dot);
    return (r.output_dir == "." ? std::string() : r.output_dir + "/") + stem + ".wth";
}

// Everything checked before the first write; or why the fill must
// not start.
failure refusal(const fill_request &r, const std::string &output) {
    if (!r.output_dir.empty()) {
        std::vector<std::string> made;
        if (failure f = make_directories(r.output_dir, made); f.failed())
            return f;
    }
    if (std::vector<std::string> found = fill_collisions(r, output); !found.empty()) {
        std::string all;
        for (const std::string &f : found)
            all += (all.empty() ? "" : "\n") + f;
        return {all + "\nNothing was written."};
    }
    if (!r.stations.empty())
        if (failure f = check_stations(r.stations); f.failed())
            return f;
    if (!r.force)
        for (const std::string &path : {output, fill_record_of(output), fill_skill_of(output)})
            if (os::link_status_of(path).ok())
                return {shown_name(path) + " exists: --force replaces it"};
    return {};
}

// Where field n (0 the first) of a CSV row starts, quotes heeded; npos
// past its last.
size_t field_at(std::string_view row, int n) {
    bool quoted = false;
    int field = 0;
    for (size_t i = 0; i < row.size() && n > 0; ++i)
        if (row[i] == '"')
            quoted = !quoted;
        else if (row[i] == ',' && !quoted && ++field == n)
            return i + 1;
    return n == 0 ? 0 : std::string_view::npos;
}

// The stations table's fields that a fill changes: days to
// mean_annual_prcp_cm.
constexpr int first_counted = 7, after_counted = 12;

// The table with the first row of name given the counts of row, every
// other byte as it was; false when no row has that name.
bool recounted(std::string_view table, const std::string &name, const station_row &row,
               std::string &text) {
    const std::string line = stations_line(row);
    const std::string_view fresh(line);
    const size_t from = field_at(fresh, first_counted);
    const std::string_view counts = fresh.substr(from, fresh.size() - 2 - from);
    for (size_t at = table.find('\n'); at != std::string_view::npos && at + 1 < table.size();) {
        const std::string_view rest = table.substr(++at);
        const std::string_view bare = rest.substr(0, rest.find_first_of("\r\n"));
        const size_t begin = field_at(bare, first_counted), next = field_at(bare, after_counted);
        if (first_field(bare) == name && begin != std::string_view::npos) {
            const size_t end = next == std::string_view::npos ? bare.size() : next - 1;
            text = std::string(table.substr(0, at + begin)) + std::string(counts) +
                   std::string(table.substr(at + end));
            return true;
        }
        at = table.find('\n', at);
    }
    return false;
}

// The stations table with the target's row given the filled file's
// counts; or why the fill must not be written.
failure stations_after(const fill_request &r, const std::string &output, const fill_result &filled,
                       std::string &text) {
    const os::result<std::string> table = read_table_file(r.stations);
    if (!table)
        return {"Error reading " + shown_name(r.stations) + ": " + table.error().reason()};
    station_row row;
    count_filled(filled, row);
    if (!recounted(*table, stem_of(output), row, text))
        return {shown_name(r.stations) + " has no row of " + stem_of(output) +
                ": nothing was written"};
    return {};
}

// An earlier record that is not its daily file's (written again since, as
// by an import with --force) describes days of a file that is gone: its
// rows are not kept, and a warning says so.
void keep_if_tied(const std::string &name, const daily_text &target, std::string &earlier) {
    if (tie_of_record(earlier, crc32_of(target.text.data(), target.text.size())) !=
        record_tie::not_its_file)
        return;
    say_error("warning: " + shown_name(fill_record_of(name)) + " does not describe " +
              shown_name(name) + ": " + stale_record_why + ", so its rows are not kept");
    earlier.clear();
}

// The fill, its summary said; or what failed.
failure fill_all(const fill_request &r) {
    const std::string output = output_of(r);
    if (failure f = refusal(r, output); f.failed())
        return f;
    os::result<std::string> text = read_whole(r.target);
    if (!text)
        return {"Error reading " + shown_name(r.target) + ": " + text.error().reason()};
    daily_text target;
    donor_files donors;
    failure why = parse_daily_text(r.target, std::move(*text), target);
    if (!why.failed())
        why = read_donors(r.donors, donors);
    os::result<std::string> earlier = read_whole(fill_record_of(r.target), true);
    if (!why.failed() && !earlier)
        why = {"Error reading " + shown_name(fill_record_of(r.target)) + ": " +
               earlier.error().reason()};
    if (why.failed())
        return why;
    keep_if_tied(r.target, target, *earlier);
    const filled_files made = fill_files_of(output, target, donors, r.settings, *earlier);
    std::string stations;
    if (!r.stations.empty())
        if (failure f = stations_after(r, output, made.result, stations); f.failed())
            return f;
    // All or none: a record is never left naming fills its file lacks.
    std::vector<os::file_text> also;
    if (!r.stations.empty())
        also.push_back({r.stations, stations});
    if (failure f = write_filled(output, made, also); f.failed())
        return f;
    say_outside_range(shown_name(r.target), target.outside, "taken as missing");
    say_donors_outside(donors);
    for (const std::string &line : made.said)
        say_line(line);
    return {};
}

} // namespace

int run_fill(const fill_request &request) {
    return run_reported([&] { return error_status(fill_all(request)); });
}

} // namespace import
