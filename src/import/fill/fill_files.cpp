// The fill's files: the target and its donors read as daily files, the
// filled file written with its record and skill table, each through the
// guard and a temporary name.
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

namespace {

const char *const quantity_words[quantities] = {"tmax", "tmin", "prcp"};

std::string date_text(long day) {
    const calendar_date d = date_of_number(day);
    return format_message("%04d-%02d-%02d", d.year, d.month, d.day);
}

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
            return {where + date_text(l.day) +
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

// A value as the filled file writes it: temperatures to a hundredth of a
// degree, precipitation to a thousandth of a cm, -99.99 where missing.
std::string filled_text_of(double v, int quantity) {
    if (std::isnan(v))
        return "-99.99";
    return format_message(quantity == prcp ? "%.3f" : "%.2f", v);
}

// A day's line with its filled values (bit q of filled) written in place of
// the file's, the rest of the line as it was.
std::string filled_line(const daily_text &target, const daily_text::day_line &l,
                        const std::array<double, quantities> &v, unsigned filled) {
    const std::string_view text(target.text);
    const std::string_view old = text.substr(l.values, l.rest - l.values);
    std::string line(text.substr(l.begin, l.values - l.begin));
    size_t pos = 0;
    for (int q = 0; q < quantities; ++q) {
        const std::string_view token = next_token(old, pos);
        line += (q > 0 ? " " : "") + ((filled & 1u << q) != 0
                                          ? filled_text_of(v[static_cast<size_t>(q)], q)
                                          : std::string(token));
    }
    return line + std::string(text.substr(l.rest, l.end - l.rest));
}

// A day the file lacks, as a line of its own.
std::string new_line(long day, const std::array<double, quantities> &v, const std::string &eol) {
    const calendar_date d = date_of_number(day);
    return format_message("%d %d %d %d ", d.day, d.month, d.year, day_of_year(d)) +
           filled_text_of(v[tmax], tmax) + " " + filled_text_of(v[tmin], tmin) + " " +
           filled_text_of(v[prcp], prcp) + eol;
}

std::string filled_daily(const daily_text &target, const fill_result &r) {
    std::vector<unsigned> filled(target.series.days.size(), 0);
    for (const filled_value &v : r.record)
        filled[static_cast<size_t>(v.day - target.series.first)] |= 1u << v.quantity;
    std::string text;
    text.reserve(target.text.size() + target.text.size() / 8);
    size_t next = 0; // the next of the file's lines
    for (size_t i = 0; i < filled.size(); ++i) {
        const long day = target.series.first + static_cast<long>(i);
        const auto &v = r.filled.days[i];
        if (next < target.lines.size() && target.lines[next].day == day) {
            const daily_text::day_line &l = target.lines[next++];
            // A value no weather can have is written missing where nothing filled it.
            const unsigned rewritten = filled[i] | l.outside;
            text += rewritten == 0 ? target.text.substr(l.begin, l.end - l.begin)
                                   : filled_line(target, l, v, rewritten);
        } else {
            text += new_line(day, v, target.eol);
        }
    }
    return text;
}

const char record_columns[] = "date,quantity,value,method,source,adjustment";

// The header of an earlier record whose rows are kept: the columns, and
// after them the tie to its daily file (tied) or not (one written before it).
bool earlier_header(std::string_view header, bool &tied) {
    if (header.ends_with('\r'))
        header.remove_suffix(1);
    tied = header.size() > fill_tie_column.size() && header.ends_with(fill_tie_column) &&
           header[header.size() - fill_tie_column.size() - 1] == ',';
    if (tied)
        header.remove_suffix(fill_tie_column.size() + 1);
    return header == record_columns;
}

// The record: an earlier record's rows (when it is one), then a row for
// every value filled now; each row ends with the CRC-32 of the daily file
// written with it.
std::string record_of(const fill_result &r, const donor_files &donors, const std::string &earlier,
                      uint32_t daily_crc) {
    const std::string tie = "," + std::to_string(daily_crc) + "\r\n";
    std::string text = record_columns + ("," + std::string(fill_tie_column)) + "\r\n";
    // An earlier record's rows kept, whatever its line ends (pandas writes
    // LF), each written with CR LF as this tool writes the record, and tied
    // to the daily file written now.
    bool tied = false;
    if (const size_t eol = earlier.find('\n');
        eol != std::string::npos && earlier_header(std::string_view(earlier).substr(0, eol), tied))
        for (size_t at = eol + 1; at < earlier.size();) {
            const size_t end = std::min(earlier.find('\n', at), earlier.size());
            std::string_view row(earlier.data() + at, end - at);
            if (row.ends_with('\r'))
                row.remove_suffix(1);
            if (tied && row.rfind(',') != std::string_view::npos)
                row = row.substr(0, row.rfind(','));
            if (!row.empty())
                text.append(row).append(tie);
            at = end + 1;
        }
    for (const filled_value &v : r.record)
        text += date_text(v.day) + "," + quantity_words[v.quantity] + "," +
                filled_text_of(v.value, v.quantity) + "," + method_name(v.method) + "," +
                (v.donor >= 0 ? csv_field(donors.names[static_cast<size_t>(v.donor)]) : "") + "," +
                (v.method == fill_method::donor || v.method == fill_method::donor_lapse
                     ? format_message("%.6g", v.adjustment)
                 : v.method == fill_method::donor_unadjusted ? "0"
                                                             : "") +
                tie;
    return text;
}

std::string or_na(double v) {
    return std::isfinite(v) ? format_message("%.4f", v) : "NA";
}

std::string skill_of(const fill_result &r, const donor_files &donors) {
    std::string text = "donor,quantity,month,overlap_days,adjustment,spread,accepted,"
                       "held_out_days,mae,mean_error\r\n";
    for (size_t k = 0; k < r.fits.size(); ++k)
        for (int q = 0; q < quantities; ++q)
            for (int m = 0; m < 12; ++m) {
                const donor_month &f = r.fits[k][static_cast<size_t>(q)][static_cast<size_t>(m)];
                text += csv_field(donors.names[k]) + "," + quantity_words[q] + "," +
                        std::to_string(m + 1) + "," + std::to_string(f.overlap) + "," +
                        or_na(f.adjustment) + "," + or_na(f.spread) + "," +
                        (f.accepted ? "yes" : csv_field(f.why_not)) + "," +
                        std::to_string(f.held_out) + "," + or_na(f.mae) + "," +
                        or_na(f.mean_error) + "\r\n";
            }
    return text;
}

// For each donor whose temperatures were copied for want of overlap, how:
// shifted by the lapse rate for the heights, or unadjusted and why.
void say_copied(const std::string &name, const fill_result &r, const donor_files &donors,
                const elevations &heights, std::vector<std::string> &said) {
    for (size_t k = 0; k < donors.names.size(); ++k) {
        bool copied[quantities] = {false, false, false}, shifted = false;
        for (const filled_value &v : r.record)
            if (v.donor == static_cast<int>(k) && v.quantity != prcp &&
                v.method != fill_method::donor) {
                copied[v.quantity] = true;
                shifted = shifted || v.method == fill_method::donor_lapse;
            }
        if (!copied[tmax] && !copied[tmin])
            continue;
        const std::string donor = shown_name(donors.names[k]);
        std::string line = shown_name(name) + ": " +
                           (copied[tmax] && copied[tmin] ? "tmax and tmin"
                            : copied[tmax]               ? "tmax"
                                                         : "tmin") +
                           " from " + donor + ", with no day in common to fit a bias on, ";
        if (shifted)
            line += format_message("shifted by %g degrees C for the heights (%g degrees C/km: "
                                   "%g m here, %g m at ",
                                   heights.lapse_shift(k), lapse_per_km, heights.target,
                                   heights.donors[k]) +
                    donor + ")";
        else
            line += "unadjusted: " + (!heights.target_unknown.empty() ? heights.target_unknown
                                      : k < heights.donor_unknown.size()
                                          ? heights.donor_unknown[k]
                                          : std::string("the heights are not known"));
        said.push_back(line);
    }
}

// "tmax 12 (interpolation 4, a.wth 8)" for each quantity, and what is left.
std::vector<std::string> summary_of(const std::string &name, const fill_result &r,
                                    const donor_files &donors, const elevations &heights) {
    std::string line = shown_name(name) + ": filled";
    for (int q = 0; q < quantities; ++q) {
        std::vector<long> by(donors.names.size() + 1, 0); // interpolation, then each donor
        long all = 0;
        for (const filled_value &v : r.record)
            if (v.quantity == q) {
                ++by[static_cast<size_t>(v.donor + 1)];
                ++all;
            }
        line += std::string(q > 0 ? "," : "") + " " + quantity_words[q] + " " + std::to_string(all);
        std::string parts;
        for (size_t k = 0; k < by.size(); ++k)
            if (by[k] > 0)
                parts += (parts.empty() ? "" : ", ") +
                         (k == 0 ? std::string("interpolation") : shown_name(donors.names[k - 1])) +
                         " " + std::to_string(by[k]);
        if (!parts.empty())
            line += " (" + parts + ")";
    }
    line += format_message("; still missing: tmax %ld, tmin %ld, prcp %ld", r.left[tmax],
                           r.left[tmin], r.left[prcp]);
    std::vector<std::string> said = {line};
    say_copied(name, r, donors, heights, said);
    if (!r.tmin_above_tmax.empty()) {
        std::string days;
        for (size_t i = 0; i < r.tmin_above_tmax.size() && i < 10; ++i)
            days += (i > 0 ? ", " : "") + date_text(r.tmin_above_tmax[i]);
        said.push_back(shown_name(name) + ": Tmin above Tmax on " +
                       counted(static_cast<long>(r.tmin_above_tmax.size()), "filled day") +
                       ", kept as filled: " + days +
                       (r.tmin_above_tmax.size() > 10 ? ", ..." : ""));
    }
    return said;
}

} // namespace

filled_files fill_files_of(const std::string &name, const daily_text &target,
                           const donor_files &donors, const fill_settings &settings,
                           const std::string &earlier_record, const elevations &heights) {
    filled_files out;
    out.result = fill_series(target.series, donors.series, settings, heights);
    out.daily = filled_daily(target, out.result);
    out.record =
        record_of(out.result, donors, earlier_record, crc32_of(out.daily.data(), out.daily.size()));
    out.skill = skill_of(out.result, donors);
    out.said = summary_of(name, out.result, donors, heights);
    return out;
}

void count_filled(const fill_result &filled, station_row &row) {
    row.days = static_cast<long>(filled.filled.days.size());
    row.prcp_sum = 0;
    row.prcp_days = 0;
    for (int q = 0; q < quantities; ++q)
        row.missing[q] = 0;
    for (const auto &day : filled.filled.days)
        for (int q = 0; q < quantities; ++q)
            if (std::isnan(day[static_cast<size_t>(q)]))
                ++row.missing[q];
            else if (q == prcp) {
                row.prcp_sum += day[prcp];
                ++row.prcp_days;
            }
}

failure write_filled(const std::string &output, const filled_files &made,
                     const std::vector<os::file_text> &also) {
    std::vector<os::file_text> files = {{output, made.daily},
                                        {fill_record_of(output), made.record},
                                        {fill_skill_of(output), made.skill}};
    files.insert(files.end(), also.begin(), also.end());
    return write_texts_together(files);
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
