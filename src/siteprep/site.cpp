// One site of a batch: its files opened as both the run and the check open
// them, its daily file read, and the run's steps that prepare it.
#include "site.h"
#include "calendar.h"
#include "create_site.h"
#include "create_soil.h"
#include "lines.h"
#include "open.h"
#include "report.h"
#include "shown.h"
#include "site_files.h"
#include "site_template.h"
#include "streams.h"
#include "texture_keys.h"
#include "write_whole.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>

namespace {

// An open failure: the message, then the file and the reason on a line of
// their own.
failure open_failure(const std::string &text, const std::string &file, const std::string &why) {
    failure f;
    f.message = text + "\n" + shown_name(file) + ": " + why;
    return f;
}

bool out_of_descriptors(int err) {
    return err == EMFILE || err == ENFILE;
}

// Three tables of 24 KB each: kept off the stack of the caller's loop.
thread_local monthly_tables thread_tables;
// The same for the tables a completeness rule and a period leave, and for
// the days of each month.
thread_local monthly_tables thread_selected;
thread_local daily_months thread_months;

// A daily file that is the site file: read after the site file is emptied,
// it would read nothing.
failure same_file_refused(const std::string &site_name, const site_paths &paths) {
    return open_failure(format_message(weather_open_message, shown_name(site_name).c_str()),
                        paths.weather_file, same_file_reason);
}

// The months and quantities a choice leaves without a valid year, each
// named; empty when there are none.
std::string months_without_years(const weather_stats &ws) {
    std::string named;
    for (int m = 0; m < months; ++m)
        for (int q = 0; q < stat_quantities; ++q)
            if (ws.count[q][m] == 0)
                named += std::string(named.empty() ? "" : ", ") + month_names[m] + " " +
                         quantity_names[q];
    return named;
}

// The days of the months and the days filled among them (-1: unknown).
void count_days_filled(const std::vector<month_summary> &list, site_weather &result) {
    result.days = 0;
    result.days_filled = list.empty() ? -1 : 0;
    for (const month_summary &m : list) {
        result.days += m.length;
        if (m.filled < 0)
            result.days_filled = -1;
        else if (result.days_filled >= 0)
            result.days_filled += m.filled;
    }
}

// The fill's record beside a daily file: absent, unreadable, or read.
struct fill_record {
    bool absent = true, readable = true;
    std::string text;
};

fill_record read_fill_record(const std::string &weather_file) {
    fill_record r;
    os::result<os::regular_file> opened = os::open_regular(fill_record_of(weather_file));
    r.absent = !opened && opened.err() == ENOENT;
    os::result<std::string> text =
        opened ? os::read_rest(opened->file) : os::result<std::string>(std::string());
    r.readable = opened && text;
    if (r.readable)
        r.text = std::move(*text);
    return r;
}

// The days filled of each month, from the fill's record (date,quantity,...;
// a day counted once): none without a record, or with one that is not the
// daily file's; unknown (-1) for one that cannot be read.
void count_filled(const fill_record &r, bool stale, std::vector<month_summary> &list) {
    std::vector<calendar_date> days;
    const std::string &record = stale ? std::string() : r.text;
    // Each line after the header.
    for (size_t at = record.find('\n'); at != std::string::npos; at = record.find('\n', at + 1)) {
        calendar_date d;
        if (std::sscanf(record.c_str() + at + 1, "%4d-%2d-%2d,", &d.year, &d.month, &d.day) == 3 &&
            is_real_date(d))
            days.push_back(d);
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    std::map<std::pair<long, int>, int> per_month;
    for (const calendar_date &d : days)
        ++per_month[{d.year, d.month}];
    const bool known = r.absent || r.readable;
    for (month_summary &s : list) {
        const auto found = per_month.find({s.year, s.month});
        s.filled = !known ? -1 : found == per_month.end() ? 0 : found->second;
    }
}

// The record read and tied to the daily file of CRC-32 *crc (nullptr: not
// summed, the record was not there before it was read): a record that is
// not the file's is named in the result, and its days not counted.
void take_fill_record(const uint32_t *crc, const std::string &weather_file,
                      const weather_options &wopts, int years, site_weather &result) {
    const fill_record r = read_fill_record(weather_file);
    const bool stale = crc != nullptr && r.readable && !r.absent &&
                       tie_of_record(r.text, *crc) == record_tie::not_its_file;
    if (stale)
        result.stale_record = fill_record_of(weather_file);
    if (wopts.months)
        count_filled(r, stale, result.month_list);
    else if (wopts.overview) {
        // The page's overview counts them without keeping the months.
        std::vector<month_summary> list =
            summarize_months(wopts.choice, thread_months, years, thread_tables);
        count_filled(r, stale, list);
        count_days_filled(list, result);
        return;
    }
    count_days_filled(result.month_list, result);
}

// The statistics of the tables of years year rows, as wopts says (nullptr:
// the defaults); the failure of a choice that leaves a month without a
// year.
failure make_statistics(site_weather &r, int years, const monthly_tables &t,
                        const weather_options *wopts, const std::string &weather_file) {
    if (wopts == nullptr || (!wopts->named && !wopts->listens())) {
        compute_stats(r.ws, years, t.prec, t.tmin, t.tmax);
        r.annual_cv = annual_cv(t.prec, years);
        return failure();
    }
    const statistics_choice &choice = wopts->choice;
    const monthly_tables *use = &t;
    int rows = years;
    if (wopts->listens())
        r.month_list = summarize_months(choice, thread_months, years, t);
    if (!choice.is_default()) {
        rows = select_months(r.month_list, t, thread_selected);
        use = &thread_selected;
        if (wopts->compare) {
            compute_stats(r.legacy, years, t.prec, t.tmin, t.tmax);
            r.has_legacy = true;
        }
    }
    compute_stats(r.ws, rows, use->prec, use->tmin, use->tmax);
    r.annual_cv = annual_cv(use->prec, rows);
    if (wopts->named) {
        for (int m = 0; m < months; ++m)
            r.skew[m] = sample_skewness(use->prec, rows, m);
        r.has_skew = true;
    }
    if (choice.is_default())
        return failure();
    if (rows == 0)
        return failed_with(format_message(no_period_rows_message, shown_name(weather_file).c_str(),
                                          period_name(choice).c_str()));
    const std::string lacking = months_without_years(r.ws);
    if (lacking.empty())
        return failure();
    return failed_with(format_message(no_valid_year_message, shown_name(weather_file).c_str(),
                                      lacking.c_str(), choice_name(choice).c_str()));
}

} // namespace

site_weather read_weather(const site_paths &paths, const std::string &site_name, bool on_worker,
                          const daily_options *how, const os::file_id *site_id,
                          const weather_options *wopts) {
    site_weather result;
    monthly_tables &t = thread_tables;
    result.tables = &t;
    os::result<os::regular_file> opened = os::open_regular(paths.weather_file);
    if (!opened) {
        result.left_to_main = on_worker && out_of_descriptors(opened.err());
        result.why =
            open_failure(format_message(weather_open_message, shown_name(site_name).c_str()),
                         paths.weather_file, opened.error().reason());
        return result;
    }
    result.id = os::id_of_status(opened->status);
    result.has_id = true;
    if (site_id != nullptr && *site_id == result.id) {
        result.same_file = true;
        result.why = same_file_refused(site_name, paths);
        return result;
    }
    daily_error bad;
    os::line_reader reader(opened->file.get(), os::max_daily_line);
    // Summed only when a record is there to be tied to it.
    reader.summing = wopts != nullptr && wopts->records &&
                     os::status_of(fill_record_of(paths.weather_file)).err() != ENOENT;
    daily_options reading = how != nullptr ? *how : daily_options();
    // The days of each month, for a rule, a period or the months' table.
    if (wopts != nullptr && (wopts->listens() || wopts->overview))
        reading.months = &thread_months;
    const int last = process_daily_weather(reader, t.prec, t.tmin, t.tmax, bad, reading);
    opened->file = os::fd(); // read: nothing is lost if its close fails
    if (last >= 0) {
        result.why = make_statistics(result, last + 1, t, wopts, paths.weather_file);
        if (wopts != nullptr && wopts->records)
            take_fill_record(reader.summing ? &reader.crc : nullptr, paths.weather_file, *wopts,
                             last + 1, result);
    } else
        result.why = failed_with(
            bad.line > 0
                ? format_message(weather_line_message, shown_name(paths.weather_file).c_str(),
                                 bad.line, bad.reason.c_str())
                : format_message(read_message, shown_name(paths.weather_file).c_str(),
                                 bad.reason.c_str()));
    result.years = last + 1;
    return result;
}

failure open_site_file(const site_line &site, const site_paths &paths, bool lock, site_file &opened,
                       bool *descriptors_ran_out) {
    opened.path = paths.site_file;
    os::result<os::regular_file> file = os::open_regular(opened.path, true);
    if (!file) {
        if (descriptors_ran_out != nullptr)
            *descriptors_ran_out = out_of_descriptors(file.err());
        return open_failure(format_message(keys_site_open_message, shown_name(site.name).c_str()),
                            opened.path, file.error().reason());
    }
    opened.file = std::move(file->file);
    opened.write_errno = file->write_errno;
    opened.mode = static_cast<unsigned>(file->status.st_mode);
    opened.id = os::id_of_status(file->status);
    if (lock)
        lock_site_file(opened.file, opened.path);
    return failure();
}

failure same_file_failure(const site_line &site, const site_paths &paths,
                          const os::file_id &site_id, const site_weather &weather) {
    if (!weather.has_id || !(site_id == weather.id))
        return failure();
    return same_file_refused(site.name, paths);
}

namespace {

// Writes a site's own soil file, NAME.soils.in, through a temporary name,
// so that an interrupted run never leaves half of one.
failure write_site_soil_file(const site_paths &paths, const std::string &rows, bool sync) {
    const std::string &path = paths.soil_file;
    const os::result<void> written = os::write_through_temp(path, path + ".", rows, sync);
    if (written)
        return failure();
    return failed_with(
        format_message(write_message, shown_name(path).c_str(), written.error().reason().c_str()));
}

// soils.in, opened before its rows are made (which may warn of the layer
// code), then written over with them; with keep, the rows are left there.
// The texture and bulk density the rows show go to texture.
failure write_soil_file(const site_line &site, const site_steps &steps, std::string *keep,
                        texture_values &texture) {
    os::fd soil;
    if (failure f = open_over(steps.fixed->soil, site.name, soil); f.failed())
        return f;
    std::string rows;
    // The bulk density slot is the pass's to fill: the list's value is not read.
    float bulk_density = site.bulk_density;
    std::string said;
    const bool made = run_pass(
                          std::string_view(),
                          [&] {
                              create_soil(site.sand, site.silt, site.clay, bulk_density,
                                          site.pass_through, site.layer_code, said);
                          },
                          rows)
                          .ok();
    say_lines(said);
    texture = {site.sand, site.silt, site.clay, bulk_density};
    normalise_texture(texture.sand, texture.silt, texture.clay);
    failure f = write_over(soil, steps.fixed->soil, site.name, made ? &rows : nullptr);
    if (keep != nullptr)
        keep->swap(rows);
    return f;
}

// Runs a pass over text, which becomes the pass's new text; the failure
// when memory ran out.
os::result<void> then_pass(std::string &text, const std::function<void()> &pass) {
    std::string next;
    os::result<void> done = run_pass(text, pass, next);
    if (done)
        text.swap(next);
    return done;
}

// The site keys (and texture keys), then the weather block over the keyed
// lines, in one rewrite. A daily file that cannot be used was read before
// the site file is touched; the site file then gets its new keys alone,
// and the failure is the weather's.
failure rewrite_site(const site_line &site, const site_steps &steps, site_file &opened,
                     const failure &weather_failed, const site_weather &read,
                     const texture_values &texture) {
    rewrite rw;
    rw.site_file = opened.path;
    rw.site = &opened.file;
    rw.write_errno = opened.write_errno;
    rw.site_mode = opened.mode;
    rw.temp = steps.fixed->temp;
    rw.sync = steps.sync;
    if (failure f = start_rewrite(rw, site.name); f.failed())
        return f;
    // The copy is made: what the passes did is said before the commit, also
    // what a pass that failed did so far.
    std::string text, said;
    bool made = run_pass(
                    rw.content,
                    [&] {
                        create_site(site.latitude, site.longitude,
                                    static_cast<float>(site.layer_code), site.elevation, said);
                    },
                    text)
                    .ok();
    if (made && steps.texture_keys)
        made = then_pass(text, [&] { create_texture_keys(texture, said); }).ok();
    if (made && !weather_failed.failed())
        made = then_pass(text, [&] { weather(read.ws, said); }).ok();
    say_lines(said);
    failure f = commit_rewrite(rw, made ? &text : nullptr);
    return f.failed() || !weather_failed.failed() ? f : weather_failed;
}

site_result site_ended(site_end end, failure why, bool used) {
    site_result r;
    r.end = end;
    r.why = std::move(why);
    r.used = used;
    return r;
}

// Makes a missing site file from the template, and says so.
failure make_missing_site_file(const site_paths &paths, const site_steps &steps) {
    if (steps.from_template == nullptr || !site_file_missing(paths.site_file))
        return failure();
    bool made = false;
    failure f = make_from_template(paths.site_file, *steps.from_template, steps.sync, made);
    if (made)
        say(format_message(template_made_message, shown_name(paths.site_file).c_str(),
                           shown_name(steps.from_template->path).c_str()));
    return f;
}

} // namespace

site_result prepare_site(const site_line &site, const site_steps &steps, site_weather &weather,
                         bool have_weather) {
    const site_paths paths = paths_of(site.name);
    if (failure f = make_missing_site_file(paths, steps); f.failed())
        return site_ended(site_end::failed, std::move(f), false);
    std::string rows;
    texture_values texture;
    if (failure f = write_soil_file(site, steps, steps.keep_soils ? &rows : nullptr, texture);
        f.failed())
        return site_ended(site_end::fatal, std::move(f), false);
    if (steps.keep_soils)
        if (failure f = write_site_soil_file(paths, rows, steps.sync); f.failed())
            return site_ended(site_end::failed, std::move(f), false);
    failure f;
    {
        site_file opened; // closed, and unlocked, before the copy is looked for
        if (f = open_site_file(site, paths, true, opened); f.failed())
            return site_ended(site_end::failed, std::move(f), false);
        if (!have_weather)
            weather = read_weather(paths, site.name, false, nullptr, nullptr, steps.weather);
        failure weather_failed = same_file_failure(site, paths, opened.id, weather);
        if (!weather_failed.failed())
            weather_failed = weather.why;
        f = rewrite_site(site, steps, opened, weather_failed, weather, texture);
    }
    // A copy kept because a restore failed holds the only intact content of
    // a site file: the next site must not start over it.
    const bool fatal = f.stops_batch || (f.failed() && temp_copy_left_over(*steps.fixed));
    const site_end end = !f.failed() ? site_end::done : fatal ? site_end::fatal : site_end::failed;
    return site_ended(end, std::move(f), true);
}
