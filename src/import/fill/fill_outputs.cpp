// The fill's outputs made in memory: the filled daily file, its record
// of every value filled (tied to the file by its CRC-32) and its skill
// table, the summary said of them, and the three written together.
#include "calendar.h"
#include "checksum.h"
#include "csv.h"
#include "csv_table.h"
#include "daily_line.h"
#include "file_paths.h"
#include "fill_files.h"
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
        text += filled_day_text(v.day) + "," + fill_quantity_words[v.quantity] + "," +
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
                text += csv_field(donors.names[k]) + "," + fill_quantity_words[q] + "," +
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
        line += std::string(q > 0 ? "," : "") + " " + fill_quantity_words[q] + " " +
                std::to_string(all);
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
            days += (i > 0 ? ", " : "") + filled_day_text(r.tmin_above_tmax[i]);
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

} // namespace import
