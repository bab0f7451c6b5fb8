// One site of a batch: its files opened as both the run and the check open
// them, its daily file read, and the run's steps that prepare it.
#include "site.h"
#include "create_site.h"
#include "create_soil.h"
#include "lines.h"
#include "open.h"
#include "report.h"
#include "shown.h"
#include "streams.h"
#include "write_whole.h"

#include <cerrno>

namespace {

// An open failure: the message, then the file and the reason on a line of
// their own.
failure open_failure(const std::string &text, const std::string &file, const std::string &why) {
    failure f;
    f.message = text + "\n" + shown_name(file) + ": " + why;
    return f;
}

failure failed_with(const std::string &message) {
    failure f;
    f.message = message;
    return f;
}

bool out_of_descriptors(int err) {
    return err == EMFILE || err == ENFILE;
}

// Three tables of 24 KB each: kept off the stack of the caller's loop.
thread_local monthly_tables thread_tables;

// A daily file that is the site file: read after the site file is emptied,
// it would read nothing.
std::string same_file_message(const std::string &site_name, const site_paths &paths) {
    return open_failure(format_message(weather_open_message, shown_name(site_name).c_str()),
                        paths.weather_file, same_file_reason)
        .message;
}

} // namespace

site_weather read_weather(const site_paths &paths, const std::string &site_name, bool on_worker,
                          const daily_options *how, const file_id *site_id) {
    site_weather result;
    monthly_tables &t = thread_tables;
    result.tables = &t;
    os::result<os::regular_file> opened = os::open_regular(paths.weather_file);
    if (!opened) {
        result.left_to_main = on_worker && out_of_descriptors(opened.err());
        result.failure =
            open_failure(format_message(weather_open_message, shown_name(site_name).c_str()),
                         paths.weather_file, opened.error().reason())
                .message;
        return result;
    }
    result.id = id_of_status(opened->status);
    result.has_id = true;
    if (site_id != nullptr && *site_id == result.id) {
        result.same_file = true;
        result.failure = same_file_message(site_name, paths);
        return result;
    }
    daily_error bad;
    line_reader reader(opened->file.get(), max_daily_line);
    const int last = process_daily_weather(reader, t.prec, t.tmin, t.tmax, bad,
                                           how != nullptr ? *how : daily_options());
    opened->file = os::fd(); // read: nothing is lost if its close fails
    if (last >= 0)
        compute_stats(result.ws, last + 1, t.prec, t.tmin, t.tmax);
    else
        result.failure =
            bad.line > 0
                ? format_message(weather_line_message, shown_name(paths.weather_file).c_str(),
                                 bad.line, bad.reason.c_str())
                : format_message(read_message, shown_name(paths.weather_file).c_str(),
                                 bad.reason.c_str());
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
    opened.id = id_of_status(file->status);
    if (lock)
        lock_site_file(opened.file, opened.path);
    return failure();
}

std::string same_file_failure(const site_line &site, const site_paths &paths,
                              const file_id &site_id, const site_weather &weather) {
    if (!weather.has_id || !(site_id == weather.id))
        return std::string();
    return same_file_message(site.name, paths);
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
failure write_soil_file(const site_line &site, const site_steps &steps, std::string *keep) {
    os::fd soil;
    if (failure f = open_over(steps.fixed->soil, site.name, soil); f.failed())
        return f;
    std::string rows;
    // The bulk density slot is the pass's to fill: the list's value is not read.
    float bulk_density = site.bulk_density;
    const bool made = run_pass(
        std::string_view(),
        [&] {
            create_soil(site.sand, site.silt, site.clay, bulk_density, site.pass_through,
                        site.layer_code);
        },
        rows);
    failure f = write_over(soil, steps.fixed->soil, site.name, made ? &rows : nullptr);
    if (keep != nullptr)
        keep->swap(rows);
    return f;
}

// The site keys, then the weather block over the keyed lines, in one
// rewrite. A daily file that cannot be used was read before the site file
// is touched; the site file then gets its new site keys alone, and the
// failure is the weather's.
failure rewrite_site(const site_line &site, const site_steps &steps, site_file &opened,
                     const std::string &weather_failed, const site_weather &read) {
    rewrite rw;
    rw.site_file = opened.path;
    rw.site = &opened.file;
    rw.write_errno = opened.write_errno;
    rw.site_mode = opened.mode;
    rw.temp = steps.fixed->temp;
    rw.sync = steps.sync;
    if (failure f = start_rewrite(rw, site.name); f.failed())
        return f;
    // The copy is made: the passes say what they do as they go.
    std::string keyed, text;
    bool made = run_pass(
        rw.content,
        [&] {
            create_site(site.latitude, site.longitude, static_cast<float>(site.layer_code),
                        site.elevation);
        },
        keyed);
    if (made && weather_failed.empty())
        made = run_pass(
            keyed, [&] { weather(read.ws); }, text);
    else
        text.swap(keyed);
    failure f = commit_rewrite(rw, made ? &text : nullptr);
    return f.failed() || weather_failed.empty() ? f : failed_with(weather_failed);
}

site_result site_ended(site_end end, failure why, bool used) {
    site_result r;
    r.end = end;
    r.why = std::move(why);
    r.used = used;
    return r;
}

} // namespace

site_result prepare_site(const site_line &site, const site_steps &steps, site_weather &weather,
                         bool have_weather) {
    const site_paths paths = paths_of(site.name);
    std::string rows;
    if (failure f = write_soil_file(site, steps, steps.keep_soils ? &rows : nullptr); f.failed())
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
            weather = read_weather(paths, site.name, false);
        std::string weather_failed = same_file_failure(site, paths, opened.id, weather);
        if (weather_failed.empty())
            weather_failed = weather.failure;
        f = rewrite_site(site, steps, opened, weather_failed, weather);
    }
    // A copy kept because a restore failed holds the only intact content of
    // a site file: the next site must not start over it.
    const bool fatal = f.stops_batch || (f.failed() && temp_copy_left_over(*steps.fixed));
    const site_end end = !f.failed() ? site_end::done : fatal ? site_end::fatal : site_end::failed;
    return site_ended(end, std::move(f), true);
}
